#pragma once
// The recorder's clock: it reads the clock ("$R5,TIME"), sets it ("$R5,TIME,<YYYYMMDD>,<HHMMSS>"),
// keeps the model a clock window draws (the last reading, the computer's time when it came, whether
// the computer's clock is used for setting), and answers the session's clock check: when the
// recorder's clock is off by more than a minute after connecting, the user is asked once whether to
// set it, with a "do not ask again" box that is stored under "Options" "IgnoreRTC" whichever answer is
// given. A question not answered within 30 seconds is withdrawn and nothing is stored.
//
// The clock replies ("$R5,ACK,TIME") go through the session owner's own handling first (which keeps
// the reading in SessionInfo and runs the check); this object then shows the reading where it is
// wanted: the clock window, or the timer programme that asked for the clock.
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "session/Host.h"

namespace recdesk::app {
struct Settings;
}

namespace recdesk::operations {

using session::DateTime;

// The timer of the clock-difference question (30 s without an answer withdraws it).
inline constexpr int kTimerClockQuestion = 31;
inline constexpr std::chrono::milliseconds kClockQuestionWait{30000};

// What a clock window draws.
struct ClockModel {
  bool visible = false;            // the window is wanted
  DateTime reading;                // the recorder's time of the last reply
  std::time_t computerAtReading = 0;  // this computer's time when that reply came
  bool useComputerClock = true;    // setting takes this computer's clock (the pickers follow it)
  // The recorder's clock running on from the reading at this computer's time `computerNow`.
  DateTime recorderNow(std::time_t computerNow) const;
};

// A front end's view of the clock.
class ClockListener {
 public:
  virtual ~ClockListener() = default;
  // The clock window is to be shown, or shows a new reading.
  virtual void onClockShown(const ClockModel& /*model*/) {}
  // The clock window is to be hidden (closed, or the session ended).
  virtual void onClockHidden() {}
};

class RecorderClock : public session::SessionObserver {
 public:
  // Persists "Options" "IgnoreRTC" (the value is already in the settings in memory); false when it
  // could not be written.
  using IgnoreRtcWriter = std::function<bool(bool ignore)>;
  // Receives the reading the timer programme asked for: the recorder's time and this computer's.
  using ReadingHandler = std::function<void(const DateTime& recorder, std::time_t computer)>;

  RecorderClock(session::Host& host, app::Settings& settings);
  ~RecorderClock() override;
  RecorderClock(const RecorderClock&) = delete;
  RecorderClock& operator=(const RecorderClock&) = delete;

  void setListener(ClockListener* listener) { listener_ = listener; }
  void setIgnoreRtcWriter(IgnoreRtcWriter writer) { writer_ = std::move(writer); }
  // Whether a clock off by more than a minute is asked about (a front end that only reports it, like
  // the command line, switches this off and follows SessionObserver::onClockDifference itself).
  void setAskOnDifference(bool ask) { askOnDifference_ = ask; }

  // The clock command: reads the clock and shows the clock window with the reading.
  bool command();
  // The plain clock query (nothing is shown for its reply unless a window wants it).
  bool query();
  // The timer programme's query: the reading is handed to `handler` (once).
  bool queryFor(ReadingHandler handler);
  // Sets the recorder's clock to `when` (a calendar date from 2000-01-01 to 9000-01-01); false when
  // `when` is outside that range or nothing could be sent. The recorder's acknowledgement carries
  // its new clock, which is shown like any reading.
  bool set(const DateTime& when);
  // Sets it to this computer's clock now.
  bool setToComputerClock();
  // The set line for `when`: "$R5,TIME,<YYYYMMDD>,<HHMMSS>\r\n".
  static std::string setLine(const DateTime& when);

  // The clock window closed (Cancel or its close box).
  void closeWindow();
  void setUseComputerClock(bool use) { model_.useComputerClock = use; }

  const ClockModel& model() const { return model_; }
  // How many clock replies arrived (a caller waiting for the acknowledgement of a set compares it).
  std::uint64_t readings() const { return readings_; }
  // This computer's local time now, as a date-time.
  DateTime computerNow() const;
  bool differenceQuestionOpen() const { return questionOpen_; }

  // SessionObserver
  void onClockDifference(const DateTime& recorderTime, long long seconds) override;
  void onSessionReset() override;

 private:
  void onReply(const std::string& line);
  void show();
  void answerDifference(std::uint64_t token, const ports::Reply& reply);
  void questionExpired();
  void storeIgnoreRtc(bool ignore);

  session::Host& host_;
  app::Settings& settings_;
  ClockListener* listener_ = nullptr;
  IgnoreRtcWriter writer_;
  ClockModel model_;
  ReadingHandler timerWaiting_;
  bool windowRequested_ = false;
  bool askOnDifference_ = true;
  bool differenceRaised_ = false;  // the reply under way raised the clock-difference question
  bool questionOpen_ = false;
  std::uint64_t questionToken_ = 0;
  std::uint64_t readings_ = 0;
  std::shared_ptr<char> life_ = std::make_shared<char>();  // answers after this object are dropped
};

}  // namespace recdesk::operations
