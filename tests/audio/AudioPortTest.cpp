// The port factory and its fall-back rules, the destruction that stores the port,
// the null port and the peak reads.
#include <gtest/gtest.h>

#include "HostFixture.h"
#include "audio/AudioPortFactory.h"
#include "audio/TNoAudio.h"
#include "host/KEnsemble.h"

namespace {
constexpr const char* mmMessage = "Error setting up MultiMedia audioport!";
constexpr const char* noPortMessage = "There is no audioport active.\nPlease select one in the System/Audio Port menu.";
constexpr const char* lastPortMessage = "Cannot open last used Audioport!";
constexpr const char* asioMessage =
    "ASIO drivers folder cannot be found in the Thudra folder anymore! No ASIO card support available now...";

class AudioPortTest : public HostFixture {
protected:
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& shown : messages.shown) texts.emplace_back(std::string_view(shown.text));
    return texts;
  }
};

TEST_F(AudioPortTest, TheStoredPortIsBuiltOrReplacedAsTheRulesSay) {
  struct TCase {
    const char* stored;      // nullptr: no value
    bool mmPrepares;
    bool asioRegistered;
    int32_t builtType;
    std::vector<std::string> texts;
  };
  const std::vector<TCase> cases = {
      {nullptr, true, false, AudioPortMultiMedia, {}},
      {"", true, false, AudioPortMultiMedia, {}},
      {"MultiMedia", true, false, AudioPortMultiMedia, {}},
      {nullptr, false, false, AudioPortNone, {mmMessage, noPortMessage}},
      {"OrbBoard", true, false, AudioPortMultiMedia, {lastPortMessage}},
      {"ActiveMovie", false, false, AudioPortMultiMedia, {lastPortMessage}},  // not prepared again
      {"ASIO", false, false, AudioPortMultiMedia, {asioMessage}},
      {"ASIO", true, true, AudioPortASIO, {}},
      {"asio", true, true, AudioPortNone, {noPortMessage}},  // names compare exactly
      {"Something", true, false, AudioPortNone, {noPortMessage}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "(none)");
    messages.shown.clear();
    IRegistry::DeleteValue("AudioPort");
    if (c.stored) IRegistry::SetString("AudioPort", c.stored);
    TTestPort::Register(AudioPortMultiMedia, c.mmPrepares);
    if (c.asioRegistered) TTestPort::Register(AudioPortASIO, true);
    else TTestPort::Unregister(AudioPortASIO);
    IAudioInOut* port = TTestPort::Factory().CreatePort(AudioPortNone, nullptr);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->GetPortType(), c.builtType);
    EXPECT_EQ(Texts(), c.texts);
    TTestPort::Factory().DestroyPort(port);
  }
}

TEST_F(AudioPortTest, WithoutAnyPortKindTheNullPortIsBuiltAndTheSampleRateIs44100) {
  TTestPort::Unregister(AudioPortMultiMedia);
  KEnsemble ensemble(nullptr, sources);
  IAudioInOut* port = ensemble.GetAudioPort();
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->GetPortType(), AudioPortNone);
  EXPECT_NE(dynamic_cast<INoAudio*>(port), nullptr);
  EXPECT_EQ(port->IsAudioPort(), 0);
  EXPECT_EQ(port->GetOutputCount(), 2);
  EXPECT_FLOAT_EQ(ensemble.GetSampleRate(), 44100.0f);
  EXPECT_EQ(Texts(), (std::vector<std::string>{mmMessage, noPortMessage}));
  EXPECT_EQ(port->GetInputPeakLeft(), 0.0f);
  // The null port never asks the plug-in to process.
  port->Start();
  EXPECT_EQ(TFakePlugin::Get().ProcessCount(), 0);
}

TEST_F(AudioPortTest, AMenuChoiceIsPreparedLikeAStoredOne) {
  TTestPort::Register(AudioPortMultiMedia, false);
  IAudioInOut* asio = TTestPort::Factory().CreatePort(AudioPortASIO, nullptr);
  // No ASIO: the multimedia port, which is then built without a second check.
  EXPECT_EQ(asio->GetPortType(), AudioPortMultiMedia);
  EXPECT_EQ(Texts(), (std::vector<std::string>{asioMessage}));
  // The current port is a multimedia one: choosing it again needs no check.
  messages.shown.clear();
  IAudioInOut* again = TTestPort::Factory().CreatePort(AudioPortMultiMedia, nullptr);
  EXPECT_EQ(again->GetPortType(), AudioPortMultiMedia);
  EXPECT_TRUE(messages.shown.empty());
  TTestPort::Factory().DestroyPort(again);
  TTestPort::Factory().DestroyPort(asio);
}

TEST_F(AudioPortTest, DestructionStoresThePortNameAndAudioRunning) {
  IAudioInOut* port = TTestPort::Factory().CreatePort(AudioPortMultiMedia, nullptr);
  auto* test = dynamic_cast<TTestPort*>(port);
  ASSERT_NE(test, nullptr);
  EXPECT_EQ(test->enabledInputs, 0x1FFFEu);  // channels 1 to 16
  EXPECT_EQ(test->enabledOutputs, 0x1FFFEu);
  TTestPort::Factory().DestroyPort(port);
  EXPECT_EQ(IRegistry::GetString("AudioPort", "none"), "MultiMedia");
  EXPECT_EQ(IRegistry::GetString("AudioRunning", "none"), "No");

  IRegistry::SetString("AudioPort", "ASIO");
  IRegistry::DeleteValue("AudioRunning");
  TTestPort::Unregister(AudioPortMultiMedia);
  IAudioInOut* none = TTestPort::Factory().CreatePort(AudioPortNone, nullptr);  // no ASIO, no multimedia: the null port
  ASSERT_EQ(none->GetPortType(), AudioPortNone);
  TTestPort::Factory().DestroyPort(none);
  EXPECT_EQ(IRegistry::GetString("AudioPort", "none"), "ASIO");  // unchanged
  EXPECT_EQ(IRegistry::GetString("AudioRunning", "none"), "No");
}

TEST_F(AudioPortTest, APeakReadAnswersTheLargerSwingAndResets) {
  TTestPort port(nullptr);
  port.SetInputPeaks(-0.49f, 0.245f);
  EXPECT_FLOAT_EQ(port.GetInputPeakLeft(), 0.49f);
  EXPECT_FLOAT_EQ(port.GetInputPeakLeft(), 0.0f);
  port.SetInputPeaks(-0.1f, 0.3f);
  EXPECT_FLOAT_EQ(port.GetInputPeakLeft(), 0.3f);
  EXPECT_FLOAT_EQ(port.GetInputPeakRight(), 0.0f);
}

TEST_F(AudioPortTest, NamesAndTypesMapBothWays) {
  const char* names[] = {"", "OrbBoard", "AudioWerk", "MultiMedia", "ActiveMovie", "MacAudio", "", "MacDTDM", "ASIO", "MacMAS"};
  for (int32_t type = 0; type < 10; ++type) {
    EXPECT_STREQ(TAudioPortFactory::PortName(type), names[type]);
    if (*names[type]) {
      EXPECT_EQ(TAudioPortFactory::TypeFromName(names[type]), type);
    }
  }
  EXPECT_EQ(TAudioPortFactory::TypeFromName(""), AudioPortMultiMedia);
  EXPECT_EQ(TAudioPortFactory::TypeFromName("multimedia"), AudioPortNone);
  EXPECT_STREQ(TAudioPortFactory::PortName(42), "");
}
}  // namespace
