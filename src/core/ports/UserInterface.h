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
  General, CreateFolder, ExistingFile, OverwriteFile, Format, FormatIncomplete,
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
};

struct Reply {
  Answer answer = Answer::No;  // for a question with buttons
  std::size_t choice = 0;      // for a question with named answers: always one of them
};
using ReplyHandler = std::function<void(const Reply& reply)>;

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
