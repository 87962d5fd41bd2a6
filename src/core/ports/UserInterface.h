#pragma once
// The user-interface port: everything the core shows or asks goes through here.
// The desktop program implements it with Qt, the command line with stdout/stderr and flags,
// the tests with a scripted fake that records every call.
//
// New needs add virtual methods WITH a default body, so that every implementation keeps building.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace recdesk::ports {

enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class Answer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };
// What to do with a recording whose IM2 file is already on disk, in the order the answers are
// offered.
enum class ExistingFileChoice { Continue, StartAgain, Skip };

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // A message box: text and caption are already formatted. Returns the button chosen.
  virtual Answer message(const std::string& text, const std::string& caption, Icon icon,
                         Buttons buttons) = 0;

  // The status line of the main window.
  virtual void status(const std::string& /*text*/) {}

  // Progress of a long job (conversion, filter, download): `done` of `total` units, with a caption.
  // Returns false when the user asked to cancel.
  virtual bool progress(const std::string& /*caption*/, std::uint64_t /*done*/, std::uint64_t /*total*/) {
    return true;
  }
  // The long job has ended; a progress display may close.
  virtual void progressDone() {}

  // A question with named answers (the download's question about a file already on disk offers
  // "continue", "start again" and "skip"). Returns the index of the answer chosen, or nullopt when
  // the question was dismissed (closed, Escape); callers treat that as their harmless answer. The
  // default asks nothing and reports the question dismissed.
  virtual std::optional<std::size_t> choose(const std::string& /*text*/, const std::string& /*caption*/,
                                            const std::vector<std::string>& /*answers*/) {
    return std::nullopt;
  }
};

// Shows nothing and answers every question with Yes: for benchmarks, fuzzing and unattended runs.
class QuietUi : public UserInterface {
 public:
  Answer message(const std::string&, const std::string&, Icon, Buttons) override { return Answer::Yes; }
};

}  // namespace recdesk::ports
