#pragma once
// The user-interface port: everything the core shows or asks goes through here.
// The desktop program implements it with Qt, the command line with stdout/stderr and flags,
// the tests with a scripted fake that records every call.
//
// New needs add virtual methods WITH a default body, so that every implementation keeps building.
#include <cstdint>
#include <string>

namespace recdesk::ports {

enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class Answer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

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
};

}  // namespace recdesk::ports
