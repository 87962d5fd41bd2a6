#pragma once
// The Convert command of the main window: the user picks one or more IM2 recordings; each is
// converted to WAV in the decode folder on a worker thread while the progress window keeps
// drawing and its Cancel button stops the conversion under way (the parts written stay complete
// WAV files). Replacing an earlier WAV file is asked first, on the GUI thread. At the end the
// first part of the last conversion opens in the player.
//
// The download's automatic conversion of each completed recording runs here too, on the same
// worker, so that the window keeps drawing and the session keeps its keep-alive going meanwhile;
// its outcome goes back to the download on the GUI thread.
#include <QObject>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "audio/Im2Converter.h"
#include "operations/Download.h"

class QWidget;

namespace recdesk::gui {

class ConversionProgressWindow;
class GuiSession;
class WorkerJobUi;

class ConvertController : public QObject {
  Q_OBJECT
 public:
  ConvertController(GuiSession& session, QWidget* window);
  ~ConvertController() override;

  // The Convert command; false for any other command.
  bool handle(int command);
  // Converts `sources` one after another (the command's files, or a test's).
  void convert(const std::vector<std::string>& sources);
  // The download's conversion of a completed recording (replacing an earlier decoding was asked
  // by the download): after the conversion under way, if any; `done` runs on the GUI thread.
  void convertDownloaded(const operations::RecordingFiles& files, operations::ConversionDone done);
  bool busy() const { return running_ || !queue_.empty() || !ready_.empty(); }
  ConversionProgressWindow* progressWindow() const { return progress_; }

  // Before a conversion (the player lets go of the files) and with the first WAV part of the last
  // one that wrote any.
  std::function<void()> beforeConversion;
  std::function<void(const std::string& wavPath)> afterConversion;
  // Each conversion's result, on the GUI thread (tests).
  std::function<void(const audio::ConvertResult& result)> onResult;

 private:
  // One conversion; `done` set: the download's.
  struct Job {
    std::string source;
    std::string wav;
    operations::ConversionDone done;
  };
  void next();
  void start(Job job);
  void finished(audio::ConvertResult result);
  std::string wavPathFor(const std::string& source) const;

  GuiSession& session_;
  QWidget* window_;
  ConversionProgressWindow* progress_;
  std::deque<std::string> queue_;  // the command's files still to convert
  std::deque<Job> ready_;          // conversions waiting for the one under way
  operations::ConversionDone done_;  // the download's, while its conversion runs
  std::thread worker_;
  std::unique_ptr<WorkerJobUi> workerUi_;
  std::atomic<bool> cancel_{false};
  bool running_ = false;
  std::string lastWav_;
};

}  // namespace recdesk::gui
