#pragma once
// The user-interface port: everything the core shows or asks goes through here.
// The desktop program implements it with Qt, the command line with stdout/stderr and flags,
// the tests with a scripted fake that records every call.
//
// New needs add virtual methods WITH a default body, so that every implementation keeps building.
#include <cstddef>
#include <cstdint>
#include <functional>
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

// What a question is about, so that a front end can answer some without asking (a command-line
// option, a test's script).
enum class Topic {
  General,
  CreateFolder,
  ExistingFile,
  OverwriteFile,
  Format,
  FormatIncomplete,
  ProfileFile,             // the first-run choice of a device-profile file
  ProfileName,             // the name of a profile saved under a new name
  ProfileOverwrite,        // a profile of that name exists: overwrite it?
  RestrictionPassword,     // the password that unlocks the access restrictions
  NewRestrictionPassword,  // a new password for them
  ClockDifference,  // the recorder's clock is off: OK sets it, Cancel leaves it (with "do not ask again")
  TimerOverFree,    // a timer programme needs more than the free recording time: write it anyway?
  TimerNotice,      // the recorder's timer is armed: OK disarms it, Cancel quits and leaves it armed
  FlashCheck, FlashCheckIncomplete, AbandonMaintenance,
};

// A question the core asks. Its answer comes back later, through the callback given with it: the
// core waits in its own state meanwhile, and the link keeps being served.
struct Question {
  Topic topic = Topic::General;
  std::string text;     // already formatted
  std::string caption;
  Icon icon = Icon::Question;
  Buttons buttons = Buttons::YesNo;  // the answers, when `choices` is empty
  std::vector<std::string> choices;  // named answers, in order (the reply's `choice` indexes them)
  // What a question answers when it is dismissed (closed, Escape) or nobody can be asked.
  Answer defaultAnswer = Answer::No;
  std::size_t defaultChoice = 0;
  // A check box shown under the text ("do not ask again"); empty: none. Its state comes back in the
  // reply, whichever answer was given.
  std::string checkBox;
};

struct Reply {
  Answer answer = Answer::No;  // for a question with buttons
  std::size_t choice = 0;      // for a question with named answers: always one of them
  bool checked = false;        // the question's check box, when it has one
};
using ReplyHandler = std::function<void(const Reply& reply)>;

// A question answered with a text: a name, a password, a file to open.
enum class TextKind {
  Plain,
  Secret,        // not shown as typed
  NewSecret,     // a new secret, typed twice (the front end checks that both agree)
  ExistingFile,  // the path of an existing file
};
struct TextQuestion {
  Topic topic = Topic::General;
  std::string prompt;   // already formatted
  std::string caption;
  std::string initial;  // the text offered (a file dialog's initial path)
  TextKind kind = TextKind::Plain;
  std::string filter;   // file dialogs: the kind of file, e.g. "Profiles (*.ini)"
};
// Nothing when the question was cancelled.
using TextReplyHandler = std::function<void(const std::optional<std::string>& text)>;

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Asks a question; `done` is called exactly once with the answer, now or later (on the owner
  // thread, from the event loop). The default answers at once through message() or choose();
  // a front end whose dialogs do not block overrides it.
  virtual void ask(const Question& question, ReplyHandler done);

  // A message box: text and caption are already formatted. Returns the button chosen. The core
  // only tells things this way (Buttons::Ok); its questions go through ask().
  virtual Answer message(const std::string& text, const std::string& caption, Icon icon,
                         Buttons buttons) = 0;

  // The core no longer wants the answer to the open question of `topic` (it waited too long, or what
  // it asked about has gone): a front end closes it. An answer that still comes is ignored.
  virtual void withdraw(Topic /*topic*/) {}

  // Asks for a text; `done` is called exactly once, now or later. The default cancels at once.
  virtual void askText(const TextQuestion& /*question*/, TextReplyHandler done) {
    if (done) done(std::nullopt);
  }

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

// The default of ask(): answers at once through message() or choose(), a dismissed question with
// its default answer.
inline void UserInterface::ask(const Question& q, ReplyHandler done) {
  Reply reply;
  reply.answer = q.defaultAnswer;
  reply.choice = q.defaultChoice;
  if (q.choices.empty()) {
    reply.answer = message(q.text, q.caption, q.icon, q.buttons);
  } else if (const auto chosen = choose(q.text, q.caption, q.choices); chosen && *chosen < q.choices.size()) {
    reply.choice = *chosen;
  }
  if (done) done(reply);
}

// Shows nothing and answers every question with Yes: for benchmarks, fuzzing and unattended runs.
class QuietUi : public UserInterface {
 public:
  Answer message(const std::string&, const std::string&, Icon, Buttons) override { return Answer::Yes; }
};

}  // namespace recdesk::ports
