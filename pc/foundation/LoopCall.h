// Runs a piece of work on the thread of an event loop and waits for it: how a thread
// other than the user-interface thread shows a message box or a dialog and gets its
// answer.
//
// Threading: from any thread. On the loop's own thread the work runs at once. From
// another thread the work is posted and the caller waits until it has run; when the
// loop quits (or has quit) before the work started, the work is dropped and the
// answer is false, so that a thread that the user-interface thread is about to join
// is never left waiting. Do not call it on a thread that must not wait (the audio
// thread).
#pragma once
#include <functional>

#include "IEventLoop.h"

bool CallOnLoopThread(IEventLoop& loop, const std::function<void()>& work);
