#include "DApp.h"

#include <new>

#include "foundation/IRegistry.h"
#include "foundation/Messages.h"
#include "host/THost.h"
#include "host/TMenu.h"
#include "plughost/IVSTPlug.h"
#include "plughost/TVSTWnd.h"

DApp::DApp(const TEnsembleSources& ensembleSources) : sources(ensembleSources) {
  TApp::SetPlatform(this);
  loop.ServeTimers(GetTimerService());
}

DApp::~DApp() {
  Release();
  TApp::SetPlatform(nullptr);
}

void DApp::Release() {
  if (released) return;
  released = true;
  TLockScope scope(lock);
  TApp::SetMainWindow(nullptr);
  THost* oldHost = host;
  host = nullptr;
  frame = nullptr;
  ::Release(oldHost);
  TVSTWnd* window = ownWindow;
  ownWindow = nullptr;
  ::Release(window);
  TMenu* oldMenu = menu;
  menu = nullptr;
  TApp::SetMenu(nullptr);
  ::Release(oldMenu);
}

void DApp::PostQuit(int32_t code) {
  if (code != 0) exitCode.store(code);
  loop.PostQuit(code);
}

int DApp::Run() {
  loop.QuitOnSignals();
  InitInstance();
  loop.Run();
  ExitInstance();
  Release();
  // A signal (the loop's code 128 + its number) ends the program through the normal
  // shutdown, which is a success; only a fatal start-up failure answers 1.
  return exitCode.load() == 1 ? 1 : 0;
}

bool DApp::InitInstance() {
  showMode = showNormal;
  IRegistry::Open("Thudra");
  host = CreateOrReport<THost>(sources);
  if (!host || !host->IsReady()) {
    ShowError(Msg::couldNotInitialize, 0);
    PostQuit(1);
  }
  SetUpMainWindow();
  return true;
}

int DApp::ExitInstance() { return 0; }

TVSTWnd* DApp::ChooseFrame() {
  IVSTPlug* plug = host->GetEnsemble()->GetPlug();
  if (TVSTWnd* editor = plug ? plug->GetEditor() : nullptr) return editor;
  // A plug-in without editor still gets a window, its menu, audio and a clean
  // shutdown: the host's own frame of the same kind.
  if (!ownWindow) {
    ownWindow = CreateOrReport<TVSTWnd>(nullptr);
    if (ownWindow) ownWindow->SetPlacement({100, 100}, {0, 0, ownFrameWidth, ownFrameHeight});
  }
  return ownWindow;
}

void DApp::SetUpMainWindow() {
  if (!host || !host->IsReady()) return;
  frame = ChooseFrame();
  if (!frame || !frame->GetFrame()) return;
  TApp::SetMainWindow(frame);
  try {
    menu = TMenu::CreateMainMenu();
  } catch (const std::bad_alloc&) {
    ShowOutOfMemory(EOutOfMemory::Object);
  }
  TApp::SetMenu(menu);
  frame->GetFrame()->AttachMenu(menu);
  frame->SetPlacement({0, 0}, TArea());
  host->InitFrame();
  PlaceAndShow();
}

void DApp::PlaceAndShow() {
  IFrameWnd* window = frame->GetFrame();
  window->SetLargeIcon(iconResource);
  frame->SetTitle("Thudra");
  window->Show(showMode);
  window->Paint();
}

void DApp::PlugReplaced() {
  frame = nullptr;
  if (!host || !host->IsReady()) return;
  frame = ChooseFrame();
  if (!frame || !frame->GetFrame()) return;
  TApp::SetMainWindow(frame);
  frame->GetFrame()->AttachMenu(menu);
  frame->SetPlacement({0, 0}, TArea());
  PlaceAndShow();
}
