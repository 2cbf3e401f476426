// SIGINT and SIGTERM as a request to quit: the handler only remembers the signal (a
// lock-free atomic) and writes to the wake-up descriptor of the loop that asked for
// them, which then posts its quit on its own thread. One loop at a time receives
// them: the last one that installed them.
#pragma once

class TQuitSignals {
public:
  // Installs the handlers; wakeFd is written (8 bytes, an eventfd count) on a signal.
  static void Install(int wakeFd);
  // Stops waking wakeFd if it is the one installed (the handlers stay).
  static void Release(int wakeFd);
  // True when wakeFd is the descriptor the handlers wake.
  static bool IsInstalledFor(int wakeFd);
  // The signal received since the last call, or 0.
  static int Take();
};
