#include "TDesktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>

namespace {
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

std::string Quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
}  // namespace

TDesktop::~TDesktop() {
  if (display) XCloseDisplay(display);
  display = nullptr;
}

bool TDesktop::Start(std::string& error) {
  if (!xvfb.Start()) {
    error = xvfb.Error();
    return false;
  }
  display = XOpenDisplay(xvfb.Display().c_str());
  if (!display) {
    error = "cannot connect to " + xvfb.Display();
    return false;
  }
  // Windows of the program come and go while the test looks at them.
  XSetErrorHandler(IgnoreErrors);
  return true;
}

void TDesktop::StopServer() {
  if (display) XCloseDisplay(display);
  display = nullptr;
  xvfb.Stop();
}

std::vector<unsigned long> TDesktop::Children(unsigned long window) {
  std::vector<unsigned long> list;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  if (display && XQueryTree(display, window, &root, &parent, &children, &count)) {
    for (unsigned int i = 0; i < count; ++i) list.push_back(children[i]);
    if (children) XFree(children);
  }
  return list;
}

bool TDesktop::IsMapped(unsigned long window) {
  XWindowAttributes attributes;
  return display && XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

std::string TDesktop::Name(unsigned long window) {
  char* name = nullptr;
  std::string text;
  if (display && XFetchName(display, window, &name) && name) {
    text = name;
    XFree(name);
  }
  return text;
}

std::vector<unsigned long> TDesktop::WindowsNamed(const std::string& name) {
  std::vector<unsigned long> found;
  if (!display) return found;
  for (unsigned long window : Children(DefaultRootWindow(display)))
    if (IsMapped(window) && Name(window) == name) found.push_back(window);
  return found;
}

std::vector<unsigned long> TDesktop::TopLevelWindows() {
  std::vector<unsigned long> found;
  if (!display) return found;
  for (unsigned long window : Children(DefaultRootWindow(display)))
    if (IsMapped(window)) found.push_back(window);
  return found;
}

TDesktop::TRect TDesktop::Geometry(unsigned long window) {
  TRect rect;
  XWindowAttributes attributes;
  Window child = 0;
  if (display && XGetWindowAttributes(display, window, &attributes)) {
    XTranslateCoordinates(display, window, attributes.root, 0, 0, &rect.x, &rect.y, &child);
    rect.width = attributes.width;
    rect.height = attributes.height;
  }
  return rect;
}

std::vector<long> TDesktop::Property(unsigned long window, const std::string& name) {
  std::vector<long> values;
  if (!display) return values;
  const Atom atom = XInternAtom(display, name.c_str(), True);
  if (atom == None) return values;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, atom, 0, 1 << 20, False, AnyPropertyType, &type, &format, &count, &after,
                         &data) == Success &&
      data) {
    if (format == 32) {
      const long* longs = reinterpret_cast<const long*>(data);
      values.assign(longs, longs + count);
    }
    XFree(data);
  }
  return values;
}

bool TDesktop::SizeHints(unsigned long window, int& minWidth, int& minHeight, int& maxWidth, int& maxHeight) {
  XSizeHints hints{};
  long supplied = 0;
  if (!display || !XGetWMNormalHints(display, window, &hints, &supplied)) return false;
  if (!(hints.flags & PMinSize) || !(hints.flags & PMaxSize)) return false;
  minWidth = hints.min_width;
  minHeight = hints.min_height;
  maxWidth = hints.max_width;
  maxHeight = hints.max_height;
  return true;
}

void TDesktop::RequestClose(unsigned long window) {
  if (!display) return;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
}

bool TDesktop::Xdotool(const std::vector<std::string>& arguments, std::string* output) {
  std::string command = "DISPLAY=" + Quote(xvfb.Display()) + " xdotool";
  for (const std::string& word : arguments) command += " " + Quote(word);
  command += " 2>/dev/null";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  std::string text;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
  const int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool TDesktop::Keys(unsigned long window, const std::vector<std::string>& keys) {
  std::vector<std::string> arguments = {"windowfocus", "--sync", std::to_string(window), "key", "--delay", "30"};
  arguments.insert(arguments.end(), keys.begin(), keys.end());
  return Xdotool(arguments);
}

bool TDesktop::Grab(unsigned long window, TScreenImage& image, std::string& error) {
  return GrabWindow(xvfb.Display(), window, image, error);
}
