#include "TThread.h"

#include <chrono>
#include <system_error>

TThread::~TThread() {
  if (thread.joinable()) thread.join();
}

bool TThread::CreateThread() {
  if (thread.joinable()) return false;
  finished.store(false);
  exitCode.store(0);
  try {
    thread = std::thread([this] { Body(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void TThread::Body() {
  threadId.store(std::this_thread::get_id(), std::memory_order_release);
  running.store(true, std::memory_order_release);
  const int32_t code = Run();
  exitCode.store(code, std::memory_order_release);
  running.store(false, std::memory_order_release);
  std::lock_guard<std::mutex> hold(mutex);
  finished.store(true);
  changed.notify_all();
}

bool TThread::Wait(int32_t milliseconds) {
  if (!thread.joinable()) return true;
  if (thread.get_id() == std::this_thread::get_id()) return false;
  {
    std::unique_lock<std::mutex> hold(mutex);
    auto ended = [this] { return finished.load(); };
    if (milliseconds < 0)
      changed.wait(hold, ended);
    else if (!changed.wait_for(hold, std::chrono::milliseconds(milliseconds), ended))
      return false;
  }
  thread.join();
  threadId.store(std::thread::id(), std::memory_order_release);
  return true;
}

bool TThread::SetPriority(EThreadPriority priority) {
  // The thread itself must not read `thread`: its creator may still be assigning it.
  if (threadId.load(std::memory_order_acquire) == std::this_thread::get_id())
    return GetThreadScheduler().SetCurrentThreadPriority(priority);
  if (!thread.joinable() || finished.load()) return false;
  return GetThreadScheduler().SetThreadPriority(thread.native_handle(), priority);
}

bool TThread::PostThreadMessage(uint32_t message, intptr_t param1, intptr_t param2) {
  std::lock_guard<std::mutex> hold(mutex);
  if (messages.size() >= maxMessages) return false;
  messages.push_back({message, param1, param2});
  changed.notify_all();
  return true;
}

bool TThread::GetThreadMessage(TThreadMessage& message, int32_t milliseconds) {
  std::unique_lock<std::mutex> hold(mutex);
  auto arrived = [this] { return !messages.empty(); };
  if (milliseconds < 0)
    changed.wait(hold, arrived);
  else if (!changed.wait_for(hold, std::chrono::milliseconds(milliseconds), arrived))
    return false;
  message = messages.front();
  messages.pop_front();
  return true;
}
