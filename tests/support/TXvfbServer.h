// An Xvfb server of the test's own, on a display number that Xvfb itself finds
// free (-displayfd), stopped when the object goes.
#pragma once
#include <string>
#include <sys/types.h>

class TXvfbServer {
public:
  TXvfbServer() = default;
  ~TXvfbServer();
  TXvfbServer(const TXvfbServer&) = delete;
  TXvfbServer& operator=(const TXvfbServer&) = delete;

  // Starts the server and waits until it accepts clients (at most timeoutMs).
  bool Start(int timeoutMs = 10000);
  void Stop();
  // ":<n>", for DISPLAY.
  const std::string& Display() const { return display; }
  const std::string& Error() const { return error; }

private:
  pid_t pid = -1;
  std::string display;
  std::string error;
};
