#include <atomic>
#include <cstdio>

#include "ConsoleFileDialogPresenter.h"

namespace {
TConsoleFileDialogPresenter consoleDialogs;
std::atomic<IFileDialogPresenter*> installed{nullptr};

const char* KindName(EFileDialog kind) {
  switch (kind) {
    case EFileDialog::Open: return "Open";
    case EFileDialog::Save: return "Save";
    default: return "Folder";
  }
}
}  // namespace

IFileDialogPresenter* SetFileDialogPresenter(IFileDialogPresenter* presenter) { return installed.exchange(presenter); }

IFileDialogPresenter& GetFileDialogPresenter() {
  IFileDialogPresenter* current = installed.load();
  return current ? *current : consoleDialogs;
}

bool TConsoleFileDialogPresenter::Present(const TFileDialogRequest& request, TStr& chosen) {
  if (paths.empty()) {
    std::fprintf(stderr, "[%s] %s: cancelled (no path given)\n", KindName(request.kind), request.title.Text());
    return false;
  }
  chosen = paths.front();
  paths.pop_front();
  std::fprintf(stderr, "[%s] %s: %s\n", KindName(request.kind), request.title.Text(), chosen.Text());
  return true;
}
