#pragma once
// The communications log window: the text of the log (kept by link::CommsLog) in a box with its
// context menu, beside the main window. Closing it only hides it; showing and hiding is reported so
// that the main window can set its menu's check mark and remember "Display". Open Log opens the
// file of the day, or says that nothing was logged today yet.
#include <QWidget>
#include <functional>

namespace recdesk::link {
class CommsLog;
}

namespace recdesk::gui {

class LogEdit;

class CommsLogWindow : public QWidget {
  Q_OBJECT
 public:
  CommsLogWindow(link::CommsLog& log, QWidget* parent = nullptr);
  ~CommsLogWindow() override;
  LogEdit* edit() const { return edit_; }
  void openLog();

 Q_SIGNALS:
  void visibilityChanged(bool shown);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void appended(const std::string& text, std::size_t erased);
  link::CommsLog& log_;
  LogEdit* edit_;
  std::size_t shownLength_ = 0;  // of the log's text as last shown
};

}  // namespace recdesk::gui
