// A desktop of the test's own: an Xvfb server, the windows on it as a user (or a
// window manager) sees them, and input through xdotool, the way a user's keyboard
// and mouse reach the program.
#pragma once
#include <string>
#include <vector>

#include "TScreenshot.h"
#include "TXvfbServer.h"

typedef struct _XDisplay Display;

class TDesktop {
public:
  struct TRect {
    int x = 0, y = 0, width = 0, height = 0;  // x and y on the screen
    bool operator==(const TRect& o) const { return x == o.x && y == o.y && width == o.width && height == o.height; }
  };

  TDesktop() = default;
  ~TDesktop();
  TDesktop(const TDesktop&) = delete;
  TDesktop& operator=(const TDesktop&) = delete;

  // Starts the server and connects to it.
  bool Start(std::string& error);
  // Ends the server (the program's display goes away).
  void StopServer();
  const std::string& DisplayName() const { return xvfb.Display(); }

  // Mapped top-level windows whose name is name, in stacking order (top last).
  std::vector<unsigned long> WindowsNamed(const std::string& name);
  // Every mapped top-level window (popup menus too), in stacking order.
  std::vector<unsigned long> TopLevelWindows();
  std::vector<unsigned long> Children(unsigned long window);
  TRect Geometry(unsigned long window);
  std::string Name(unsigned long window);
  bool IsMapped(unsigned long window);
  // A 32-bit property (CARDINAL, ATOM or the Motif hints): its values, empty when unset.
  std::vector<long> Property(unsigned long window, const std::string& name);
  // The size hints: minimum and maximum size.
  bool SizeHints(unsigned long window, int& minWidth, int& minHeight, int& maxWidth, int& maxHeight);
  // What a window manager sends when the user clicks the close box.
  void RequestClose(unsigned long window);

  // Runs xdotool with arguments on this display; false when it fails.
  bool Xdotool(const std::vector<std::string>& arguments, std::string* output = nullptr);
  // Gives the keyboard to window and types the keys given (xdotool key syntax).
  bool Keys(unsigned long window, const std::vector<std::string>& keys);

  bool Grab(unsigned long window, TScreenImage& image, std::string& error);

private:
  TXvfbServer xvfb;
  Display* display = nullptr;
};
