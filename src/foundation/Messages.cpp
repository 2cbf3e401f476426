#include "Messages.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "ConsolePresenter.h"

namespace Msg {
TParamStr outOfMemoryString("TStr: Out of Memory !!!");
TParamStr outOfMemory("Out of Memory !!!");
TParamStr outOfMemoryConstruct("Out of Memory ! I'm so sorry, but there's nothing more I can do now.");
TParamStr memoryLow("Memory is low. Cannot finish operation!");
TParamStr systemError("$1");
}  // namespace Msg

namespace {
TConsolePresenter consolePresenter;
std::atomic<IMessagePresenter*> presenter{nullptr};
TStr& ErrorCaption() {
  static TStr caption("Thudra");
  return caption;
}

// Only the thread that raises an error touches these, so each thread has its own:
// a worker thread's destructor never races with the user-interface thread's error.
thread_local TParamStr* pendingError = nullptr;
thread_local int destructorDepth = 0;

uint32_t FlagsForKind(int kind) {
  switch (kind) {
    case 0: return MessageFlags::IconExclamation | MessageFlags::Ok;
    case 1: return MessageFlags::IconExclamation | MessageFlags::OkCancel;
    case 2: return MessageFlags::IconExclamation | MessageFlags::YesNo;
    case 3: return MessageFlags::IconExclamation | MessageFlags::YesNoCancel;
    default: return 0;
  }
}

int ButtonForAnswer(EAnswer answer) {
  switch (answer) {
    case EAnswer::Cancel: return ButtonCancel;
    case EAnswer::Yes: return ButtonYes;
    case EAnswer::No: return ButtonNo;
    default: return ButtonOk;
  }
}
}  // namespace

IMessagePresenter* SetMessagePresenter(IMessagePresenter* newPresenter) {
  IMessagePresenter* old = presenter.exchange(newPresenter);
  return old;
}

IMessagePresenter& GetMessagePresenter() {
  IMessagePresenter* current = presenter.load();
  return current ? *current : consolePresenter;
}

int ShowMessage(const TParamStr& text, const TParamStr& caption, int kind) {
  const uint32_t flags = MessageFlags::TaskModal | FlagsForKind(kind);
  return ButtonForAnswer(GetMessagePresenter().Present(text.GetText(), caption.GetText(), flags));
}

int ShowError(const TParamStr& text, int kind) { return ShowMessage(text, TParamStr(ErrorCaption()), kind); }

void ShowPlainMessage(const TStr& text, const TStr& caption) { GetMessagePresenter().Present(text, caption, 0); }

void SetErrorCaption(const TStr& caption) { ErrorCaption() = caption; }
const TStr& GetErrorCaption() { return ErrorCaption(); }

void ThrowError(TParamStr* message) {
  if (destructorDepth == 0) pendingError = message;
  throw EError(0);
}

void ThrowSystemError(int code) {
  if (destructorDepth == 0) {
    Msg::systemError.SetParam(1, TStr(std::strerror(code)));
    pendingError = &Msg::systemError;
  }
  throw EError(0);
}

void RethrowPending() {
  if (pendingError) ThrowError(pendingError);
}

TParamStr* GetPendingError() { return pendingError; }
void ClearPendingError() { pendingError = nullptr; }

int ShowPendingError(int kind) {
  TParamStr* message = pendingError;
  pendingError = nullptr;
  return message ? ShowError(*message, kind) : ButtonOk;
}

TOperationScope::TOperationScope() : savedDepth(destructorDepth), savedPending(pendingError) {
  destructorDepth = 0;
  pendingError = nullptr;
}

TOperationScope::~TOperationScope() {
  destructorDepth = savedDepth;
  pendingError = savedPending;
}

namespace {
std::atomic<IStatusPresenter*> statusPresenter{nullptr};
}  // namespace

IStatusPresenter* SetStatusPresenter(IStatusPresenter* newPresenter) { return statusPresenter.exchange(newPresenter); }

void ShowStatus(const TStr& text) {
  if (IStatusPresenter* current = statusPresenter.load()) {
    current->ShowStatus(text);
    return;
  }
  std::fprintf(stderr, "[%s] %s\n", ErrorCaption().Text(), text.Text());
  std::fflush(stderr);
}

TDestructorScope::TDestructorScope() { ++destructorDepth; }
TDestructorScope::~TDestructorScope() { --destructorDepth; }
int GetDestructorDepth() { return destructorDepth; }

void ShowOutOfMemory(EOutOfMemory form) {
  switch (form) {
    case EOutOfMemory::String: ShowError(Msg::outOfMemoryString, 0); break;
    case EOutOfMemory::Object: ShowError(Msg::outOfMemory, 0); break;
    case EOutOfMemory::Construct: ShowError(Msg::outOfMemoryConstruct, 0); break;
  }
}

void ThrowOutOfMemory() { ThrowError(&Msg::memoryLow); }

EAnswer TConsolePresenter::SafeAnswer(uint32_t flags) {
  switch (flags & MessageFlags::ButtonMask) {
    case MessageFlags::OkCancel: return EAnswer::Cancel;
    case MessageFlags::YesNo: return EAnswer::No;
    case MessageFlags::YesNoCancel: return EAnswer::Cancel;
    default: return EAnswer::Ok;
  }
}

EAnswer TConsolePresenter::Present(const TStr& text, const TStr& caption, uint32_t flags) {
  std::fprintf(stderr, "[%s] %s\n", caption.Text(), text.Text());
  std::fflush(stderr);
  return SafeAnswer(flags);
}
