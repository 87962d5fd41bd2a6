// Fuzz target: the recording list's record lines and the download engine driven by an arbitrary
// sequence of recorder replies, block data and time-outs. Nothing may crash or read or write out of
// bounds.
//
// Input: text lines up to the first NUL are list lines ("$R5,MSG,LST,…"); after it, each byte picks
// an event (reply, time-out, or block data whose length and content follow).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzFiles.h"
#include "app/Settings.h"
#include "operations/Download.h"
#include "operations/RecordingList.h"
#include "ports/UserInterface.h"
#include "session/SessionInfo.h"
#include "session/SessionServices.h"

namespace {

using namespace recdesk;

class Services : public session::SessionServices {
 public:
  bool sendLine(const std::string&, bool, AfterSent afterSent) override {
    if (afterSent) afterSent();
    return true;
  }
  bool sendByte(std::uint8_t) override { return true; }
  void setLineMode() override { block_ = false; }
  void setBlockMode(session::BlockReceiver) override { block_ = true; }
  bool inBlockMode() const override { return block_; }
  void discardInput() override {}
  session::BlockBuffer& blockBuffer() override { return buffer; }
  void startTimer(int, std::chrono::milliseconds) override {}
  void stopTimer(int) override {}
  void startKeepAlive() override {}
  void stopKeepAliveAndReplyWait() override {}
  void log(const std::string&) override {}
  ports::UserInterface& ui() override { return ui_; }
  const app::Settings& settings() const override { return settings_; }
  int portCode() const override { return 1000; }
  bool recorderConnected() const override { return true; }
  const session::SessionFlags& flags() const override { return flags_; }
  void setActivity(session::Activity activity, bool on) override {
    if (activity == session::Activity::Download) flags_.download = on;
  }
  void setActiveTransfer(session::BlockTransferHandler*) override {}

  session::BlockBuffer buffer;
  app::Settings settings_;

 private:
  ports::QuietUi ui_;
  session::SessionFlags flags_;
  bool block_ = false;
};

const std::filesystem::path& folder() { return fuzz::memoryFolder(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  operations::RecordingList list;
  list.setDeviceName("R5-1");
  std::string line;
  while (at < size && data[at] != 0) {
    if (data[at] == '\n') {
      const auto parsed = operations::parseRecordLine(line);
      if (parsed.kind == operations::RecordLineKind::Record && list.size() < 8)
        list.append(parsed.entry, 0);
      line.clear();
    } else if (line.size() < 4096) {
      line.push_back(static_cast<char>(data[at]));
    }
    ++at;
  }
  ++at;
  if (list.empty() || list.row(0).entry.pages > 100000) return 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder(), ec)) std::filesystem::remove(e.path(), ec);

  Services services;
  operations::Download download(services, list);
  download.freeSpace = [](const std::filesystem::path&) { return std::optional<std::uint64_t>(); };
  download.checkHeaderFormat = [](const std::uint8_t*) {};
  operations::DownloadOptions options;
  options.naming = {folder().string(), folder().string(), ""};
  options.autoDecrypt = false;
  options.acceleration = 4;
  if (!download.start(options)) return 0;
  while (at < size && download.running()) {
    const std::uint8_t op = data[at++] % 9;
    switch (op) {
      case 0: download.onRequestAccepted(); break;
      case 1: download.onRefused(); break;
      case 2: download.onEndOfTransfer(); break;
      case 3: download.onCancelConfirmed(); break;
      case 4: download.onBlockTimeout(); break;
      case 5: download.onRequestTimeout(); break;
      case 6: download.onConfirmationTimeout(); break;
      case 7: download.requestStop(); break;
      default: {  // block data: a length byte (in units of 16 bytes) and the bytes
        if (at >= size) break;
        std::size_t n = static_cast<std::size_t>(data[at++]) * 16;
        n = std::min(n, size - at);
        auto& b = services.buffer;
        for (std::size_t i = 0; i < n; ++i) {
          if (b.received < b.expected) {
            b.data[b.received++] = data[at + i];
          } else {
            ++b.overrun;
          }
        }
        at += n;
        download.onBlockData();
        break;
      }
    }
  }
  return 0;
}
