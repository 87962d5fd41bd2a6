#pragma once
// The WAV filter command: the filter dialog, then the run on a worker thread with the progress
// window and its Cancel; a completed output opens in the player.
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "audio/WavFilter.h"

class QWidget;

namespace recdesk::gui {

class ConversionProgressWindow;
class FilterDialog;
class GuiSession;
class WorkerJobUi;

class FilterController : public QObject {
  Q_OBJECT
 public:
  FilterController(GuiSession& session, QWidget* window, ConversionProgressWindow* progress);
  ~FilterController() override;

  // The filter command; false for any other command.
  bool handle(int command);
  // Runs the filter (the dialog's choice, or a test's).
  void run(const std::string& input, const std::string& output, int mode);
  bool busy() const { return running_; }
  FilterDialog* dialog() const { return dialog_; }

  // Before the run, with the files it reads and writes (the player lets go of them), and with a
  // completed output.
  std::function<void(const std::string& input, const std::string& output)> beforeRun;
  std::function<void(const std::string& output)> afterRun;
  std::function<void(audio::FilterResult result)> onResult;  // tests

 private:
  GuiSession& session_;
  QWidget* window_;
  ConversionProgressWindow* progress_;
  FilterDialog* dialog_ = nullptr;
  std::thread worker_;
  std::unique_ptr<WorkerJobUi> workerUi_;
  std::atomic<bool> cancel_{false};
  bool running_ = false;
};

}  // namespace recdesk::gui
