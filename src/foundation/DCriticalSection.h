// The recursive lock behind ICriticalSection. Also usable with std::lock_guard and
// std::condition_variable_any (lock/unlock/try_lock).
#pragma once
#include <mutex>

#include "ICriticalSection.h"

class DCriticalSection : public TBase, public ICriticalSection {
public:
  DCriticalSection() = default;
  DCriticalSection(const DCriticalSection&) = delete;
  DCriticalSection& operator=(const DCriticalSection&) = delete;

  void Lock() override { mutex.lock(); }
  void Unlock() override { mutex.unlock(); }

  void lock() { mutex.lock(); }
  void unlock() { mutex.unlock(); }
  bool try_lock() { return mutex.try_lock(); }

private:
  std::recursive_mutex mutex;
};

// Holds a lock for the lifetime of the scope.
class TLockScope {
public:
  explicit TLockScope(ICriticalSection& lock) : lock(lock) { lock.Lock(); }
  ~TLockScope() { lock.Unlock(); }
  TLockScope(const TLockScope&) = delete;
  TLockScope& operator=(const TLockScope&) = delete;

private:
  ICriticalSection& lock;
};
