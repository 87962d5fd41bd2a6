// recdesk-cli filter: runs a 16-bit WAV file through the speech-band filters and the level control.
#include <csignal>
#include <filesystem>
#include <iostream>
#include <string>

#include "Cli.h"
#include "CliUi.h"
#include "Interrupt.h"
#include "audio/WavFilter.h"

namespace recdesk::cli {
namespace {

// The terminal UI, cancelled by Ctrl-C: the filter then removes its unfinished output.
class FilterUi : public CliUi {
 public:
  using CliUi::CliUi;
  bool progress(const std::string& caption, std::uint64_t done, std::uint64_t total) override {
    CliUi::progress(caption, done, total);
    return !InterruptScope::interrupted();
  }
};

// Ctrl-C cancels the run, and a file-size limit makes a write fail (reported like a full disk)
// instead of killing the program with its output half written; both handlers are restored at the end.
class SignalScope {
 public:
  SignalScope() : fileSize_(std::signal(SIGXFSZ, SIG_IGN)) {}
  ~SignalScope() {
    std::signal(SIGXFSZ, fileSize_ == SIG_ERR ? SIG_DFL : fileSize_);
  }
  SignalScope(const SignalScope&) = delete;
  SignalScope& operator=(const SignalScope&) = delete;

 private:
  InterruptScope ctrlC_;
  void (*fileSize_)(int);
};

int runFilter(CliContext& context) {
  namespace fs = std::filesystem;
  const std::string input = *context.value("IN.wav");
  std::string output = context.value("OUT.wav").value_or("");
  const int mode = static_cast<int>(context.number("--mode").value_or(0));

  std::error_code ec;
  if (!fs::exists(input, ec)) return fail(input + ": no such file");
  if (fs::is_directory(input, ec)) return fail(input + ": is a folder, not a WAV file");
  if (output.empty()) output = audio::proposedFilterOutput(input, mode);
  if (fs::is_directory(output, ec)) return fail(output + ": is a folder; give the output file's name");

  FilterUi ui(context.yes);
  if (fs::exists(output, ec) && !context.yes) {
    const auto answer = ui.message("\"" + output + "\" exists. Replace it?", "recdesk-cli",
                                   ports::Icon::Question, ports::Buttons::YesNo);
    if (answer != ports::Answer::Yes)
      return fail(output + ": exists and was not replaced (give --yes to replace it)");
  }

  SignalScope signalScope;
  switch (audio::filterWav(input, output, mode, ui)) {
    case audio::FilterResult::Completed:
      std::cout << output << "\n";
      return kExitOk;
    case audio::FilterResult::Cancelled:
      return fail("cancelled; no output was written");
    case audio::FilterResult::Refused:
      return fail(input + ": not filtered");
    case audio::FilterResult::Failed:
      break;
  }
  return fail(output + ": not written");
}

}  // namespace

RECDESK_CLI_COMMAND(
    "filter",
    "filter a 16-bit WAV file: 0 speech band 300-3300 Hz, 1 the same with level control, "
    "2/3 high-pass 300 Hz, 4/5 low-pass 3300 Hz (without/with level control), 6 level control only",
    runFilter, argument(file("IN.wav", "", "the 16-bit WAV file to filter"), true),
    argument(file("OUT.wav", "", "the filtered file (default: named after the input and the mode)"), false),
    integer("--mode,-m", "N", 0, 6, "the filter (default 0)"));

}  // namespace recdesk::cli
