#include "player/WorkerJobUi.h"

#include <QString>
#include <algorithm>

#include "controls/ConversionProgressWindow.h"

namespace recdesk::gui {

ports::Answer WorkerJobUi::message(const std::string& text, const std::string& caption, ports::Icon icon,
                                   ports::Buttons) {
  ports::UserInterface* gui = &gui_;
  QMetaObject::invokeMethod(
      context_, [gui, text, caption, icon] { gui->message(text, caption, icon, ports::Buttons::Ok); },
      Qt::QueuedConnection);
  return ports::Answer::Ok;
}

bool WorkerJobUi::progress(const std::string& caption, std::uint64_t done, std::uint64_t total) {
  // One update per permille step is plenty for the bar.
  const std::uint64_t permille = total == 0 ? 0 : std::min(done, total) * 1000 / total;
  if (permille != lastPermille_) {
    lastPermille_ = permille;
    ConversionProgressWindow* window = window_;
    std::atomic<bool>* cancel = &cancel_;
    const QString text = QString::fromStdString(caption);
    QMetaObject::invokeMethod(
        context_,
        [window, cancel, text, permille] {
          window->showProgress(text, permille, 1000);
          if (window->cancelled()) *cancel = true;
        },
        Qt::QueuedConnection);
  }
  return !cancel_.load();
}

}  // namespace recdesk::gui
