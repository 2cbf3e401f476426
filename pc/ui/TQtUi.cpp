#include "TQtUi.h"

#include <QApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>

#include "TQtEventLoop.h"
#include "TQtFileDialogPresenter.h"
#include "TQtFrame.h"
#include "TQtKeyboard.h"
#include "TQtMessagePresenter.h"

// The X headers define names (Bool, Status) that the toolkit's headers use: last.
#include <X11/XKBlib.h>
#include <xcb/xcb.h>

namespace {
// The toolkit keeps pointers to these for the application's whole life.
int argumentCount = 1;
char programName[] = "thudra";
char* arguments[] = {programName, nullptr};
}  // namespace

bool TQtUi::CanOpenDisplay(std::string& error) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    error = "no DISPLAY";
    return false;
  }
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool ok = connection && xcb_connection_has_error(connection) == 0;
  if (connection) xcb_disconnect(connection);
  if (!ok) error = std::string("cannot open display ") + display;
  return ok;
}

std::unique_ptr<TQtUi> TQtUi::Create(const TOptions& options, std::string& error) {
  if (options.platform == "xcb" && !CanOpenDisplay(error)) return nullptr;
  return std::unique_ptr<TQtUi>(new TQtUi(options));
}

TQtUi::TQtUi(const TOptions& options) {
  setenv("QT_QPA_PLATFORM", options.platform.c_str(), 1);
  QApplication::setApplicationName(QStringLiteral("Thudra"));
  QApplication::setOrganizationName(QStringLiteral("Velmora"));
  application = std::make_unique<QApplication>(argumentCount, arguments);
  // The close box asks the host; the program ends through its own shutdown.
  QApplication::setQuitOnLastWindowClosed(false);
  UseDetectableAutoRepeat();
  loop = std::make_unique<TQtEventLoop>();
  frames = std::make_unique<TQtFrameFactory>();
  messages = std::make_unique<TQtMessagePresenter>(*loop);
  dialogs = std::make_unique<TQtFileDialogPresenter>(*loop);
  keyboard = std::make_unique<TQtKeyboard>();
  application->installEventFilter(keyboard.get());
  oldFrames = SetFrameFactory(frames.get());
  oldMessages = SetMessagePresenter(messages.get());
  oldDialogs = SetFileDialogPresenter(dialogs.get());
}

TQtUi::~TQtUi() {
  SetFileDialogPresenter(oldDialogs);
  SetMessagePresenter(oldMessages);
  SetFrameFactory(oldFrames);
  application->removeEventFilter(keyboard.get());
  keyboard.reset();
  dialogs.reset();
  messages.reset();
  loop.reset();
  frames.reset();
  application.reset();
}

IEventLoop& TQtUi::GetLoop() { return *loop; }

void TQtUi::UseDetectableAutoRepeat() {
  // A held key then repeats as presses only, without the release in between that
  // would make it look like a new stroke.
  auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
  Display* display = x11 ? x11->display() : nullptr;
  Bool supported = False;
  if (display) XkbSetDetectableAutoRepeat(display, True, &supported);
}
