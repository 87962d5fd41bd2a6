#include "dialogs/ProfileEditorCommand.h"

#include <QWidget>

#include "app/ProfileEditor.h"
#include "dialogs/ProfileChoice.h"
#include "dialogs/ProfileEditorDialog.h"
#include "operations/ProfileApply.h"
#include "platform/GuiTexts.h"
#include "window/GuiSession.h"

namespace recdesk::gui {

ProfileEditorCommand::ProfileEditorCommand(QWidget* window, GuiSession& session, ProfileChoice& profiles)
    : QObject(window), window_(window), session_(session), profiles_(profiles) {}

void ProfileEditorCommand::open() {
  if (dialog_) {
    dialog_->raise();
    dialog_->activateWindow();
    return;
  }
  const auto& host = session_.host();
  const auto& info = host.info();
  const app::ProfileStore& shown = profiles_.store();
  dialog_ = new ProfileEditorDialog(shown, operations::connectedDevice(host).type,
                                    info.freeKnown ? info.freePages : 0, shown.selectedItem(), window_);
  dialog_->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog_, &QDialog::finished, this, &ProfileEditorCommand::finish);
  connect(dialog_, &QObject::destroyed, this, [this] { dialog_ = nullptr; });
  dialog_->open();
}

void ProfileEditorCommand::finish() {
  if (!dialog_) return;
  auto& host = session_.host();
  // What the window shows now: the session may have chosen another profile while the editor was open.
  app::ProfileStore& shown = profiles_.store();
  const std::string shownName = shown.selectedName();
  const auto shownValues = shown.valuesNamed(shownName);
  app::ProfileStore edited = dialog_->store();
  std::string error;
  app::finishProfileEditor(edited, session_.settingsFile(), session_.settings().profileIni,
                           operations::connectedDevice(host), host.state().running, shownName, shownValues,
                           dialog_->model().closeName(), &error);
  shown = std::move(edited);
  profiles_.draw();
  if (!error.empty())
    session_.ui().message(error, lang::text(TextId::AppName), ports::Icon::Warning, ports::Buttons::Ok);
}

}  // namespace recdesk::gui
