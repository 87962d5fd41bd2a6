#include "playback/PlaybackEngine.h"

#include <array>

#include "audio/CFile64.h"

namespace recdesk::playback {

PlaybackEngine::PlaybackEngine(ports::AudioSink& sink, PlaybackObserver* observer)
    : observer_(observer), player_(sink, [this] {
        // A buffer was played: the worker may have room for the next piece, or reached the end.
        std::lock_guard lock(mutex_);
        work_.notify_one();
      }) {
  worker_ = std::thread([this] { run(); });
}

PlaybackEngine::~PlaybackEngine() {
  submit({Kind::Quit});
  worker_.join();
}

void PlaybackEngine::submit(Request request) {
  std::lock_guard lock(mutex_);
  requests_.push_back(std::move(request));
  work_.notify_one();
}

void PlaybackEngine::open(const std::string& path, MediaKind kind) {
  submit({Kind::Open, path, kind == MediaKind::None ? mediaKindFor(path) : kind});
}

void PlaybackEngine::close() {
  submit({Kind::Open});
}
void PlaybackEngine::play() {
  submit({Kind::Play});
}
void PlaybackEngine::pause() {
  submit({Kind::Pause});
}
void PlaybackEngine::stop() {
  submit({Kind::Stop});
}
void PlaybackEngine::seekMs(std::int64_t ms) {
  submit({Kind::Seek, {}, MediaKind::None, ms});
}

PlaybackStatus PlaybackEngine::status() const {
  std::lock_guard lock(statusMutex_);
  PlaybackStatus s = info_;
  s.state = state_.load();
  if (s.loaded) {
    s.positionMs = std::max<std::int64_t>(0, decodedMs_ - player_.pendingMs());
    s.currentTime = audio::addSeconds(s.startTime, s.positionMs / 1000);
  }
  return s;
}

bool PlaybackEngine::hasWork() const {
  if (state_.load() != PlayState::Playing || !source_) return false;
  return atEnd_ ? player_.idle() : player_.room() >= kMaxPiece;
}

void PlaybackEngine::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return !requests_.empty() || hasWork(); });
    if (!requests_.empty()) {
      const Request request = std::move(requests_.front());
      requests_.pop_front();
      if (request.kind == Kind::Quit) break;
      lock.unlock();
      handle(request);
      lock.lock();
      continue;
    }
    lock.unlock();
    step();
    lock.lock();
  }
  lock.unlock();
  closeFile();
}

void PlaybackEngine::setState(PlayState state) {
  if (state_.exchange(state) != state && observer_) observer_->playbackStateChanged(state);
}

void PlaybackEngine::handle(const Request& r) {
  try {
    carryOut(r);
  } catch (const audio::FileError&) {
    // The file cannot be read any more: the request changes nothing more.
  }
  // The owner learns where a seek has left the position, whatever became of it.
  if (r.kind == Kind::Seek && observer_) observer_->playbackSeeked(status());
}

void PlaybackEngine::carryOut(const Request& r) {
  switch (r.kind) {
    case Kind::Open:
      closeFile();
      if (!r.path.empty()) openFile(r);
      break;
    case Kind::Play:
      if (!source_) break;  // nothing loaded: the state stays stopped
      player_.restart();
      setState(PlayState::Playing);
      break;
    case Kind::Pause:
      if (state_.load() != PlayState::Playing) break;
      player_.pause();
      setState(PlayState::Paused);
      break;
    case Kind::Stop:
      if (source_) {
        std::lock_guard lock(statusMutex_);
        player_.reset();
        source_->rewind();
        decodedMs_ = 0;
        atEnd_ = false;
      }
      setState(PlayState::Stopped);
      break;
    case Kind::Seek: {
      if (!source_) break;
      std::lock_guard lock(statusMutex_);
      if (!source_->seekMs(r.ms)) break;  // beyond what the file holds
      player_.reset();
      decodedMs_ = source_->decodedMs();
      atEnd_ = false;
      break;
    }
    case Kind::Quit:
      break;
  }
}

void PlaybackEngine::openFile(const Request& r) {
  std::string error;
  std::unique_ptr<PlaybackSource> source;
  if (r.media == MediaKind::Im2)
    source = openIm2Source(r.path, error);
  else if (r.media == MediaKind::Wav)
    source = openWavSource(r.path, error);
  else
    error = r.path + " is neither an IM2 recording nor a WAV file";
  if (!source) {
    if (observer_) observer_->playbackOpenFailed(r.path, error);
    return;
  }
  bool sound = true;
  PlaybackStatus opened;
  {
    std::lock_guard lock(statusMutex_);
    const PcmFormat f = source->format();
    sound = player_.reopen(f.rate, f.bits, f.channels);
    source_ = std::move(source);
    decodedMs_ = 0;
    atEnd_ = false;
    info_ = {};
    info_.loaded = true;
    info_.kind = r.media;
    info_.path = r.path;
    info_.format = f;
    info_.lengthMs = source_->lengthMs();
    info_.totalMs = source_->totalMs();
    info_.startTime = source_->startTime();
    info_.currentTime = info_.startTime;
    info_.soundAvailable = sound;
    opened = info_;
  }
  if (!sound && !soundToldOnce_) {
    soundToldOnce_ = true;
    if (observer_) observer_->playbackSoundUnavailable();
  }
  if (observer_) observer_->playbackOpened(opened);
}

void PlaybackEngine::closeFile() {
  {
    std::lock_guard lock(statusMutex_);
    player_.close();  // the output is reset first: the sound stops at once
    source_.reset();
    info_ = {};
    decodedMs_ = 0;
    atEnd_ = false;
  }
  setState(PlayState::Stopped);
}

void PlaybackEngine::step() {
  if (atEnd_) {
    finishRecording();
    return;
  }
  alignas(16) std::array<std::uint8_t, kMaxPiece> piece;
  std::size_t n = 0;
  try {
    n = source_->next(piece.data());
  } catch (const audio::FileError&) {
    n = 0;  // a file that cannot be read any more ends there
  }
  std::lock_guard lock(statusMutex_);
  if (n == 0) {
    atEnd_ = true;
    player_.flush();  // the last, partly filled buffer is heard too
    return;
  }
  player_.write(piece.data(), n);
  decodedMs_ = source_->decodedMs();
}

// Everything queued has been played: let the device play out its last buffer, then stop at the start.
void PlaybackEngine::finishRecording() {
  player_.drain();
  {
    std::lock_guard lock(statusMutex_);
    try {
      source_->rewind();
    } catch (const audio::FileError&) {
    }
    decodedMs_ = 0;
    atEnd_ = false;
  }
  setState(PlayState::Stopped);
  if (observer_) observer_->playbackEnded();
}

}  // namespace recdesk::playback
