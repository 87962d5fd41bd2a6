#include "platform/QtEventLoop.h"

#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

namespace recdesk::gui {

namespace {

// A call the reader thread waits for; shared so that either side may go first.
struct Invocation {
  std::function<void()> call;
  std::mutex mutex;
  std::condition_variable doneSignal;
  bool done = false;
  void finish() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
    }
    doneSignal.notify_all();
  }
};

}  // namespace

struct QtEventLoop::Impl {
  QObject context;  // lives on the GUI thread; queued calls run there and die with it
  QThread* owner = QThread::currentThread();
  std::function<void(int)> timerHandler;
  std::map<int, QTimer*> timers;  // children of `context`; kept once made, so a handler may stop its own

  std::mutex mutex;
  std::deque<std::shared_ptr<Invocation>> invocations;
  bool shuttingDown = false;

  QTimer* timer(int id) {
    auto it = timers.find(id);
    if (it != timers.end()) return it->second;
    auto* t = new QTimer(&context);
    t->setTimerType(Qt::PreciseTimer);
    QObject::connect(t, &QTimer::timeout, &context, [this, id] {
      if (timerHandler) timerHandler(id);
    });
    timers.emplace(id, t);
    return t;
  }

  std::size_t drain() {
    std::size_t count = 0;
    for (;;) {
      std::shared_ptr<Invocation> next;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (invocations.empty()) break;
        next = std::move(invocations.front());
        invocations.pop_front();
      }
      struct Finish {
        Invocation& i;
        ~Finish() { i.finish(); }
      } finisher{*next};
      next->call();
      ++count;
    }
    return count;
  }
};

QtEventLoop::QtEventLoop() : impl_(std::make_unique<Impl>()) {}

QtEventLoop::~QtEventLoop() {
  std::deque<std::shared_ptr<Invocation>> abandoned;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->shuttingDown = true;
    abandoned.swap(impl_->invocations);
  }
  // Threads still waiting are released without their call.
  for (auto& i : abandoned) i->finish();
}

void QtEventLoop::setTimerHandler(std::function<void(int)> handler) { impl_->timerHandler = std::move(handler); }

void QtEventLoop::startTimer(int timerId, ports::Millis period) {
  const auto ms = std::max<long long>(1, period.count());
  impl_->timer(timerId)->start(static_cast<int>(std::min<long long>(ms, 24LL * 3600 * 1000)));
}

void QtEventLoop::stopTimer(int timerId) {
  if (auto it = impl_->timers.find(timerId); it != impl_->timers.end()) it->second->stop();
}

bool QtEventLoop::timerActive(int timerId) const {
  auto it = impl_->timers.find(timerId);
  return it != impl_->timers.end() && it->second->isActive();
}

ports::Clock::time_point QtEventLoop::now() const { return ports::Clock::now(); }

void QtEventLoop::post(std::function<void()> call) {
  if (!call) return;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->shuttingDown) return;
  }
  QMetaObject::invokeMethod(&impl_->context, std::move(call), Qt::QueuedConnection);
}

void QtEventLoop::invokeBlocking(std::function<void()> call) {
  if (!call) return;
  if (QThread::currentThread() == impl_->owner) {
    call();
    return;
  }
  auto invocation = std::make_shared<Invocation>();
  invocation->call = std::move(call);
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->shuttingDown) return;
    impl_->invocations.push_back(invocation);
  }
  // Wake the GUI thread to drain the queue; the wake-up may find it already drained.
  Impl* impl = impl_.get();
  QMetaObject::invokeMethod(&impl_->context, [impl] { impl->drain(); }, Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(invocation->mutex);
  invocation->doneSignal.wait(lock, [&] { return invocation->done; });
}

std::size_t QtEventLoop::runPendingInvocations() { return impl_->drain(); }

}  // namespace recdesk::gui
