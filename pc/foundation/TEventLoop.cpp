#include "TEventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "TQuitSignals.h"

TEventLoop::TEventLoop()
    : wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), loopThread(std::this_thread::get_id()) {}

TEventLoop::~TEventLoop() {
  DetachFromTimers();
  TQuitSignals::Release(wakeFd);
  if (wakeFd >= 0) ::close(wakeFd);
}

void TEventLoop::Wake() const {
  if (wakeFd < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t ignored = ::write(wakeFd, &one, sizeof(one));
}

void TEventLoop::DrainWakeups() const {
  uint64_t count = 0;
  while (wakeFd >= 0 && ::read(wakeFd, &count, sizeof(count)) > 0) {
  }
}

void TEventLoop::PostQuit(int code) {
  quitCode.store(code);
  quitting.store(true);
  Wake();
}

bool TEventLoop::PostMessage(uint32_t message, intptr_t param1, intptr_t param2) {
  if (message == quitMessage) {
    PostQuit(static_cast<int>(param1));
    return true;
  }
  {
    std::lock_guard<std::mutex> hold(mutex);
    messages.push_back({message, param1, param2, {}});
  }
  Wake();
  return true;
}

bool TEventLoop::PostTask(std::function<void()> task) {
  if (!task) return false;
  {
    std::lock_guard<std::mutex> hold(mutex);
    messages.push_back({0, 0, 0, std::move(task)});
  }
  Wake();
  return true;
}

void TEventLoop::SetMessageHandler(TMessageHandler newHandler) { handler = std::move(newHandler); }

void TEventLoop::QuitOnSignals() { TQuitSignals::Install(wakeFd); }

void TEventLoop::CheckSignals() {
  if (!TQuitSignals::IsInstalledFor(wakeFd)) return;
  const int signal = TQuitSignals::Take();
  if (signal != 0) PostQuit(128 + signal);
}

bool TEventLoop::StartTimer(uint32_t id, uint32_t periodMilliseconds, IWindowTimerTarget& target) {
  if (periodMilliseconds == 0 || wakeFd < 0) return false;
  StopTimer(id);
  const std::chrono::nanoseconds period = std::chrono::milliseconds(periodMilliseconds);
  timers.push_back({id, nextSerial++, period, TClock::now() + period, &target});
  return true;
}

void TEventLoop::StopTimer(uint32_t id) {
  timers.erase(std::remove_if(timers.begin(), timers.end(), [id](const TTimer& t) { return t.id == id; }),
               timers.end());
}

void TEventLoop::Fire(uint32_t id, TClock::time_point now) {
  auto find = [this, id] { return std::find_if(timers.begin(), timers.end(), [id](const TTimer& t) { return t.id == id; }); };
  auto timer = find();
  if (timer == timers.end() || timer->due > now) return;
  const uint64_t serial = timer->serial;
  IWindowTimerTarget* target = timer->target;
  target->OnWindowTimer(id);
  // The next period starts when this tick is done: whatever the target read from
  // the clock during the tick lies at least one period before the next one. A timer
  // that the target stopped or started again keeps what the target did.
  timer = find();
  if (timer != timers.end() && timer->serial == serial) timer->due = TClock::now() + timer->period;
}

void TEventLoop::RunDueTimers() {
  const TClock::time_point now = TClock::now();
  std::vector<uint32_t> due;
  for (const TTimer& timer : timers)
    if (timer.due <= now) due.push_back(timer.id);
  // A tick may start or stop timers: each one is looked up again.
  for (uint32_t id : due) Fire(id, now);
}

void TEventLoop::Dispatch(const TMessage& message) {
  if (message.task) {
    message.task();
    return;
  }
  if (message.message >= userMessage && handler) handler(message.message, message.param1, message.param2);
}

TEventLoop::TClock::duration TEventLoop::WaitTime(TClock::duration limit) const {
  TClock::duration wait = limit;
  const TClock::time_point now = TClock::now();
  for (const TTimer& timer : timers) {
    const TClock::duration toTimer = std::max(TClock::duration::zero(), timer.due - now);
    if (wait < TClock::duration::zero() || toTimer < wait) wait = toTimer;
  }
  return wait;
}

bool TEventLoop::RunFor(int32_t milliseconds) {
  const TClock::time_point end = TClock::now() + std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds);
  while (true) {
    CheckSignals();
    std::deque<TMessage> batch;
    {
      std::lock_guard<std::mutex> hold(mutex);
      batch.swap(messages);
    }
    for (const TMessage& message : batch) {
      if (quitting.load()) break;
      Dispatch(message);
    }
    if (quitting.load()) return false;
    RunDueTimers();
    if (quitting.load()) return false;

    TClock::duration limit = TClock::duration(-1);
    if (milliseconds >= 0) {
      limit = end - TClock::now();
      if (limit <= TClock::duration::zero()) return true;
    }
    {
      std::lock_guard<std::mutex> hold(mutex);
      if (!messages.empty()) continue;
    }
    // ppoll waits to the nanosecond and never returns before its timeout has passed;
    // a timer checks its deadline against the clock again anyway.
    const TClock::duration wait = WaitTime(limit);
    timespec timeout{};
    timespec* until = nullptr;
    if (wait >= TClock::duration::zero()) {
      const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
      timeout.tv_sec = static_cast<time_t>(nanoseconds / 1000000000);
      timeout.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
      until = &timeout;
    }
    pollfd wake{wakeFd, POLLIN, 0};
    const int ready = ppoll(&wake, wakeFd >= 0 ? 1 : 0, until, nullptr);
    if (ready > 0) DrainWakeups();
  }
}

int TEventLoop::Run() {
  while (RunFor(-1)) {
  }
  return quitCode.load();
}
