#include "TTimerDialog.h"

#include "Messages.h"

namespace Msg {
TParamStr noTimer("No timer available.");
TParamStr noTimerCaption("Fatal error");
}  // namespace Msg

namespace {
class TPerfCounterClock : public ITimerClock {
public:
  int64_t Read() override { return TPerfCounter::Now().GetTicks(); }
  int64_t Frequency() override { return TPerfCounter::Frequency(); }
};

TPerfCounterClock perfCounterClock;
}  // namespace

TTimerDialog::TTimerDialog(ITimerClock* clock, IWindowTimer* windowTimer)
    : clock(clock ? clock : &perfCounterClock), windowTimer(windowTimer) {
  ticksPerSecond = this->clock->Frequency();
}

TTimerDialog::~TTimerDialog() {
  RunDestructorBody([this] {
    StopWindowTimer();
    timers.DeleteAll();
  });
}

int32_t TTimerDialog::StepsFor(int32_t milliseconds) {
  const int64_t steps = (static_cast<int64_t>(milliseconds) + stepMilliseconds - 1) / stepMilliseconds;
  return static_cast<int32_t>(steps);
}

void TTimerDialog::SetClock(ITimerClock* newClock) {
  clock = newClock ? newClock : &perfCounterClock;
  ticksPerSecond = clock->Frequency();
  last = clock->Read();
}

void TTimerDialog::SetWindowTimer(IWindowTimer* newTimer) {
  if (newTimer == windowTimer) return;
  const bool wasRunning = timerId != 0;
  StopWindowTimer();
  windowTimer = newTimer;
  if (windowTimer && (wasRunning || GetTimerCount() > 0)) StartWindowTimer();
}

bool TTimerDialog::StartWindowTimer() {
  if (!windowTimer || !windowTimer->StartTimer(windowTimerId, stepMilliseconds, *this)) {
    ShowMessage(Msg::noTimer, Msg::noTimerCaption, 0);
    return false;
  }
  timerId = windowTimerId;
  last = clock->Read();
  return true;
}

void TTimerDialog::StopWindowTimer() {
  if (timerId == 0) return;
  if (windowTimer) windowTimer->StopTimer(timerId);
  timerId = 0;
}

void TTimerDialog::AddTimer(int32_t milliseconds, TTimerCallback callback, void* context) {
  auto* data = new TTimerData(StepsFor(milliseconds), callback, context);
  data->added = busy;
  if (timerId == 0) StartWindowTimer();
  timers.AddTail(data);
}

TTimerData* TTimerDialog::Find(TTimerCallback callback, void* context) const {
  for (TLink* link = timers.GetHead(); link; link = link->GetNext()) {
    auto* data = static_cast<TTimerData*>(link);
    if (!data->removed && data->callback == callback && data->context == context) return data;
  }
  return nullptr;
}

int32_t TTimerDialog::GetTimerCount() const {
  int32_t count = 0;
  for (TLink* link = timers.GetHead(); link; link = link->GetNext())
    if (!static_cast<TTimerData*>(link)->removed) ++count;
  return count;
}

void TTimerDialog::RemoveTimer(TTimerCallback callback, void* context) {
  TTimerData* data = Find(callback, context);
  if (!data) return;
  if (busy) {
    // The callbacks are being walked: release it after the walk.
    data->removed = true;
  } else {
    timers.Remove(data);
    data->Release();
  }
  if (GetTimerCount() == 0) StopWindowTimer();
}

void TTimerDialog::ReleaseRemoved() {
  TLink* link = timers.GetHead();
  while (link) {
    auto* data = static_cast<TTimerData*>(link);
    data->added = false;
    if (data->removed) {
      timers.RemoveForward(link);
      data->Release();
    } else {
      link = link->GetNext();
    }
  }
}

void TTimerDialog::OnWindowTimer(uint32_t) {
  now = clock->Read();
  const int64_t ticksPerStep = ticksPerSecond * stepMilliseconds / 1000;
  int64_t elapsed = ticksPerStep > 0 ? (now - last) / ticksPerStep : 0;
  if (elapsed != 0) last = now;
  if (elapsed < 0) elapsed = 0;  // a clock that went back counts no steps
  if (busy) return;
  busy = true;
  const int32_t steps = elapsed > INT32_MAX ? INT32_MAX : static_cast<int32_t>(elapsed);
  for (TLink* link = timers.GetHead(); link; link = link->GetNext()) {
    auto* data = static_cast<TTimerData*>(link);
    if (data->removed || data->added) continue;
    // countdown - steps < 1, without overflow.
    if (steps < data->countdown) {
      data->countdown -= steps;
      continue;
    }
    data->countdown = data->interval;
    if (data->callback(data->context) == 0 && !data->removed) {
      data->removed = true;
      if (GetTimerCount() == 0) StopWindowTimer();
    }
  }
  ReleaseRemoved();
  busy = false;
}

// Never destroyed, so that objects released during static destruction may still
// remove their registrations.
TTimerDialog& GetTimerService() {
  static TTimerDialog* service = new TTimerDialog;
  return *service;
}

void AddTimer(int32_t milliseconds, TTimerCallback callback, void* context) {
  GetTimerService().AddTimer(milliseconds, callback, context);
}

void RemoveTimer(TTimerCallback callback, void* context) { GetTimerService().RemoveTimer(callback, context); }
