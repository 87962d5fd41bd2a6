#pragma once
// The progress window of a long job (conversion, filter): caption, bar and a Cancel button. It is
// modeless; the job asks cancelled() between its steps.
#include <QDialog>
#include <cstdint>

class QLabel;
class QProgressBar;

namespace recdesk::gui {

class ConversionProgressWindow : public QDialog {
  Q_OBJECT
 public:
  explicit ConversionProgressWindow(QWidget* parent = nullptr);
  void showProgress(const QString& caption, std::uint64_t done, std::uint64_t total);
  bool cancelled() const { return cancelled_; }
  // Escape and the close box ask to cancel as the button does.
  void reject() override { cancelled_ = true; }
  // The job ended: hide, and forget the cancel request.
  void finish();

 private:
  QLabel* caption_;
  QProgressBar* bar_;
  bool cancelled_ = false;
};

}  // namespace recdesk::gui
