// The host callback called from threads of the plug-in's own while the audio thread
// runs blocks: each answer is the same as on the main thread (version 1, the canDo
// strings, the vendor, a time record of the caller's own, 0 for the rest).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "HostFixture.h"
#include "host/KEnsemble.h"

namespace {
class HostCallbackThreadedTest : public HostFixture {};

TEST_F(HostCallbackThreadedTest, AnswersFromThePlugInsOwnThreadsAreTheUsualOnes) {
  auto ensemble = std::make_unique<KEnsemble>(nullptr, sources);
  TTestPort* port = TTestPort::Last();
  port->RunDeviceThread(true);
  port->SetBlockSize(64);
  port->Start();
  auto* plug = dynamic_cast<TVSTPlug*>(ensemble->GetPlug());
  ASSERT_NE(plug, nullptr);
  AEffect* effect = plug->GetEffect();
  audioMasterCallback host = TFakePlugin::Get().Host();
  std::atomic<int> wrong{0};
  auto caller = [&] {
    for (int i = 0; i < 2000; ++i) {
      if (host(effect, audioMasterVersion, 0, 0, nullptr, 0) != 1) ++wrong;
      if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0) != 1) ++wrong;
      if (host(effect, audioMasterCanDo, 0, 0, const_cast<char*>("sendVstTimeInfo"), 0) != 1) ++wrong;
      if (host(effect, audioMasterCanDo, 0, 0, const_cast<char*>("offline"), 0) != 0) ++wrong;
      char vendor[64] = {};
      host(effect, audioMasterGetVendorString, 0, 0, vendor, 0);
      if (std::strcmp(vendor, "Velmora") != 0) ++wrong;
      const auto* info = reinterpret_cast<const VstTimeInfo*>(host(effect, audioMasterGetTime, 0, 0, nullptr, 0));
      if (!info || info->timeSigNumerator != 4) ++wrong;
      if (host(nullptr, audioMasterGetTime, 0, 0, nullptr, 0) != 0) ++wrong;
      if (host(nullptr, audioMasterIdle, 0, 0, nullptr, 0) != 0) ++wrong;
      if (host(effect, 99, 0, 0, nullptr, 0) != 0) ++wrong;
    }
  };
  // Two threads of the plug-in's at once: each reads the time record it asked for.
  std::thread other(caller);
  std::thread another(caller);
  other.join();
  another.join();
  port->Stop();
  EXPECT_EQ(wrong.load(), 0);
  ensemble.reset();
}
}  // namespace
