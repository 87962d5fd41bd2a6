#pragma once
// The simulated recorder (R5, R5U, R6) or transmitter (T7): it hears the host's bytes, answers the
// protocol lines like the device does and keeps its flash content as recordings of 528-byte pages.
//
// The model is transport-free: bytes go in through receive(), answers go out through the output
// callback. SimLink runs it in-process behind a LinkChannel; recdesk-sim serves it on a pseudo-terminal.
// Commands are kept in a table by command word, so further operations (the download's "DNL", the
// level preview's "SMP") plug in with addCommand(), and single control bytes of a block transfer with
// setByteInterceptor().
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "recording/RecordingWriter.h"

namespace recdesk::sim {

enum class Model { R5, R5U, R6, T7 };
std::optional<Model> parseModel(std::string_view text);  // "R5", "R5U", "R6", "T7" (any case)
const char* modelName(Model model);

// Faults the device itself can show.
struct DeviceFaults {
  bool silent = false;           // hears everything, answers nothing
  double garbleProbability = 0;  // chance that an answer line is garbled
  int garbleNext = 0;            // the next N answer lines are garbled
  bool flashError = false;       // the presence line reports a failed flash (field 3 = 0)
};

struct DeviceConfig {
  Model model = Model::R5;
  std::uint16_t subModel = 3;         // reported by an R5U in field 5 of its presence line
  std::uint16_t serial = 12345;
  std::string version;                // empty: the model's default version text
  bool testMode = false;              // presence field 2 = 1
  long long clockOffsetSeconds = 0;   // the recorder's clock minus the computer's
  // The recording type: sample rate, bits, channels, gain ("$R5,ACK,TYP,…"); an R5U answers a
  // profile name instead.
  std::uint32_t sampleRate = 8000;
  std::uint32_t bits = 4;
  std::uint32_t channels = 1;
  int gain = 0;
  std::string profileName = "SPEECH_MONO";  // one of the reduced recorder's built-in profiles
  // Flash banks: device code and maker code of each chip (up to four).
  std::vector<std::pair<std::uint8_t, std::uint8_t>> banks = {{0xDC, 0xEC}, {0xDC, 0xEC}};
  // What a bad-block scan ("$R5,BAD") finds.
  long badBlocks = 0;
  std::uint64_t seed = 1;
};

// The link speeds the recorder can be switched to with "$R5,COM,<speed>".
bool isRecorderSpeed(long long speed);

// A command's field `i`, empty where the line has fewer fields.
inline std::string fieldAt(const std::vector<std::string>& fields, std::size_t i) {
  return i < fields.size() ? fields[i] : std::string();
}

class SimRecorder {
 public:
  static constexpr std::uint32_t kPowerOnSpeed = 115200;
  using Output = std::function<void(std::string_view bytes)>;
  // A command: called with the whole line (without "\r\n") and its fields ("$R5" is field 0).
  using Command = std::function<void(SimRecorder& device, const std::string& line,
                                     const std::vector<std::string>& fields)>;

  explicit SimRecorder(DeviceConfig config = {});

  // Where the answers go (the link). Without an output answers are lost.
  void setOutput(Output output) { output_ = std::move(output); }
  // Bytes from the host.
  void receive(const std::uint8_t* bytes, std::size_t count);
  void receive(std::string_view bytes) {
    receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }

  // Sends an answer line ("\r\n" is added); garbled when a fault says so; nothing when silent.
  void sendLine(const std::string& line);
  // The bytes sendLine() would send for `line` (garbled when a fault says so; empty when silent).
  std::string frameLine(const std::string& line);
  // Sends bytes as they are (block data).
  void sendBytes(std::string_view bytes);
  // The recorder announces that it is ready ("$R5,READY,…", the transmitter "$T7,READY,…").
  void announceReady();
  // Power cycle: back to the power-on speed, no high-speed mode, no pending input.
  void powerCycle();

  // Adds or replaces the handler of a command word ("PING", "DNL", …).
  void addCommand(const std::string& word, Command command) { commands_[word] = std::move(command); }
  // Sees every byte before the line assembly; returns true when it took the byte (block control).
  void setByteInterceptor(std::function<bool(std::uint8_t)> interceptor) { interceptor_ = std::move(interceptor); }
  // Sees every line before the command table; returns true when it answered the line itself (a
  // state that answers for every command: an armed timer, a locked recorder waiting for its PIN).
  // Gates are asked in the order they were added.
  using LineGate = std::function<bool(SimRecorder& device, const std::string& line,
                                      const std::vector<std::string>& fields)>;
  void addLineGate(LineGate gate) { gates_.push_back(std::move(gate)); }

  // The recorder's link speed (it hears and answers only at this speed).
  std::uint32_t speed() const { return speed_; }
  bool highSpeedEnabled() const { return highSpeed_; }

  DeviceConfig& config() { return config_; }
  const DeviceConfig& config() const { return config_; }
  DeviceFaults& faults() { return faults_; }
  std::vector<Recording>& recordings() { return recordings_; }
  const std::vector<Recording>& recordings() const { return recordings_; }
  // Total data pages the flash holds and what is still free.
  std::uint64_t totalPages() const;
  std::uint64_t freePages() const;

  // The device's own name: "R5-12345" etc. (what the list acknowledgement reports, see listName()).
  std::string deviceName() const;
  // The version text reported by "$R5,ACK,VER,".
  std::string versionText() const;
  // The recorder's clock now.
  std::time_t clockNow() const;
  // The computer's clock as the device sees it (tests replace it).
  std::function<std::time_t()> wallClock = [] { return std::time(nullptr); };

  // Every line heard, in order (for tests).
  const std::vector<std::string>& linesHeard() const { return heard_; }
  std::mt19937_64& random() { return random_; }

 private:
  void handleLine(const std::string& line);
  void installCommands();
  void sendList();
  std::string typeAnswer() const;
  std::string flashAnswer() const;

  DeviceConfig config_;
  DeviceFaults faults_;
  Output output_;
  std::function<bool(std::uint8_t)> interceptor_;
  std::vector<LineGate> gates_;
  std::map<std::string, Command> commands_;
  std::vector<Recording> recordings_;
  std::string input_;
  std::vector<std::string> heard_;
  std::uint32_t speed_ = kPowerOnSpeed;
  bool highSpeed_ = false;
  bool recording_ = false;
  std::mt19937_64 random_;
};

}  // namespace recdesk::sim
