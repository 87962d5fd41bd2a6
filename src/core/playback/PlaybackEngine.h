#pragma once
// The playback engine: one worker thread that reads a recording (IM2 or WAV), decodes it piece by
// piece and streams it to the sound output through WavePlayer's 20 buffers, paced by the buffers
// coming back. The owner hands it requests (open / close, play, pause, stop, seek) through a queue
// under a mutex and every request returns at once: the owner never waits for the worker. The worker
// carries them out in order, so a request made while an open is pending applies to the file being
// opened; a close stops the sound within one piece's decode.
//
// The results come back through PlaybackObserver (called on the worker thread: marshal to your own
// thread): the open's success (with the length) or failure (with its reason), the position after a
// seek, the state. Front ends may also read status() from any thread at any time, for example on a
// 100 ms display timer. Observer calls must not call back into the engine's requests.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio/Im2Format.h"
#include "playback/PlaybackSource.h"
#include "playback/PlayerMath.h"
#include "playback/WavePlayer.h"
#include "ports/AudioSink.h"

namespace recdesk::playback {

// The worker's play state: 0 stopped, 1 playing, 2 paused.
enum class PlayState : int { Stopped = 0, Playing = 1, Paused = 2 };

struct PlaybackStatus {
  bool loaded = false;
  MediaKind kind = MediaKind::None;
  std::string path;
  PlayState state = PlayState::Stopped;
  PcmFormat format;
  std::int64_t positionMs = 0;  // audio played so far (decoded less what is not yet heard)
  std::int64_t lengthMs = 0;    // what the file holds: the bar's total length
  std::int64_t totalMs = 0;     // the whole recording (a partial download announces more)
  audio::DateTime startTime;    // the recording's start (null for WAV files)
  audio::DateTime currentTime;  // start time + position
  bool soundAvailable = true;   // false: the output could not be opened, playback is silent
};

class PlaybackObserver {
 public:
  virtual ~PlaybackObserver() = default;
  virtual void playbackOpened(const PlaybackStatus& /*status*/) {}
  // The file cannot be played (TextId::UnableToOpenRecording with the path).
  virtual void playbackOpenFailed(const std::string& /*path*/, const std::string& /*reason*/) {}
  // The sound output cannot be opened (TextId::SoundOutputUnavailable); told once per engine.
  virtual void playbackSoundUnavailable() {}
  virtual void playbackStateChanged(PlayState /*state*/) {}
  // A seek has been carried out: `status` holds the position after it (unchanged when the time lay
  // beyond the file or nothing was loaded). Told for every seek, in order.
  virtual void playbackSeeked(const PlaybackStatus& /*status*/) {}
  // The end of the recording has been heard; the state is back to stopped at the start.
  virtual void playbackEnded() {}
};

class PlaybackEngine {
 public:
  // Starts the worker. `sink` and `observer` must outlive the engine.
  explicit PlaybackEngine(ports::AudioSink& sink, PlaybackObserver* observer = nullptr);
  // Stops the sound at once and ends the worker.
  ~PlaybackEngine();
  PlaybackEngine(const PlaybackEngine&) = delete;
  PlaybackEngine& operator=(const PlaybackEngine&) = delete;

  // Closes the current file and opens `path` as `kind` (MediaKind::None: by its extension),
  // stopped at the start. The observer is told playbackOpened or playbackOpenFailed.
  void open(const std::string& path, MediaKind kind = MediaKind::None);
  // Closes the file: the sound stops at once and the output is closed.
  void close();
  // Plays from the current position (after a pause: from where it paused).
  void play();
  void pause();
  // Stops and goes back to the start of the recording.
  void stop();
  // Goes to the piece nearest `ms` (an IM2 recording's nearest page), playing on from there when
  // playing. A time beyond what the file holds is ignored. The observer is told playbackSeeked.
  void seekMs(std::int64_t ms);

  bool isPlaying() const { return state_.load() != PlayState::Stopped; }
  PlayState state() const { return state_.load(); }
  PlaybackStatus status() const;

 private:
  enum class Kind { Open, Play, Pause, Stop, Seek, Quit };
  struct Request {
    Kind kind;
    std::string path;
    MediaKind media = MediaKind::None;
    std::int64_t ms = 0;
  };

  void submit(Request request);
  void run();
  bool hasWork() const;
  void handle(const Request& request);
  void carryOut(const Request& request);
  void openFile(const Request& request);
  void closeFile();
  void step();
  void finishRecording();
  void setState(PlayState state);

  PlaybackObserver* observer_;
  // Requests: the owner queues, the worker takes them in order.
  std::mutex mutex_;
  std::condition_variable work_;  // the worker waits here: requests, buffers played
  std::deque<Request> requests_;

  // The worker's own; status() reads them under statusMutex_.
  mutable std::mutex statusMutex_;
  std::unique_ptr<PlaybackSource> source_;
  WavePlayer player_;
  PlaybackStatus info_;  // everything but state and position
  std::int64_t decodedMs_ = 0;
  std::atomic<PlayState> state_{PlayState::Stopped};
  bool atEnd_ = false;
  bool soundToldOnce_ = false;

  std::thread worker_;
};

}  // namespace recdesk::playback
