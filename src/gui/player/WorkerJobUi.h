#pragma once
// The user interface a long job (conversion, filter) talks to on its worker thread: its messages
// and its progress go to the GUI thread by queued calls (the progress window draws them there);
// the progress window's Cancel comes back through an atomic flag that the job reads.
#include <QObject>
#include <atomic>

#include "ports/UserInterface.h"

namespace recdesk::gui {

class ConversionProgressWindow;

class WorkerJobUi : public ports::UserInterface {
 public:
  // `context` (a GUI-thread object) must outlive the job; queued calls die with it.
  WorkerJobUi(QObject* context, ports::UserInterface& gui, ConversionProgressWindow* window, std::atomic<bool>& cancel)
      : context_(context), gui_(gui), window_(window), cancel_(cancel) {}
  ports::Answer message(const std::string& text, const std::string& caption, ports::Icon icon,
                        ports::Buttons buttons) override;
  bool progress(const std::string& caption, std::uint64_t done, std::uint64_t total) override;

 private:
  QObject* context_;
  ports::UserInterface& gui_;
  ConversionProgressWindow* window_;
  std::atomic<bool>& cancel_;
  std::uint64_t lastPermille_ = ~std::uint64_t{0};
};

}  // namespace recdesk::gui
