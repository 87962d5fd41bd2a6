#pragma once
// The recorder's timer programme: reading it ("$R5,TMR,PGM" → start, one message per entry, end,
// then a clock reading), the model a programme window draws (up to 19 rows against the recorder's
// running clock and its free recording time), writing it back and arming the timer, clearing it,
// and the armed and disarmed states with the timer notice (disarm, or leave it armed and quit).
//
// Writing and clearing go out one line per acknowledgement ("$R5,ACK,TMR,PGM,…" names the entry the
// recorder took): a line whose acknowledgement does not come is sent again, and when it still does
// not come the write stops with a message and the timer is not armed, so that an incomplete
// programme is never armed silently. Entries with an index the programme has no row for are logged
// and ignored.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "operations/TimerEntries.h"
#include "session/Host.h"

namespace recdesk::operations {

class RecorderClock;

// The timer that waits for each acknowledgement of a written or cleared entry.
inline constexpr int kTimerProgrammeAck = 32;
inline constexpr std::chrono::milliseconds kProgrammeAckWait{3000};
// How often a line is sent again before the write gives up.
inline constexpr int kProgrammeResends = 2;

// What a programme window draws.
struct TimerProgrammeModel {
  bool visible = false;   // the window is wanted (after the programme and the clock were read)
  bool enabled = false;   // false while the link is down
  TimerRows rows;         // the entries by index; a row exists once the recorder reported its index
  DateTime reading;       // the recorder's clock of the last reading
  std::time_t computerAtReading = 0;
  std::optional<std::uint64_t> freeSeconds;  // free recording time (unknown without a recording type)

  std::size_t rowCount() const;  // the highest reported index + 1
  DateTime recorderNow(std::time_t computerNow) const;
  TimerTotals totals(std::time_t computerNow) const;
  // The free time after the programme ("-" when negative); "--:--:--" when the free time is unknown.
  std::string freeText() const;
  std::string freeAfterText(std::time_t computerNow) const;
  // OK is offered only when something is still to be recorded.
  bool okEnabled(std::time_t computerNow) const { return enabled && totals(computerNow).pendingSeconds > 0; }
  // The programme needs more than the free recording time (writing it asks first).
  bool exceedsFree(std::time_t computerNow) const;
};

class TimerProgrammeListener {
 public:
  virtual ~TimerProgrammeListener() = default;
  // The window is to be shown, or what it draws changed (rows, reading, enabled state).
  virtual void onProgrammeChanged(const TimerProgrammeModel& /*model*/) {}
  // The window is to be closed (written, or cancelled).
  virtual void onProgrammeClosed() {}
  // A write or clear has ended: `ok` false when an entry was not acknowledged (the timer was not armed).
  virtual void onProgrammeWritten(bool /*ok*/) {}
  // The user chose to leave the armed recorder and end the program.
  virtual void onQuitRequested() {}
};

class TimerProgramme : public session::SessionObserver {
 public:
  TimerProgramme(session::Host& host, RecorderClock& clock);
  ~TimerProgramme() override;
  TimerProgramme(const TimerProgramme&) = delete;
  TimerProgramme& operator=(const TimerProgramme&) = delete;

  void setListener(TimerProgrammeListener* listener) { listener_ = listener; }
  // Whether the timer notice is asked when the recorder reports its timer armed (default on).
  void setNoticeEnabled(bool on) { noticeEnabled_ = on; }

  // Reads the programme; the window opens when it and the clock reading are in.
  bool read();
  // The window edits a row that the recorder reported (false for any other index).
  bool editRow(std::size_t index, const TimerEntry& entry);
  // OK: writes every reported row in order, then arms the timer. A programme longer than the free
  // recording time is written only after the user agreed. False when nothing is written (declined,
  // nothing still to record, a write already under way, no link); the outcome comes through the
  // listener.
  bool write();
  // Writes `entries` to indices 0, 1, … and clears every other reported row, then arms the timer.
  // False when the recorder reported fewer rows than there are entries.
  bool writeProgramme(const std::vector<TimerEntry>& entries);
  // Clears every reported row, one line per acknowledgement.
  bool clear();
  // The window's Cancel.
  void closeWindow();
  bool arm();
  bool disarm();

  const TimerProgrammeModel& model() const { return model_; }
  bool busy() const { return !queue_.empty() || writeAsking_; }
  bool noticeOpen() const { return noticeOpen_; }
  bool armed() const { return host_.state().timerArmed; }

  // SessionObserver
  void onSessionReset() override;
  // A window left open over a lost link is filled again from the recorder that answered.
  void onChainComplete() override;

 private:
  struct Pending {
    std::size_t index;
    TimerEntry entry;
    std::string line;
  };
  void onStart();
  void onEntry(const std::string& line);
  void onEnd();
  void onAcknowledged(const std::string& line);
  void onArmed(const std::string& line);
  void onDisarmed(const std::string& line);
  void onReading(const DateTime& recorder, std::time_t computer);
  void startWrite(std::vector<Pending> lines, bool armAfter);
  void sendHead();
  void ackTimeout();
  void finish(bool ok);
  void showNotice();
  void answerNotice(std::uint64_t token, const ports::Reply& reply);
  void withdrawNotice();
  void changed();
  void logEvent(TextId a, std::optional<TextId> b = std::nullopt);

  session::Host& host_;
  RecorderClock& clock_;
  TimerProgrammeListener* listener_ = nullptr;
  TimerProgrammeModel model_;
  std::deque<Pending> queue_;  // lines waiting for the previous one's acknowledgement
  int resends_ = 0;
  bool armAfter_ = false;
  bool writeAsking_ = false;
  bool noticeEnabled_ = true;
  bool noticeOpen_ = false;
  std::uint64_t noticeToken_ = 0;
  std::uint64_t writeToken_ = 0;
  std::optional<bool> writeDecision_;  // how the last over-free question ended
  std::shared_ptr<char> life_ = std::make_shared<char>();
};

}  // namespace recdesk::operations
