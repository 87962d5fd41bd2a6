#include "player/FilterController.h"

#include <QPointer>

#include "window/Commands.h"
#include "controls/ConversionProgressWindow.h"
#include "window/GuiSession.h"
#include "platform/GuiTexts.h"
#include "dialogs/FilterDialog.h"
#include "player/WorkerJobUi.h"

namespace recdesk::gui {

FilterController::FilterController(GuiSession& session, QWidget* window, ConversionProgressWindow* progress)
    : QObject(window), session_(session), window_(window), progress_(progress) {}

FilterController::~FilterController() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

bool FilterController::handle(int command) {
  if (command != number(Command::Filter)) return false;
  if (running_ || dialog_ != nullptr) return true;
  dialog_ = new FilterDialog(QString::fromStdString(session_.settings().downloadFolder), window_);
  dialog_->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog_, &QObject::destroyed, this, [this] { dialog_ = nullptr; });
  connect(dialog_, &QDialog::accepted, this, [this] {
    if (dialog_) run(dialog_->input(), dialog_->output(), dialog_->mode());
  });
  dialog_->open();
  return true;
}

void FilterController::run(const std::string& input, const std::string& output, int mode) {
  if (running_) return;
  if (beforeRun) beforeRun(input, output);
  running_ = true;
  cancel_ = false;
  progress_->finish();
  progress_->showProgress(qtext(TextId::Filtering), 0, 1);
  workerUi_ = std::make_unique<WorkerJobUi>(this, session_.ui(), progress_, cancel_);
  worker_ = std::thread([this, input, output, mode] {
    const audio::FilterResult result = audio::filterWav(input, output, mode, *workerUi_);
    QMetaObject::invokeMethod(
        this,
        [this, result, output] {
          if (worker_.joinable()) worker_.join();
          running_ = false;
          progress_->finish();
          if (onResult) onResult(result);
          if (result == audio::FilterResult::Completed && afterRun) afterRun(output);
        },
        Qt::QueuedConnection);
  });
}

}  // namespace recdesk::gui
