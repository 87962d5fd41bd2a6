// recdesk-cli play: an IM2 recording or a WAV file on the default sound output, with a position
// line; on a terminal, space pauses and resumes, the arrow keys seek 10 s and q quits.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>

#include "Cli.h"
#include "Interrupt.h"
#include "lang/Strings.h"
#include "playback/PlaybackEngine.h"
#include "playback/WaitingObserver.h"
#include "sdl/SdlAudioSink.h"

namespace recdesk::cli {
namespace {

using playback::PlaybackEngine;
using playback::PlaybackStatus;
using playback::PlayState;


// What the engine tells, kept for the command's loop: the command waits for it on its own thread.
using PlayObserver = playback::WaitingObserver;

// The terminal without line buffering and echo while the command runs.
class RawTerminal {
 public:
  RawTerminal() {
    if (::isatty(STDIN_FILENO) == 0 || ::tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  ~RawTerminal() {
    if (active_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  bool active() const { return active_; }

 private:
  termios saved_{};
  bool active_ = false;
};

std::string minutesSeconds(std::int64_t ms) {
  const std::int64_t s = std::max<std::int64_t>(ms, 0) / 1000;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld:%02lld", static_cast<long long>(s / 60),
                static_cast<long long>(s % 60));
  return buf;
}

// "  0:12 / 1:00 [########------------]" and the state.
std::string positionLine(const PlaybackStatus& s) {
  constexpr int kWidth = 30;
  const int filled =
      s.lengthMs > 0 ? static_cast<int>(std::min<std::int64_t>(kWidth, s.positionMs * kWidth / s.lengthMs))
                     : 0;
  return "  " + minutesSeconds(s.positionMs) + " / " + minutesSeconds(s.lengthMs) + " [" +
         std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kWidth - filled), '-') + "]" +
         (s.state == PlayState::Paused ? " paused " : "        ");
}

// Keys: space, q, and the arrows (ESC [ C / ESC [ D). Returns false when the user quits.
bool handleKeys(PlaybackEngine& engine, PlayObserver& observer) {
  char keys[16];
  const ssize_t n = ::read(STDIN_FILENO, keys, sizeof keys);
  for (ssize_t i = 0; i < n; ++i) {
    const char k = keys[i];
    if (k == 'q' || k == 'Q') return false;
    if (k == ' ') {
      if (engine.state() == PlayState::Playing)
        engine.pause();
      else
        engine.play();
    } else if (k == '\x1b' && i + 2 < n && keys[i + 1] == '[' && (keys[i + 2] == 'C' || keys[i + 2] == 'D')) {
      const std::int64_t step = keys[i + 2] == 'C' ? 10000 : -10000;
      observer.seekAndWait(engine, std::max<std::int64_t>(0, engine.status().positionMs + step));
      i += 2;
    }
  }
  return true;
}

int runPlayCommand(CliContext& context) {
  const std::string path = *context.value("FILE");
  const playback::MediaKind kind = playback::mediaKindFor(path);
  if (kind == playback::MediaKind::None)
    return fail(path + ": only IM2 recordings (.im2) and WAV files (.wav) play");

  platform::SdlAudioSink sink;
  PlayObserver observer;
  PlaybackEngine engine(sink, &observer);
  if (!observer.openAndWait(engine, path, kind))
    return fail(lang::text(TextId::UnableToOpenRecording) + " " + path + ": " + observer.reason());
  if (!engine.status().soundAvailable) {
    const std::string why = sink.lastError().empty() ? "" : " (" + sink.lastError() + ")";
    return fail(lang::text(TextId::SoundOutputUnavailable) + why);
  }
  if (const auto from = context.number("--from")) {
    if (*from * 1000 > engine.status().lengthMs)
      return fail("--from " + std::to_string(*from) + " lies beyond the end (" +
                  minutesSeconds(engine.status().lengthMs) + ")");
    observer.seekAndWait(engine, *from * 1000);
  }

  const bool tty = ::isatty(STDOUT_FILENO) != 0;
  RawTerminal terminal;
  std::optional<InterruptScope> ctrlC(std::in_place);
  engine.play();
  bool quit = false;
  while (!observer.hasEnded() && !quit && !InterruptScope::interrupted()) {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&in, terminal.active() ? 1 : 0, 100);
    if (ready > 0 && (in.revents & POLLIN) != 0) quit = !handleKeys(engine, observer);
    if (tty) std::cout << "\r" << positionLine(engine.status()) << std::flush;
  }
  const bool interrupted = InterruptScope::interrupted();
  ctrlC.reset();
  PlaybackStatus last = engine.status();
  if (observer.hasEnded()) last.positionMs = last.lengthMs;
  std::cout << (tty ? "\r" : "") << positionLine(last) << "\n";
  return interrupted ? kExitFailure : kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND("play",
                    "play an IM2 recording or a WAV file on the default sound output (on a terminal: space "
                    "pauses and resumes, the arrow keys seek 10 s, q quits)",
                    runPlayCommand, argument(file("FILE", "", "the IM2 recording or WAV file"), true),
                    integer("--from", "SECONDS", 0, 100000000, "start SECONDS into the recording"));

}  // namespace recdesk::cli
