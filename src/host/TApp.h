// The model-side application: the process-wide application pointer, the main menu
// and the main window, and what the host asks of the platform's application object.
#pragma once
#include <cstdint>

#include "foundation/TTView.h"
#include "foundation/TTimerDialog.h"

class IFrameWnd;
class TMenu;
class TVSTWnd;

class IApp : public virtual IBase {
public:
  // The ensemble exists, holds a plug-in, and the plug-in is loaded.
  virtual bool IsReady() = 0;
  // A periodic callback of the timer service; interval in milliseconds.
  virtual void AddTimer(int32_t interval, TTimerCallback callback, void* context) = 0;
  virtual void AppHook1() = 0;
  virtual void AppHook2() = 0;
  virtual void AppHook3() = 0;
};

// The platform's application object as the model sees it.
class IAppPlatform {
public:
  virtual ~IAppPlatform() = default;
  // Posts the quit message (0x12): the message loop ends with code.
  virtual void PostQuit(int32_t code) = 0;
  // The plug-in object was replaced (its editor window with it): the main window is
  // set up again on the new one.
  virtual void PlugReplaced() = 0;
};

class TApp : public TTView, public virtual IApp {
public:
  static constexpr uint32_t quitMessage = 0x12;

  TApp();
  ~TApp() override;

  // The current application (set by the constructor), the main menu object and the
  // main window (the editor window, whose frame is the program's main window).
  static TApp* GetCurrent();
  static TMenu* GetMenu();
  static void SetMenu(TMenu* menu);
  static TVSTWnd* GetMainWindow();
  static void SetMainWindow(TVSTWnd* window);
  static void SetPlatform(IAppPlatform* platform);

  void AddTimer(int32_t interval, TTimerCallback callback, void* context) override;
  void AppHook1() override {}
  void AppHook2() override {}
  void AppHook3() override {}

  void SetMenuId(int32_t id) { menuId = id; }
  int32_t GetMenuId() const { return menuId; }
  // The main window's text.
  void SetTitle(const TStr& text);
  // Posts the quit message; code 0 unless a start-up failure asks for another.
  void Quit(int32_t code = 0);
  // Tells the platform that the plug-in object was replaced.
  static void NotifyPlugReplaced();

private:
  int32_t menuId = 0;
};
