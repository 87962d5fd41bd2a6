#include "operations/ListReplies.h"

#include "app/Settings.h"
#include "lang/Strings.h"
#include "operations/RecordingFolders.h"
#include "ports/UserInterface.h"
#include "session/Replies.h"
#include "session/SessionServices.h"

namespace recdesk::operations {

namespace {
constexpr const char* kInvalidParameters = "Invalid Parameter(s)";
}

FileNaming ListReplies::currentNaming() const {
  if (naming) return *naming;
  const app::Settings& s = services_.settings();
  return {s.downloadFolder, s.decryptFolder, s.filePrefix};
}

void ListReplies::onAcknowledgement(const std::string& line) {
  services_.log(" " + lang::text(TextId::RecordingListReceived) + "\r\n");
  const auto ack = session::parseListAck(line);
  if (ack) {
    beginList(ack->deviceName);
  } else {
    list_.clear();
  }
  if (ack) {
    services_.log(
        lang::formatText(" %s %u ", {lang::text(TextId::Found), static_cast<unsigned>(ack->count)}) +
        lang::text(TextId::RecordingsOn) + " " + list_.deviceName() + "\r\n");
  }
}

void ListReplies::beginList(const std::string& deviceName) {
  // The name becomes part of file names and of the information file: keep it printable and free of
  // path separators.
  list_.setDeviceName(safeNameComponent(deviceName));
  services_.ui().status(lang::text(TextId::RecorderConnected));
  if (onDeviceModel) onDeviceModel(session::modelOfDeviceName(list_.deviceName()));
  list_.clear();
}

void ListReplies::endList() {
  list_.finishListing();
  services_.refreshControls();
}

RecordLineKind ListReplies::onRecordLine(const std::string& line) {
  ParsedRecord parsed = parseRecordLine(line);
  switch (parsed.kind) {
    case RecordLineKind::Ignored:
      break;
    case RecordLineKind::Refused:
      services_.ui().message(lang::format(TextId::InvalidListLine, {kInvalidParameters}),
                             lang::text(TextId::AppName), ports::Icon::Error, ports::Buttons::Ok);
      services_.speedFallback(kInvalidParameters);
      break;
    case RecordLineKind::Record: {
      const FileNaming n = currentNaming();
      // A file of the same name that holds another recording (numbers are reused after a format)
      // holds none of this one's pages.
      const std::uint64_t onDisk = recordingPagesOnDisk(n.downloadFolder, n.prefix, list_.deviceName(), parsed.entry);
      list_.append(parsed.entry, onDisk);
      break;
    }
    case RecordLineKind::End:
      endList();
      break;
  }
  return parsed.kind;
}

}  // namespace recdesk::operations
