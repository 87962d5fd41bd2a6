#include "dialogs/SettingsCommands.h"

#include <QAction>
#include <QCoreApplication>
#include <QMessageBox>

#include "window/Commands.h"
#include "window/GuiSession.h"
#include "platform/GuiTexts.h"
#include "window/MainWindow.h"
#include "dialogs/OptionsDialog.h"
#include "dialogs/ProfileChoice.h"
#include "dialogs/ProfileEditorCommand.h"
#include "dialogs/RestrictionsDialog.h"
#include "app/Restrictions.h"
#include "app/OptionsModel.h"
#include "app/OptionsRules.h"
#include "operations/OptionsApply.h"

namespace recdesk::gui {

SettingsCommands::SettingsCommands(MainWindow& window, GuiSession& session)
    : QObject(&window), window_(window), session_(session) {}

void SettingsCommands::attachProfiles() {
  if (profiles_) return;
  profiles_ = new ProfileChoice(window_, session_);
  profileEditor_ = new ProfileEditorCommand(&window_, session_, *profiles_);
}

bool SettingsCommands::handle(int command) {
  switch (static_cast<Command>(command)) {
    case Command::Options: {
      const QAction* a = window_.action(Command::Options);
      if (a && a->isEnabled()) openOptions(session_.settings());
      return true;
    }
    case Command::Profiles: {
      const QAction* a = window_.action(Command::Profiles);
      if (a && a->isEnabled() && profileEditor_) profileEditor_->open();
      return true;
    }
    case Command::Restrictions: {
      const QAction* a = window_.action(Command::Restrictions);
      if (a && a->isEnabled()) openRestrictions();
      return true;
    }
    default:
      return false;
  }
}

void SettingsCommands::startChecks() {
  const auto optionsIfNeeded = [this] {
    if (!session_.settings().needsOptions()) return;
    app::Settings shown = session_.settings();
    app::presetDefaultFolders(shown);
    openOptions(shown);
  };
  if (!session_.settings().profileNotChosenYet()) {
    optionsIfNeeded();
    return;
  }
  const std::string folder =
      app::programFolderWithSlash(QCoreApplication::applicationFilePath().toStdString());
  app::runFirstRunProfileChoice(session_.settings(), session_.settingsFile(), session_.ui(), folder,
                                [optionsIfNeeded](bool) { optionsIfNeeded(); });
}

void SettingsCommands::openOptions(const app::Settings& shown) {
  if (options_) {
    options_->raise();
    options_->activateWindow();
    return;
  }
  options_ = new OptionsDialog(shown, session_.ui(), &window_);
  options_->setAttribute(Qt::WA_DeleteOnClose);
  connect(options_, &OptionsDialog::settingsChosen, this, &SettingsCommands::applyOptions);
  connect(options_, &QObject::destroyed, this, [this] { options_ = nullptr; });
  options_->open();
}

void SettingsCommands::applyOptions(const app::Settings& result) {
  const auto applied = operations::applyOptions(&session_.host(), session_.settings(), session_.settingsFile(),
                                                result, profiles_ ? &profiles_->store() : nullptr);
  if (profiles_) profiles_->draw();
  if (!applied.error.empty()) showError(applied.error);
  window_.refreshEnabling();
}

void SettingsCommands::openRestrictions() {
  if (restrictions_) {
    restrictions_->raise();
    restrictions_->activateWindow();
    return;
  }
  const bool reduced = session_.host().info().variant == session::DeviceVariant::Reduced;
  restrictions_ = new RestrictionsDialog(app::restrictionsOf(session_.settings()), reduced, session_.ui(), &window_);
  restrictions_->setAttribute(Qt::WA_DeleteOnClose);
  connect(restrictions_, &RestrictionsDialog::restrictionsChosen, this, [this](const app::Restrictions& r) {
    std::string error;
    if (!app::applyRestrictions(session_.settings(), session_.settingsFile(), r, &error)) showError(error);
    window_.refreshEnabling();
  });
  connect(restrictions_, &QObject::destroyed, this, [this] { restrictions_ = nullptr; });
  restrictions_->start();
}

void SettingsCommands::showError(const std::string& text) {
  auto* box = new QMessageBox(QMessageBox::Warning, qtext(TextId::AppName), QString::fromStdString(text),
                              QMessageBox::Ok, &window_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace recdesk::gui
