// A gate between a thread that calls into the program (a driver's audio thread, the
// notification thread) and the thread that takes away what those calls use.
//
// The calling thread passes with Enter (no lock, no wait: it answers false when the
// gate is shut) and leaves with Leave. Shut closes the gate and returns once no
// thread is inside, so that what the calls used may then be freed; it must not be
// called from inside the gate. Open lets calls through again.
#pragma once
#include <atomic>
#include <thread>

class TAsioGate {
public:
  bool Enter() {
    inside.fetch_add(1, std::memory_order_seq_cst);
    if (open.load(std::memory_order_seq_cst)) return true;
    inside.fetch_sub(1, std::memory_order_release);
    return false;
  }
  void Leave() { inside.fetch_sub(1, std::memory_order_release); }
  void Open() { open.store(true, std::memory_order_seq_cst); }
  void Shut() {
    open.store(false, std::memory_order_seq_cst);
    while (inside.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
  }
  bool IsOpen() const { return open.load(std::memory_order_acquire); }

  // Enter and Leave for one scope.
  class TPass {
  public:
    explicit TPass(TAsioGate& gate) : gate(gate), entered(gate.Enter()) {}
    ~TPass() {
      if (entered) gate.Leave();
    }
    TPass(const TPass&) = delete;
    TPass& operator=(const TPass&) = delete;
    explicit operator bool() const { return entered; }

  private:
    TAsioGate& gate;
    bool entered;
  };

private:
  std::atomic<bool> open{false};
  std::atomic<int> inside{0};
};

// Whether the calling thread is one of the library's or a driver's own (the audio
// thread, the notification thread, JACK's threads). Operations called there only
// mark what is to be done.
bool OnLibraryThread();
// Marks the calling thread as one of the library's for the rest of its life.
void MarkLibraryThread();
// Marks it for one callback: JACK may call some callbacks on the caller's thread.
class TLibraryCallback {
public:
  TLibraryCallback();
  ~TLibraryCallback();
  TLibraryCallback(const TLibraryCallback&) = delete;
  TLibraryCallback& operator=(const TLibraryCallback&) = delete;

private:
  bool before;
};
