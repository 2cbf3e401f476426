#include "TEventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

namespace {
// What the signal handler may touch: lock-free atomics only.
std::atomic<int> signalWakeFd{-1};
std::atomic<int> pendingSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnQuitSignal(int signal) {
  const int savedErrno = errno;
  pendingSignal.store(signal);
  const int fd = signalWakeFd.load();
  if (fd >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(fd, &one, sizeof(one));
  }
  errno = savedErrno;
}
}  // namespace

TEventLoop::TEventLoop() : wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TEventLoop::~TEventLoop() {
  if (service && service->GetWindowTimer() == this) service->SetWindowTimer(nullptr);
  int expected = wakeFd;
  signalWakeFd.compare_exchange_strong(expected, -1);
  if (wakeFd >= 0) ::close(wakeFd);
}

void TEventLoop::ServeTimers(TTimerDialog& timerService) {
  service = &timerService;
  timerService.SetWindowTimer(this);
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

void TEventLoop::QuitOnSignals() {
  signalWakeFd.store(wakeFd);
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void TEventLoop::CheckSignals() {
  if (signalWakeFd.load() != wakeFd) return;
  const int signal = pendingSignal.exchange(0);
  if (signal != 0) PostQuit(128 + signal);
}

bool TEventLoop::StartTimer(uint32_t id, uint32_t periodMilliseconds, IWindowTimerTarget& target) {
  if (periodMilliseconds == 0 || wakeFd < 0) return false;
  StopTimer(id);
  const std::chrono::milliseconds period(periodMilliseconds);
  timers.push_back({id, period, TClock::now() + period, &target});
  return true;
}

void TEventLoop::StopTimer(uint32_t id) {
  timers.erase(std::remove_if(timers.begin(), timers.end(), [id](const TTimer& t) { return t.id == id; }),
               timers.end());
}

void TEventLoop::RunDueTimers() {
  const TClock::time_point now = TClock::now();
  std::vector<uint32_t> due;
  for (const TTimer& timer : timers)
    if (timer.due <= now) due.push_back(timer.id);
  // A callback may start or stop timers: look each one up again.
  for (uint32_t id : due) {
    auto timer = std::find_if(timers.begin(), timers.end(), [id](const TTimer& t) { return t.id == id; });
    if (timer == timers.end() || timer->due > now) continue;
    // Like a window timer, a late timer fires once and does not catch up.
    timer->due += timer->period;
    if (timer->due <= now) timer->due = now + timer->period;
    IWindowTimerTarget* target = timer->target;
    target->OnWindowTimer(id);
  }
}

void TEventLoop::Dispatch(const TMessage& message) {
  if (message.task) {
    message.task();
    return;
  }
  if (message.message >= userMessage && handler) handler(message.message, message.param1, message.param2);
}

int TEventLoop::WaitMilliseconds(int32_t limit) const {
  int wait = limit;
  const TClock::time_point now = TClock::now();
  for (const TTimer& timer : timers) {
    const auto until = std::chrono::ceil<std::chrono::milliseconds>(timer.due - now).count();
    const int toTimer = until < 0 ? 0 : static_cast<int>(std::min<int64_t>(until, 60000));
    if (wait < 0 || toTimer < wait) wait = toTimer;
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

    int32_t limit = -1;
    if (milliseconds >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - TClock::now()).count();
      if (left <= 0) return true;
      limit = static_cast<int32_t>(left);
    }
    {
      std::lock_guard<std::mutex> hold(mutex);
      if (!messages.empty()) continue;
    }
    pollfd wake{wakeFd, POLLIN, 0};
    const int ready = poll(&wake, wakeFd >= 0 ? 1 : 0, WaitMilliseconds(limit));
    if (ready > 0) DrainWakeups();
  }
}

int TEventLoop::Run() {
  while (RunFor(-1)) {
  }
  return quitCode.load();
}
