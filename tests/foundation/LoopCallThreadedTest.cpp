// Work handed to the user-interface thread from other threads (how a device thread
// shows a message box and gets its answer), on the headless loop; and the threads
// that must not wait for a message box.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "foundation/ScriptedPresenter.h"
#include "pc/foundation/LoopCall.h"
#include "pc/foundation/TEventLoop.h"

namespace {
using namespace std::chrono;

TEST(LoopCall, CallersOnOtherThreadsWaitForTheirWorkOnTheLoopsThread) {
  TEventLoop loop;
  const std::thread::id uiThread = std::this_thread::get_id();
  std::atomic<int> done{0};
  std::atomic<int> wrongThread{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([&] {
      for (int i = 0; i < 25; ++i) {
        int answer = 0;
        EXPECT_TRUE(CallOnLoopThread(loop, [&] {
          if (std::this_thread::get_id() != uiThread) ++wrongThread;
          answer = 42;
        }));
        EXPECT_EQ(answer, 42) << "the work has run when the call returns";
      }
      if (++done == 4) loop.PostQuit(0);
    });
  }
  EXPECT_EQ(loop.Run(), 0);
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(wrongThread.load(), 0);
  int here = 0;
  EXPECT_TRUE(CallOnLoopThread(loop, [&] { here = 1; })) << "on the loop's thread it runs at once";
  EXPECT_EQ(here, 1);
}

TEST(LoopCall, ACallerIsNotLeftWaitingWhenTheLoopQuitsBeforeItsWorkRan) {
  TEventLoop loop;
  std::atomic<bool> ran{false};
  std::atomic<int> answered{-1};
  std::thread caller([&] { answered = CallOnLoopThread(loop, [&] { ran = true; }) ? 1 : 0; });
  // The user-interface thread is busy elsewhere (joining threads at shutdown).
  std::this_thread::sleep_for(milliseconds(30));
  loop.PostQuit(0);
  caller.join();
  EXPECT_EQ(answered.load(), 0);
  loop.RunFor(0);
  EXPECT_FALSE(ran.load()) << "dropped work does not run later";
  std::thread late([&] { answered = CallOnLoopThread(loop, [] {}) ? 1 : 0; });
  late.join();
  EXPECT_EQ(answered.load(), 0) << "a loop that has quit takes nothing from other threads";
}

TEST(NoMessageScope, AThreadInsideItGetsTheHarmlessAnswerAndShowsNothing) {
  TScriptedPresenter presenter;
  presenter.answers = {EAnswer::Yes};
  std::atomic<int> result{-1};
  std::thread audio([&] {
    const TNoMessageScope scope;
    result = ShowMessage(TParamStr("Overload"), TParamStr("Thudra"), 2);
    ShowPlainMessage("plain", "caption");
  });
  audio.join();
  EXPECT_EQ(result.load(), ButtonNo);
  EXPECT_TRUE(presenter.shown.empty());
  EXPECT_TRUE(MayShowMessages()) << "other threads are not affected";
  EXPECT_EQ(ShowMessage(TParamStr("Now"), TParamStr("Thudra"), 2), ButtonYes);
}
}  // namespace
