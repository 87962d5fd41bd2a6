#pragma once
// The session owner: the one object that holds the conversation with the recorder. It owns the link,
// the session flags, the timers (by their fixed ids), the line accumulator, the current reply and the
// block receiver; it assembles and dispatches reply lines, sends every command line, keeps the session
// alive with pings, notices a silent recorder or a lost link, and runs the connection with its speed
// agreement and the query chain that follows (version, list, type, flash, free space, clock).
//
// No user interface here: what the user sees goes through ports::UserInterface (message boxes and the
// status line), the communications log goes to a text sink, and front ends follow the state through
// SessionObserver. Operations (download, level preview, maintenance, clock, timer, password,
// transmitter) plug their reply handlers into the dispatcher by table entry, and their block transfers
// through setActiveTransfer().
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lang/TextId.h"
#include "link/Fifo.h"
#include "link/LinkTransport.h"
#include "ports/UserInterface.h"
#include "session/LineAssembler.h"
#include "session/Protocol.h"
#include "session/SessionInfo.h"
#include "session/SessionServices.h"

namespace recdesk::ports {
class EventLoop;
class UserInterface;
}  // namespace recdesk::ports
namespace recdesk::app {
struct Settings;
}

namespace recdesk::session {

// Front ends and operations follow the session through this interface; every method has an empty
// default body.
class SessionObserver {
 public:
  virtual ~SessionObserver() = default;
  // The session state changed: refresh controls, menus and buttons.
  virtual void onStateChanged() {}
  // The session as a front end shows it, sent when any of it changed (and once when observing starts).
  virtual void onState(const SessionState& /*state*/) {}
  // The session was reset: recorder details blanked, recording list emptied, recorder-state windows
  // (timer notice, password, clock, clock difference, timer programme) hidden, player closed.
  virtual void onSessionReset() {}
  // The presence line named the device kind: transmitter menu on/off, full or reduced menus.
  virtual void onDeviceKind(DeviceVariant /*variant*/, std::uint16_t /*subModel*/, bool /*transmitterMenu*/) {}
  // Something in SessionInfo changed (version, list, type, flash, free space, clock).
  virtual void onInfoChanged() {}
  // The recording list: acknowledgement (the list is emptied), each record line, the end line.
  virtual void onListStarted() {}
  virtual void onListRecord(const std::string& /*line*/) {}
  virtual void onListEnd() {}
  // The recorder's clock differs from this computer's by more than a minute (once per connection).
  virtual void onClockDifference(const DateTime& /*recorderTime*/, long long /*seconds*/) {}
  // The last reply of the query chain after connecting (the clock) has been handled.
  virtual void onChainComplete() {}
  // A format or flash check started or ended on the recorder.
  virtual void onMaintenance(bool /*running*/) {}
  // The second status text (remaining time of a download) and the title suffix (transfer progress).
  virtual void onSecondStatus(const std::string& /*text*/) {}
  virtual void onTitleSuffix(const std::string& /*text*/) {}
};

class Host final : public SessionServices, public link::LinkListener {
 public:
  using ReplyHandler = std::function<void(const std::string& reply)>;
  using LogSink = std::function<void(const std::string& text)>;
  // Persists one key of the settings file from the in-memory Settings ("Options" "Port"/"Baud").
  using SettingsWriter = std::function<void(const std::string& section, const std::string& key)>;

  Host(ports::EventLoop& loop, link::LinkTransport::ChannelFactory channels, ports::UserInterface& ui,
       app::Settings& settings);
  ~Host() override;
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // ---- wiring --------------------------------------------------------------------------------------
  void setLogSink(LogSink sink) { logSink_ = std::move(sink); }
  void setSettingsWriter(SettingsWriter writer) { settingsWriter_ = std::move(writer); }
  void addObserver(SessionObserver* observer);
  void removeObserver(SessionObserver* observer);
  // Replaces the handler of one reply-table entry (an operation plugs in here). An empty handler
  // restores the built-in one.
  void setReplyHandler(ReplyId id, ReplyHandler handler);
  // The built-in handler of an entry (a plugged handler may run it as part of its own work).
  ReplyHandler builtInReplyHandler(ReplyId id);
  // Handlers of timers the session does not own (3 playback progress, or a front end's own ids).
  void setTimerHook(int timerId, std::function<void()> hook);
  // Whether the recording list has a recording that is not completely on disk (the format asks a
  // second time then). Without a query every listed recording counts as not on disk.
  void setIncompleteRecordingsQuery(std::function<bool()> query) { incompleteQuery_ = std::move(query); }
  // This computer's wall clock, which the recorder's clock is compared with (default: the system's).
  void setWallClock(std::function<std::time_t()> clock) { wallClock_ = std::move(clock); }
  std::time_t wallNow() const { return wallClock_ ? wallClock_() : std::time(nullptr); }
  // The selected profile's recording values (rate, bits, channels), for the recording time left when the
  // recorder names its type instead of reporting the numbers (the reduced recorder). Without a query,
  // or when it has no answer, such a type leaves the time left unknown.
  using ProfileValuesQuery = std::function<std::optional<RecordingType>()>;
  void setSelectedProfileQuery(ProfileValuesQuery query) { profileQuery_ = std::move(query); }

  // ---- session control -----------------------------------------------------------------------------
  // Connect attempt: opens the link at 115200 bit/s and pings; on failure it is repeated every second.
  void connectAttempt();
  // Ends the session for good: sends the recorder's reset line when it is connected (as the program
  // does when it closes), stops every session timer and closes the link once that line is out.
  // The reset line goes out paced: keep the loop running until shutdownComplete() (the link is closed
  // at once when the host is destroyed earlier).
  void shutdown(bool sendResetLine = true);
  bool shutdownComplete() const { return shutDown_ && !link_.isOpen(); }
  void closeLink();
  void sessionReset();
  void sessionEstablished();
  void keepAliveStart();
  void setLinkSpeed(std::uint32_t speed);
  // The speed fallback after a garbled reply (a malformed list line): on the FTDI adapter the speed
  // is lowered by 1,000,000 bit/s (down to 1,000,000) and requested from the recorder.
  void speedFallback(const std::string& reasonText) override;
  // The Options command changed only the speed: "Port" and "Baud" are written when it is confirmed.
  void setSaveSpeedPending(bool pending) { saveSpeedPending_ = pending; }

  // ---- simple commands -------------------------------------------------------------------------------
  void commandType();
  void commandFree();
  void commandTime();
  void commandList();
  void commandFlash();
  // Asks the user to confirm (twice when recordings are not all on disk), then sends the format.
  // False when declined at once or the send failed; true when sent, or while an answer is awaited.
  bool commandFormat();
  bool formatQuestionOpen() const { return formatAsking_; }
  void commandRecordOn();
  void commandRecordOff();

  // ---- link notifications and timers ------------------------------------------------------------------
  void onLinkNotification(int notification, std::size_t bytesWaiting) override;
  void onTimer(int timerId);

  // ---- state -----------------------------------------------------------------------------------------
  const SessionInfo& info() const { return info_; }
  const SessionFlags& flags() const override { return flags_; }
  SessionState state() const;
  bool linkOpen() const { return link_.isOpen(); }
  // A speed line awaits the recorder's confirmation: what is sent now would be lost.
  bool speedChanging() const { return speedChanging_; }
  // The USB interface adapter's description (empty for a serial port), when the link has it.
  void adapterInformation(link::LinkChannel::InformationDone done) { link_.AdapterInformation(std::move(done)); }
  // Why the last connect attempt could not open the link (link::kOpenOk when it could).
  int lastOpenResult() const { return lastOpenResult_; }
  void setActivity(Activity activity, bool on) override;
  // The recorder accepted a password change: it knows the extended password digits.
  void setFirmwareCapability(bool capable);
  void setActiveTransfer(BlockTransferHandler* handler) override { activeTransfer_ = handler; }
  BlockTransferHandler* activeTransfer() const { return activeTransfer_; }

  // ---- SessionServices -------------------------------------------------------------------------------
  using SessionServices::sendLine;
  bool sendLine(const std::string& line, bool expectReply, AfterSent afterSent) override;
  bool sendByte(std::uint8_t value) override;
  // True while a line is going out or anything waits behind it.
  bool sending() const { return goingOut_.has_value() || !outgoing_.empty(); }
  void setLineMode() override;
  void setBlockMode(BlockReceiver receiver) override;
  bool inBlockMode() const override { return receiver_ != BlockReceiver::None; }
  void discardInput() override;
  BlockBuffer& blockBuffer() override { return block_; }
  void startTimer(int timerId, std::chrono::milliseconds period) override;
  void stopTimer(int timerId) override;
  void startKeepAlive() override { keepAliveStart(); }
  void stopKeepAliveAndReplyWait() override;
  void log(const std::string& text) override;
  ports::UserInterface& ui() override { return ui_; }
  const app::Settings& settings() const override { return settings_; }
  int portCode() const override;
  bool recorderConnected() const override { return flags_.recorderConnected; }
  void refreshControls() override;
  void setStatusText(const std::string& text) override;
  std::chrono::steady_clock::time_point now() const override;
  void setTitleSuffix(const std::string& text) override;

 private:
  // What waits to go out, in order: paced lines, control bytes, and steps that must wait until the
  // lines before them are out (a speed change).
  struct Outgoing {
    enum class Kind { Line, Byte, Step } kind;
    std::string bytes;
    bool expectReply = false;
    AfterSent then;
  };
  void queueOutgoing(Outgoing item);
  // Starts what waits, up to the next paced line.
  void sendNext();
  void lineSent(std::size_t written);
  void dropOutgoing();
  // Input that arrived while a line was going out is read once the writing is done (until then it
  // waits in the link, as it would for an owner busy writing).
  void readDeferredInput();
  bool replyWaitPending() const;
  void keepAliveAfterSend();
  friend struct HostProbe;  // tests and fuzz targets: the insides no front end may touch

  bool lineNotification(std::size_t bytesWaiting);
  bool dataNotification(std::size_t bytesWaiting);
  bool dispatch(const std::string& line);
  // The main status line (through the user interface) and the session state to observers.
  void showStatus(const std::string& text);
  void publishState();
  void linkLost();
  void replyTimeout();
  void devicePresence(std::string reply);
  void applyDeviceKind(const std::string& kind, const std::string& subModelField, bool connected);
  void speedConfirmation(const std::string& reply);
  void sendPendingVersionQuery();
  // The speed agreement ended (confirmed or not): what waited for it may go.
  void speedAgreed();
  void versionReply(const std::string& reply);
  void listAcknowledgement(const std::string& reply);
  void listRecord(const std::string& reply);
  void typeReply(const std::string& reply);
  void flashReply(const std::string& reply);
  void freeReply(const std::string& reply);
  void clockReply(const std::string& reply);
  void recordingReply(const std::string& reply);
  void recordingEnded(const std::string& reply);
  void formatReply(const std::string& reply);
  void timerArmed(const std::string& reply);
  void passwordPrompt(const std::string& reply);
  void testReply(bool accepted);
  void askFormat(ports::Topic topic, const std::string& text, ports::ReplyHandler then);
  void formatDecided(bool confirmed);
  void installBuiltInHandlers();
  void persist(const char* section, const char* key);
  void logEvent(TextId text);  // " " + text + "\r\n"
  // Tells the observers of the moment from a copy (an observer may remove itself, or add one). The
  // copy of the few a session has stays on the stack: this runs for every line sent.
  template <typename F>
  void notify(F&& f) {
    constexpr std::size_t kFew = 16;
    if (observers_.size() > kFew) {
      const auto observers = observers_;
      for (auto* o : observers) f(*o);
      return;
    }
    std::array<SessionObserver*, kFew> few{};
    const std::size_t count = observers_.size();
    std::copy(observers_.begin(), observers_.end(), few.begin());
    for (std::size_t i = 0; i < count; ++i) f(*few[i]);
  }

  ports::EventLoop& loop_;
  ports::UserInterface& ui_;
  app::Settings& settings_;
  link::LinkTransport link_;

  LogSink logSink_;
  SettingsWriter settingsWriter_;
  std::vector<SessionObserver*> observers_;
  std::array<ReplyHandler, kReplyCount> handlers_;
  std::array<ReplyHandler, kReplyCount> builtIn_;
  std::map<int, std::function<void()>> timerHooks_;
  std::function<bool()> incompleteQuery_;
  std::function<std::time_t()> wallClock_;
  ProfileValuesQuery profileQuery_;

  SessionFlags flags_;
  SessionInfo info_;
  LineAssembler assembler_;
  std::string currentReply_;
  std::string secondStatus_;
  std::string titleSuffix_;
  BlockReceiver receiver_ = BlockReceiver::None;
  BlockBuffer block_;
  BlockTransferHandler* activeTransfer_ = nullptr;

  std::uint32_t pingRetryCount_ = 0;
  int speedCycleIndex_ = 0;  // which link speed to try next after a lost recorder
  bool transmitterMenu_ = false;
  bool verPending_ = false;
  bool speedChanging_ = false;  // a speed line awaits the recorder's confirmation
  bool saveSpeedPending_ = false;
  bool clockCheckArmed_ = false;
  int lastOpenResult_ = -1;
  std::uint64_t linkEpoch_ = 0;  // advanced whenever a link is opened or closed
  bool shutDown_ = false;
  link::Fifo<Outgoing> outgoing_;
  std::optional<Outgoing> goingOut_;  // the line the link is writing
  bool inputDeferred_ = false;
  bool formatAsking_ = false;
  bool timerArmed_ = false;
  bool querying_ = false;  // the query chain after the list awaits an answer (a ping ends it)
  std::string statusText_;
  SessionState published_;
  std::uint64_t formatToken_ = 0;  // the format question whose answers count
  std::uint64_t formatEpoch_ = 0;  // the link it was asked on
  std::optional<bool> formatSent_;  // how the last format question ended
  std::shared_ptr<char> life_ = std::make_shared<char>();  // answers that come after the host are dropped
};

}  // namespace recdesk::session
