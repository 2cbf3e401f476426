// The program's message boxes, error raising and out-of-memory reports.
#pragma once
#include <cstdint>
#include <new>

#include "TParamStr.h"

// Platform message box flags, as the presenters receive them.
namespace MessageFlags {
constexpr uint32_t Ok = 0x0;
constexpr uint32_t OkCancel = 0x1;
constexpr uint32_t YesNoCancel = 0x3;
constexpr uint32_t YesNo = 0x4;
constexpr uint32_t ButtonMask = 0xF;
constexpr uint32_t IconExclamation = 0x30;
constexpr uint32_t TaskModal = 0x2000;
}  // namespace MessageFlags

enum class EAnswer { Ok, Cancel, Yes, No, Other };

// Results of ShowMessage.
enum EButton : int { ButtonOk = 0, ButtonCancel = 1, ButtonYes = 2, ButtonNo = 3 };

// Shows a message box and answers which button closed it. The platform side
// installs one (console, window toolkit); tests install a scripted one.
class IMessagePresenter {
public:
  virtual ~IMessagePresenter() = default;
  virtual EAnswer Present(const TStr& text, const TStr& caption, uint32_t flags) = 0;
};

// Installs the presenter used from now on (null restores the console presenter).
// Answers the one it replaced.
IMessagePresenter* SetMessagePresenter(IMessagePresenter* presenter);
IMessagePresenter& GetMessagePresenter();

// Kinds: 0 OK, 1 OK/Cancel, 2 Yes/No, 3 Yes/No/Cancel. Result: EButton.
int ShowMessage(const TParamStr& text, const TParamStr& caption, int kind);
int ShowError(const TParamStr& text, int kind = 0);
// A plain box without icon or task-modal flags (the settings store's complaint).
void ShowPlainMessage(const TStr& text, const TStr& caption);

// The caption of ShowError: the product title that the host gives.
void SetErrorCaption(const TStr& caption);
const TStr& GetErrorCaption();

// ---- Errors ---------------------------------------------------------------
// The error exception: a plain integer with the value 0. The message travels in
// the pending error message.
using EError = int;

[[noreturn]] void ThrowError(TParamStr* message);
[[noreturn]] void ThrowSystemError(int code);
void RethrowPending();
TParamStr* GetPendingError();
void ClearPendingError();
// Shows the pending error message (if any) with ShowError and clears it.
int ShowPendingError(int kind = 0);

// Destructor bodies run inside this scope, so that an error raised while an
// earlier error unwinds does not replace the first error's message.
class TDestructorScope {
public:
  TDestructorScope();
  ~TDestructorScope();
  TDestructorScope(const TDestructorScope&) = delete;
  TDestructorScope& operator=(const TDestructorScope&) = delete;
};
int GetDestructorDepth();

// An operation of its own that runs while destructors run (the session saved at
// shutdown): inside it errors store their messages as they do at depth 0, so that the
// operation can report its own failure; the surrounding depth and pending error come
// back when it ends.
class TOperationScope {
public:
  TOperationScope();
  ~TOperationScope();
  TOperationScope(const TOperationScope&) = delete;
  TOperationScope& operator=(const TOperationScope&) = delete;

private:
  int savedDepth;
  TParamStr* savedPending;
};

// Runs body as an operation of its own and shows the message of an error it raises.
template <class F>
void RunReportedOperation(F&& body) {
  TOperationScope scope;
  try {
    body();
  } catch (EError) {
    ShowPendingError(0);
  }
}

// Runs a destructor body that may raise the error exception. The error cannot
// leave a destructor in C++ without ending the process, so it stops here; the
// pending message of the first error is kept.
template <class F>
void RunDestructorBody(F&& body) noexcept {
  TDestructorScope scope;
  try {
    body();
  } catch (EError) {
  }
}

// ---- Status notes -----------------------------------------------------------
// Short notes for the user that need no answer and must not stop the playing (events
// dropped, device underruns). Without a window they go to standard error as
// "[caption] text"; the window shows them in its own way. Any thread but the audio
// thread; the caller keeps them rare (at most about one a second).
class IStatusPresenter {
public:
  virtual ~IStatusPresenter() = default;
  virtual void ShowStatus(const TStr& text) = 0;
};
// Installs the presenter used from now on (null: standard error). Answers the old one.
IStatusPresenter* SetStatusPresenter(IStatusPresenter* presenter);
void ShowStatus(const TStr& text);

// ---- Out of memory --------------------------------------------------------
enum class EOutOfMemory {
  String,      // "TStr: Out of Memory !!!"
  Object,      // "Out of Memory !!!"
  Construct,   // "Out of Memory ! I'm so sorry, ..."
};
void ShowOutOfMemory(EOutOfMemory form);
// Form 3: an object needed inside an operation could not be made.
[[noreturn]] void ThrowOutOfMemory();

// Form 2 in one place: makes a long-lived object, reports a failure and answers null.
template <class T, class... Args>
T* CreateOrReport(Args&&... args) {
  try {
    T* object = new (std::nothrow) T(static_cast<Args&&>(args)...);
    if (!object) ShowOutOfMemory(EOutOfMemory::Object);
    return object;
  } catch (...) {
    ShowOutOfMemory(EOutOfMemory::Construct);
    return nullptr;
  }
}

// Message templates of the foundation.
namespace Msg {
extern TParamStr outOfMemoryString;
extern TParamStr outOfMemory;
extern TParamStr outOfMemoryConstruct;
extern TParamStr memoryLow;
extern TParamStr systemError;
}  // namespace Msg
