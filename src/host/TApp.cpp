#include "TApp.h"

#include "plughost/TVSTWnd.h"

namespace {
TApp* currentApp = nullptr;
TMenu* mainMenu = nullptr;
TVSTWnd* mainWindow = nullptr;
IAppPlatform* appPlatform = nullptr;
}  // namespace

TApp::TApp() : TTView("App") { currentApp = this; }

TApp::~TApp() {
  if (currentApp == this) currentApp = nullptr;
}

TApp* TApp::GetCurrent() { return currentApp; }
TMenu* TApp::GetMenu() { return mainMenu; }
void TApp::SetMenu(TMenu* menu) { mainMenu = menu; }
TVSTWnd* TApp::GetMainWindow() { return mainWindow; }
void TApp::SetMainWindow(TVSTWnd* window) { mainWindow = window; }
void TApp::SetPlatform(IAppPlatform* platform) { appPlatform = platform; }

void TApp::AddTimer(int32_t interval, TTimerCallback callback, void* context) {
  ::AddTimer(interval, callback, context);
}

void TApp::SetTitle(const TStr& text) {
  if (mainWindow) mainWindow->SetTitle(text);
}

void TApp::Quit(int32_t code) {
  if (appPlatform) appPlatform->PostQuit(code);
}

void TApp::NotifyPlugReplaced() {
  if (appPlatform) appPlatform->PlugReplaced();
}
