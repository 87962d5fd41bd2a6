#pragma once
// The T7 transmitter's configuration: transmit power, carrier frequency and scrambler.
//
// Opening queries the transmitter in a fixed chain ("$T7,TX" -> "SCR" -> "FRQ" -> "RANGE", the range
// only from firmware 1.01 build 44 on) and shows the form when the chain ends. Applying queues the
// changed settings and sends them one at a time, each after the reply to the one before (a line sent
// while an answer is on its way would purge that answer). An apply while an earlier one is still
// being sent replaces what that one has not sent yet. A frequency outside the range, or
// one the transmitter refuses, is reported with text 57701 and cleared.
//
// No user interface here: a front end draws values() and follows TransmitterListener; the checks of
// the form are apply()'s.
#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "session/Host.h"

namespace recdesk::operations {

// The default range of the carrier frequency, in Hz.
inline constexpr double kLowestFrequencyHz = 150000000.0;
inline constexpr double kHighestFrequencyHz = 174000000.0;

enum class TransmitPower { High = 0, Low = 1 };
enum class Scrambler { On = 0, Off = 1 };

// What the form shows.
struct TransmitterValues {
  std::optional<TransmitPower> power;
  std::optional<Scrambler> scrambler;
  bool scramblerAvailable = true;  // cleared when the transmitter refuses the scrambler query
  std::string frequencyText;       // MHz, "%.4f"
  float secondValue = 0;           // the frequency reply's second number / 1000
  double lowestHz = kLowestFrequencyHz;
  double highestHz = kHighestFrequencyHz;
};

// What the user set in the form (apply reads these).
struct TransmitterForm {
  std::optional<TransmitPower> power;
  std::optional<Scrambler> scrambler;
  std::string frequencyText;  // MHz
};

// The frequency text as a number of MHz (blanks around it allowed); nothing when it is not one
// whole finite number.
std::optional<double> frequencyMhz(std::string_view text);
// Whether `mhz` lies in [lowestHz, highestHz] (both included) once turned into Hz.
bool frequencyInRange(double mhz, double lowestHz, double highestHz);
// Hz as the form shows MHz: "%.4f" of hz / 1,000,000.
std::string frequencyText(double hz);
// Whether a transmitter with this version text is asked for its range: "<word> <version> B<build>",
// version at least 1.01 (single precision) and, when exactly 1.01, a build above 43. `readable` is
// set to whether at least the version number could be read.
bool rangeQueryWanted(std::string_view versionText, bool* readable = nullptr);
// The apply queue for a valid form: power, frequency (Hz, "%.0f") and, when the scrambler is
// available, the scrambler.
std::deque<std::string> applyLines(const TransmitterForm& form, double mhz, bool scramblerAvailable);

class TransmitterListener {
 public:
  virtual ~TransmitterListener() = default;
  // The initial query ended: show the form with values().
  virtual void onTransmitterShown() {}
  // A value shown changed (a reply after the initial query).
  virtual void onTransmitterChanged() {}
  // The frequency was refused (text 57701 shown, the box emptied): focus the frequency box.
  virtual void onFrequencyRefused() {}
  // The form closes (the transmitter is gone).
  virtual void onTransmitterClosed() {}
};

class Transmitter : public session::SessionObserver {
 public:
  // The reply kinds of the transmitter's replies.
  enum class Reply { Tx = 0, Scr = 1, Frq = 2, Range = 3 };
  // The operation's own timer: a query of the initial chain whose answer was lost (a garbled or
  // missing line) is asked again after kQueryRetry, at most kQueryTries times in all.
  static constexpr int kTimerQueryRetry = 3400;
  static constexpr std::chrono::milliseconds kQueryRetry{1500};
  static constexpr int kQueryTries = 3;
  // A setting whose answer does not come within kApplyReplyWait counts as answered (the answer was
  // lost): the next one goes out, so an apply never stays half done.
  static constexpr int kTimerApplyReply = 3401;
  static constexpr std::chrono::milliseconds kApplyReplyWait{1500};

  explicit Transmitter(session::Host& host);
  ~Transmitter() override;
  Transmitter(const Transmitter&) = delete;
  Transmitter& operator=(const Transmitter&) = delete;

  void setListener(TransmitterListener* listener) { listener_ = listener; }

  // The transmitter command: starts the initial query. False when the query could not be sent.
  bool open();
  // The form's apply: checks the frequency and queues the settings; false (text 57701 shown, the
  // frequency emptied) when the frequency is not in the range. The first line goes now, or once the
  // line of an earlier apply still on its way has been answered.
  bool apply(const TransmitterForm& form);
  // Closes the form (and forgets what waits to be sent).
  void close();

  const TransmitterValues& values() const { return values_; }
  // The form as the values fill it (a starting point for apply).
  TransmitterForm form() const;
  bool shown() const { return shown_; }
  bool initialQueryRunning() const { return initialQuery_; }
  // Whether the form's Apply can be used: the form is shown and its query has ended.
  bool applyEnabled() const { return shown_ && !initialQuery_; }
  // Lines of the last apply still to be sent, and those sent whose reply has not come.
  std::size_t queued() const { return queue_.size(); }
  std::size_t awaitingReplies() const { return awaiting_; }
  // How often a frequency was refused since the last open.
  std::size_t refusals() const { return refusals_; }

  // SessionObserver
  void onDeviceKind(session::DeviceVariant variant, std::uint16_t subModel, bool transmitterMenu) override;
  void onSessionReset() override;
  // A query or setting held while the link speed was agreed goes once it is.
  void onState(const session::SessionState& state) override;

 private:
  void onReply(Reply kind, const std::string& reply);
  void initialReply(Reply kind, const std::string& reply);
  void laterReply(Reply kind, const std::string& reply);
  void readPower(const std::string& reply);
  void readScrambler(const std::string& reply);
  void readFrequency(const std::string& reply);
  void readSecondValue(const std::string& reply);
  void refuseFrequency();
  void show();
  // Sends a query of the initial chain and waits for the reply of `kind` (the others are late
  // answers to a query asked again, and are ignored).
  void ask(Reply kind, std::string_view line, bool replyWait);
  void retryQuery();
  void sendQueued();
  void applyReplyLost();

  session::Host& host_;
  TransmitterListener* listener_ = nullptr;
  TransmitterValues values_;
  bool shown_ = false;
  bool created_ = false;
  bool initialQuery_ = false;
  std::optional<Reply> expected_;
  std::string queryLine_;
  bool queryReplyWait_ = false;
  bool heldForSpeed_ = false;  // the query or the next setting waits for the link speed to be agreed
  int queryTries_ = 0;
  std::deque<std::string> queue_;
  std::size_t awaiting_ = 0;
  std::size_t refusals_ = 0;
};

}  // namespace recdesk::operations
