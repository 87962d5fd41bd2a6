#pragma once
// The main window: the recording list and its summary, the profile choice, the download, format and
// recorder buttons, the level display with the time ruler and the player buttons, the status texts
// and the menus. It draws what the session reports (it observes the session, the list and the
// download) and forwards the user's commands; which commands are enabled comes in one EnabledSet
// through applyEnabled().
#include <QMainWindow>
#include <QMap>

#include "window/Commands.h"
#include "app/Enabling.h"
#include "operations/DownloadSession.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;

namespace recdesk::gui {

class ClockController;
class CommsLogWindow;
class GuiSession;
class ListingProgressWindow;
class PlayerButton;
class SettingsCommands;
class PlayerController;
class ConvertController;
class FilterController;
struct PlayerState;
class RecorderCommands;
class TimeRuler;
class WaveformView;

class MainWindow : public QMainWindow, public operations::FrontEndObserver {
  Q_OBJECT
 public:
  explicit MainWindow(GuiSession& session, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Enables or disables commands and controls by number; numbers not in the set keep their state.
  void applyEnabled(const EnabledSet& enabled);
  // The command as the menu or a button gives it.
  void runCommand(int command);
  // The player's state as enabling sees it; the enabling follows at once.
  void setPlayerState(const app::PlayerState& player);
  // Draws the enabling again (after a session, selection, player or restriction change).
  void refreshEnabling();

  // For the tests and the screenshot tool.
  QTreeWidget* recordingList() const { return recordings_; }
  QTableWidget* summaryList() const { return summary_; }
  QAction* action(Command c) const { return actions_.value(number(c)); }
  QWidget* control(Control c) const { return controls_.value(number(c)); }
  CommsLogWindow* logWindow() const { return logWindow_; }
  SettingsCommands* settingsCommands() const { return settingsCommands_; }
  PlayerController* player() const { return player_; }
  ConvertController* converter() const { return converter_; }
  FilterController* filter() const { return filter_; }
  // The player's state for the enabling (file loaded, playing, paused).
  PlayerState playerState() const;
  RecorderCommands* recorderCommands() const { return recorderCommands_; }
  ClockController* clockController() const { return clockController_; }
  QString statusText() const;
  // Raises the window (a second start asked for it).
  void bringForward();

  // SessionObserver
  void onState(const session::SessionState& state) override;
  void onInfoChanged() override;
  void onDeviceKind(session::DeviceVariant variant, std::uint16_t subModel, bool transmitterMenu) override;
  void onSessionReset() override;
  void onListStarted() override;
  void onListRecord(const std::string& line) override;
  void onListEnd() override;
  // RecordingListListener
  void onListReset() override;
  void onRowChanged(std::size_t index) override;
  void onSelectionSums(const operations::SelectionSums& sums) override;
  // DownloadListener
  void onDownloadProgress(const operations::DownloadProgress& progress) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildControls();
  void placeWindows();
  void savePlacement();
  void selectionFromView();
  // The player follows the selection: `row` is the recording it looks at (see playerForSelection).
  void showSelectionInPlayer(std::optional<std::size_t> row);
  void prefixEdited(const QString& typed);
  void downloadToggled(bool pressed);
  void downloadRow(int row);
  void setLogVisible(bool shown);

  GuiSession& session_;
  QMap<int, QAction*> actions_;
  QMap<int, QWidget*> controls_;
  QTreeWidget* recordings_ = nullptr;
  QTableWidget* summary_ = nullptr;
  TimeRuler* ruler_ = nullptr;
  WaveformView* waveform_ = nullptr;
  QComboBox* profiles_ = nullptr;
  QLabel* profileName_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* download_ = nullptr;
  QPushButton* format_ = nullptr;
  PlayerButton* recordStart_ = nullptr;
  PlayerButton* recordStop_ = nullptr;
  PlayerButton* play_ = nullptr;
  PlayerButton* pause_ = nullptr;
  PlayerButton* stop_ = nullptr;
  QPushButton* open_ = nullptr;
  QLineEdit* prefix_ = nullptr;
  QLabel* recorderName_ = nullptr;
  QLabel* filePath_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* secondStatus_ = nullptr;
  QLabel* recordingTime_ = nullptr;
  CommsLogWindow* logWindow_ = nullptr;
  SettingsCommands* settingsCommands_ = nullptr;
  PlayerController* player_ = nullptr;
  ConvertController* converter_ = nullptr;
  FilterController* filter_ = nullptr;
  ClockController* clockController_ = nullptr;
  ListingProgressWindow* listing_ = nullptr;  // made by a long listing
  RecorderCommands* recorderCommands_ = nullptr;
  session::SessionState state_;
  app::EnabledSet enabled_ = app::EnabledSet::all();
  app::PlayerState playerState_;  // what the enabling sees of the player
  bool reducedVariant_ = false;
  bool transmitterMenu_ = true;
  bool syncing_ = false;   // the view is being set from the list: its selection signals are ours
  bool closing_ = false;
};

}  // namespace recdesk::gui
