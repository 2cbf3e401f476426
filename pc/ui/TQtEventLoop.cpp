#include "TQtEventLoop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>

#include "pc/foundation/TQuitSignals.h"

TQtEventLoop::TQtEventLoop() : loopThread(std::this_thread::get_id()), context(std::make_unique<QObject>()) {}

TQtEventLoop::~TQtEventLoop() {
  DetachFromTimers();
  timers.clear();
  {
    std::lock_guard<std::mutex> hold(postMutex);
    context.reset();
  }
  signalNotifier.reset();
  if (signalFd >= 0) {
    TQuitSignals::Release(signalFd);
    ::close(signalFd);
  }
}

int TQtEventLoop::Run() {
  if (!quitting.load()) {
    running.store(true);
    QCoreApplication::exec();
    running.store(false);
  }
  quitting.store(true);
  return quitCode.load();
}

void TQtEventLoop::PostQuit(int code) {
  quitCode.store(code);
  quitting.store(true);
  // exit only ends a loop that runs: a quit before Run is seen by Run itself, and one
  // posted while it runs ends it on its own thread.
  std::lock_guard<std::mutex> hold(postMutex);
  if (context) QMetaObject::invokeMethod(context.get(), [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
}

bool TQtEventLoop::PostTask(std::function<void()> task) {
  if (!task) return false;
  std::lock_guard<std::mutex> hold(postMutex);
  if (!context) return false;
  return QMetaObject::invokeMethod(context.get(), [work = std::move(task)] { work(); }, Qt::QueuedConnection);
}

void TQtEventLoop::QuitOnSignals() {
  if (signalFd < 0) {
    signalFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (signalFd < 0) return;
    signalNotifier = std::make_unique<QSocketNotifier>(signalFd, QSocketNotifier::Read);
    QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, context.get(), [this] { OnSignalWakeup(); });
  }
  TQuitSignals::Install(signalFd);
}

void TQtEventLoop::OnSignalWakeup() {
  uint64_t count = 0;
  while (::read(signalFd, &count, sizeof(count)) > 0) {
  }
  if (!TQuitSignals::IsInstalledFor(signalFd)) return;
  const int signal = TQuitSignals::Take();
  if (signal != 0) PostQuit(128 + signal);
}

bool TQtEventLoop::StartTimer(uint32_t id, uint32_t periodMilliseconds, IWindowTimerTarget& target) {
  if (periodMilliseconds == 0) return false;
  StopTimer(id);
  TTimer& timer = timers[id];
  timer.timer = std::make_unique<QTimer>();
  timer.timer->setSingleShot(true);
  timer.timer->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer.timer.get(), &QTimer::timeout, context.get(), [this, id] { OnTimeout(id); });
  timer.serial = nextSerial++;
  timer.period = std::chrono::milliseconds(periodMilliseconds);
  timer.deadline = TClock::now() + timer.period;
  timer.target = &target;
  Arm(timer);
  return true;
}

void TQtEventLoop::StopTimer(uint32_t id) {
  auto found = timers.find(id);
  if (found == timers.end()) return;
  // A timer stopped from its own tick is deleted once the tick has returned.
  found->second.timer->stop();
  found->second.timer.release()->deleteLater();
  timers.erase(found);
}

void TQtEventLoop::Arm(TTimer& timer) {
  // The toolkit's timers wake to the millisecond, a little late as often as not: they
  // wake the loop shortly before the deadline, and the tick sleeps the rest.
  const auto left = std::chrono::floor<std::chrono::milliseconds>(timer.deadline - TClock::now() - finalWait);
  timer.timer->start(static_cast<int>(std::max<int64_t>(0, left.count())));
}

void TQtEventLoop::OnTimeout(uint32_t id) {
  auto found = timers.find(id);
  if (found == timers.end()) return;
  TTimer& timer = found->second;
  const TClock::duration left = timer.deadline - TClock::now();
  if (left > finalWait) {
    Arm(timer);
    return;
  }
  if (left > TClock::duration::zero()) std::this_thread::sleep_until(timer.deadline);
  const uint64_t serial = timer.serial;
  timer.target->OnWindowTimer(id);
  // The next period starts when this tick is done (see IEventLoop).
  found = timers.find(id);
  if (found == timers.end() || found->second.serial != serial) return;
  found->second.deadline = TClock::now() + found->second.period;
  Arm(found->second);
}
