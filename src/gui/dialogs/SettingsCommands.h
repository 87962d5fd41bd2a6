#pragma once
// The settings side of the main window: the Options command with its dialogs and apply step, and the
// checks at start (the first-run choice of a profile file, the Options when the link or a folder is
// not configured), the access restrictions, the profile choice of the window and the profile editor.
// The window forwards its commands here first.
#include <QObject>

namespace recdesk::app {
struct Settings;
}

namespace recdesk::gui {

class GuiSession;
class MainWindow;
class OptionsDialog;
class ProfileChoice;
class ProfileEditorCommand;
class RestrictionsDialog;

class SettingsCommands : public QObject {
  Q_OBJECT
 public:
  SettingsCommands(MainWindow& window, GuiSession& session);

  // True when `command` is one of ours (it ran, or its command is disabled).
  bool handle(int command);
  // At start: the first-run profile-file choice, then the Options when something is not configured
  // (empty folders are shown preset to their defaults, for confirmation).
  void startChecks();
  // Takes over the window's profile drop-down, name and Apply (once its controls exist).
  void attachProfiles();

  // The open Options dialog, if any (tests, screenshots).
  OptionsDialog* optionsDialog() const { return options_; }
  RestrictionsDialog* restrictionsDialog() const { return restrictions_; }
  ProfileChoice* profileChoice() const { return profiles_; }
  ProfileEditorCommand* profileEditor() const { return profileEditor_; }

 private:
  void openOptions(const app::Settings& shown);
  void applyOptions(const app::Settings& result);
  void openRestrictions();
  void showError(const std::string& text);

  MainWindow& window_;
  GuiSession& session_;
  OptionsDialog* options_ = nullptr;
  RestrictionsDialog* restrictions_ = nullptr;
  ProfileChoice* profiles_ = nullptr;
  ProfileEditorCommand* profileEditor_ = nullptr;
};

}  // namespace recdesk::gui
