#pragma once
// The player in the main window: it owns the playback engine on the sound output, loads IM2
// recordings and WAV files (the Open command, a finished download, a conversion, a filter run),
// forwards the play, pause and stop buttons and clicks on the level bar, and moves the bar's
// cursor and the ruler on a 100 ms timer from the engine's status. The engine's requests return at
// once; it replies (open results, seek positions, the end) on its own worker thread, and those
// replies reach this object through queued calls on the GUI thread.
#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "operations/SelectionPlayer.h"
#include "playback/PlaybackEngine.h"

class QLabel;
class QPushButton;
class QTimer;
class QWidget;

namespace recdesk::ports {
class AudioSink;
}

namespace recdesk::gui {

class GuiSession;
class PlayerButton;
class TimeRuler;
class WaveformView;

// What the enabling of the window needs to know about the player.
struct PlayerState {
  bool fileLoaded = false;
  bool playing = false;  // play pressed, neither pause nor stop since
  bool paused = false;
};

struct PlayerWidgets {
  PlayerButton* play = nullptr;
  PlayerButton* pause = nullptr;
  PlayerButton* stop = nullptr;
  QPushButton* open = nullptr;
  WaveformView* waveform = nullptr;
  TimeRuler* ruler = nullptr;
  QLabel* path = nullptr;
};

class PlayerController : public QObject, public playback::PlaybackObserver {
  Q_OBJECT
 public:
  // `sink` null: the sound output of the desktop.
  PlayerController(GuiSession& session, QWidget* window, const PlayerWidgets& widgets,
                   std::unique_ptr<ports::AudioSink> sink = nullptr);
  ~PlayerController() override;

  // The player's commands (Open); false for any other command.
  bool handle(int command);

  // Closes the current file and loads `path` (".im2" or ".wav" in any letter case; anything else
  // loads nothing).
  void load(const std::string& path);
  void closeFile();
  // What the recording list's selection asks of the player (see operations::playerForSelection).
  void showSelection(const operations::SelectionPlayerView& view);
  void play();
  void pause();
  void stop();
  // A click on the level bar at `fraction` (0..1) of its width.
  void seekFraction(double fraction);

  PlayerState state() const;
  const std::string& path() const { return path_; }
  const playback::PlaybackEngine& engine() const { return *engine_; }
  // Sets the buttons from the player's state (after the window's own enabling).
  void applyButtons();
  // Called whenever the player's state changes (the window refreshes its enabling).
  std::function<void()> onStateChanged;

  // PlaybackObserver (worker thread): the replies are handed to the GUI thread.
  void playbackOpened(const playback::PlaybackStatus& status) override;
  void playbackSeeked(const playback::PlaybackStatus& status) override;
  void playbackOpenFailed(const std::string& path, const std::string& reason) override;
  void playbackSoundUnavailable() override;
  void playbackEnded() override;

 private:
  void chooseFile();
  // The engine's replies on the GUI thread; those for a file since replaced are dropped.
  bool isCurrent(const std::string& path) const;
  void opened(const playback::PlaybackStatus& status);
  void openFailed(const std::string& path, const std::string& text);
  void tick();
  void showPosition(const playback::PlaybackStatus& status);
  void startTimer();
  void changed();

  GuiSession& session_;
  QWidget* window_;
  PlayerWidgets w_;
  std::unique_ptr<ports::AudioSink> sink_;
  std::unique_ptr<playback::PlaybackEngine> engine_;
  QTimer* timer_ = nullptr;  // the position display, every 100 ms while playing
  bool loaded_ = false;
  bool playing_ = false;
  bool paused_ = false;
  bool im2_ = false;
  std::int64_t totalMs_ = 0;
  std::string path_;
  std::string lastOpened_;  // for the Open command, kept for the program's lifetime
};

}  // namespace recdesk::gui
