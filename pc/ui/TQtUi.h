// The window toolkit for the program: the application object of the toolkit on the
// X11 (xcb) platform (under Wayland through XWayland, since the editor is an X11
// window), its event loop as the program's loop, and the services that the model
// side reaches through installed interfaces: the frame windows, the message boxes,
// the file dialogs, and the computer keyboard of the frames. Made by the platform's
// installation step when the program runs with a display.
//
// Threading: create and destroy on the main thread (the user-interface thread),
// after the settings and before the application object; destroy it after the
// application object is gone.
#pragma once
#include <memory>
#include <string>

class IEventLoop;
class QApplication;
class TQtEventLoop;
class TQtFrameFactory;
class TQtMessagePresenter;
class TQtFileDialogPresenter;
class TQtKeyboard;
class IFrameFactory;
class IMessagePresenter;
class IFileDialogPresenter;

class TQtUi {
public:
  struct TOptions {
    // The toolkit's platform plug-in: "xcb" for the program, "offscreen" for tests.
    std::string platform = "xcb";
  };

  // Null when the display cannot be opened; error tells why.
  static std::unique_ptr<TQtUi> Create(const TOptions& options, std::string& error);
  // Whether an X11 display can be opened (DISPLAY set and a server answering).
  static bool CanOpenDisplay(std::string& error);
  ~TQtUi();
  TQtUi(const TQtUi&) = delete;
  TQtUi& operator=(const TQtUi&) = delete;

  IEventLoop& GetLoop();
  TQtKeyboard& GetKeyboard() { return *keyboard; }

private:
  explicit TQtUi(const TOptions& options);
  void UseDetectableAutoRepeat();

  std::unique_ptr<QApplication> application;
  std::unique_ptr<TQtEventLoop> loop;
  std::unique_ptr<TQtFrameFactory> frames;
  std::unique_ptr<TQtMessagePresenter> messages;
  std::unique_ptr<TQtFileDialogPresenter> dialogs;
  std::unique_ptr<TQtKeyboard> keyboard;
  IFrameFactory* oldFrames = nullptr;
  IMessagePresenter* oldMessages = nullptr;
  IFileDialogPresenter* oldDialogs = nullptr;
};
