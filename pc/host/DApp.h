// The application object of this platform, headless: an event loop that runs the
// timer service and posted messages, the console for message boxes, and a frame
// without pixels as the main window. SIGINT and SIGTERM post the quit message.
#pragma once
#include <atomic>
#include <cstdint>

#include "foundation/DCriticalSection.h"
#include "foundation/TTimerDialog.h"
#include "host/KEnsemble.h"
#include "host/TApp.h"
#include "pc/foundation/TEventLoop.h"

class THost;
class TMenu;
class TVSTWnd;

class DApp : public IAppPlatform {
public:
  // The client size of the host's own frame when the plug-in has no editor.
  static constexpr int32_t ownFrameWidth = 400;
  static constexpr int32_t ownFrameHeight = 300;
  static constexpr int32_t iconResource = 5003;
  static constexpr int32_t showNormal = 1;

  // sources: what the host's ensemble builds its ports from (the program's own by
  // default; tests and the offline renderer hand in theirs).
  explicit DApp(const TEnsembleSources& sources = {});
  // Under the application lock: releases the host, then the main menu.
  ~DApp() override;
  DApp(const DApp&) = delete;
  DApp& operator=(const DApp&) = delete;

  // Initialisation, the message loop, exit; answers the process's exit code (0, or
  // 1 after a fatal start-up failure; a signal ends it with 0).
  int Run();

  bool InitInstance();
  int ExitInstance();
  void PostQuit(int32_t code) override;
  void PlugReplaced() override;

  THost* GetHost() const { return host; }
  TVSTWnd* GetFrame() const { return frame; }
  TMenu* GetMenu() const { return menu; }
  TEventLoop& GetLoop() { return loop; }
  // True when the host made its own frame (the plug-in has no editor).
  bool HasOwnFrame() const { return ownWindow != nullptr; }

private:
  void SetUpMainWindow();
  // The editor's frame, or the host's own frame for a plug-in without editor.
  TVSTWnd* ChooseFrame();
  void PlaceAndShow();
  void Release();

  TVSTWnd* frame = nullptr;
  TVSTWnd* ownWindow = nullptr;
  int32_t showMode = 0;
  THost* host = nullptr;
  TMenu* menu = nullptr;
  TEventLoop loop;
  TEnsembleSources sources;
  // 1 once a fatal start-up failure asked for it; a later quit does not undo it.
  std::atomic<int32_t> exitCode{0};
  DCriticalSection lock;
  bool released = false;
};
