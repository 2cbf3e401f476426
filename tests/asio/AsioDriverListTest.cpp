// The library's entry table and its driver list, as the environment chooses it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "AsioTestSupport.h"

namespace {
class ScopedVariable {
public:
  explicit ScopedVariable(const char* value) {
    if (value)
      ::setenv("THUDRA_SIMULATED_ASIO", value, 1);
    else
      ::unsetenv("THUDRA_SIMULATED_ASIO");
  }
  ~ScopedVariable() { ::unsetenv("THUDRA_SIMULATED_ASIO"); }
};

const std::vector<std::string> dropped = {"ASIO Multimedia Driver", "ASIO DirectX Driver",
                                          "ASIO DirectX Full Duplex Driver"};
}  // namespace

TEST(AsioLibrary, AnswersTenOperationsInOrdinalOrder) {
  TAsioTestLibrary library;
  ASSERT_TRUE(library.Loaded());
  const TAsioOrdinals& ops = library.Ops();
  EXPECT_EQ(ops.count, 10);
  const void* entries[] = {reinterpret_cast<const void*>(ops.listDrivers),    reinterpret_cast<const void*>(ops.initDriver),
                           reinterpret_cast<const void*>(ops.exitDriver),     reinterpret_cast<const void*>(ops.createBuffers),
                           reinterpret_cast<const void*>(ops.disposeBuffers), reinterpret_cast<const void*>(ops.start),
                           reinterpret_cast<const void*>(ops.stop),           reinterpret_cast<const void*>(ops.outputReady),
                           reinterpret_cast<const void*>(ops.selectClock),    reinterpret_cast<const void*>(ops.controlPanel)};
  for (const void* entry : entries) EXPECT_NE(entry, nullptr);
}

TEST(AsioLibrary, ListsTheDriversTheEnvironmentNames) {
  TAsioTestLibrary library;
  ASSERT_TRUE(library.Loaded());
  struct TCase {
    const char* value;
    std::vector<std::string> expected;
  };
  const TCase cases[] = {
      {nullptr, {"JACK"}},
      {"", {"JACK"}},
      {"dropped", dropped},
      {"JACK, Simulated Int16 ,no such driver", {"JACK", "Simulated Int16"}},
      {"Simulated Reset,JACK", {"Simulated Reset", "JACK"}},
      {"nothing known", {}},
  };
  for (const TCase& c : cases) {
    ScopedVariable variable(c.value);
    EXPECT_EQ(library.Names(), c.expected) << (c.value ? c.value : "(unset)");
  }
}

TEST(AsioLibrary, ListsEverySimulatedDriverOnceWithinTheTable) {
  TAsioTestLibrary library;
  ASSERT_TRUE(library.Loaded());
  ScopedVariable variable("all,dropped,JACK,all");
  const std::vector<std::string> once = library.Names();
  ASSERT_EQ(once.size(), 22u);
  for (const std::string& name : dropped)
    EXPECT_EQ(std::count(once.begin(), once.end(), name), 1) << name;
  EXPECT_EQ(once[21], "JACK");
  for (const char* name : {"Simulated Float32", "Simulated Int16", "Simulated Int24", "Simulated Int32",
                           "Simulated Float64", "Simulated Int32 16-bit", "Simulated Int32 18-bit",
                           "Simulated Int32 20-bit", "Simulated Int32 24-bit", "Simulated Mixed Types",
                           "Simulated In Use", "Simulated Not Present", "Simulated Init Failure",
                           "Simulated Buffers Not Present", "Simulated Buffer Failure", "Simulated Start Failure",
                           "Simulated 16 Outputs", "Simulated Reset"})
    EXPECT_EQ(std::count(once.begin(), once.end(), name), 1) << name;
}

TEST(AsioLibrary, RefusesNamesItDoesNotListAndForeignRecords) {
  TAsioTestLibrary library;
  ASSERT_TRUE(library.Loaded());
  ScopedVariable variable("Simulated Float32");
  TAsioChannelInfo channels[Asio::maxChannels];
  TAsioDriverInfo info{};
  info.channels = channels;
  info.recordSize = sizeof info - 4;
  EXPECT_EQ(library.Ops().initDriver("Simulated Float32", 0, &info), Asio::initFailed) << "a record of another size";
  info.recordSize = sizeof info;
  EXPECT_EQ(library.Ops().initDriver("Simulated Int16", 0, &info), Asio::initFailed) << "not listed now";
  EXPECT_EQ(library.Ops().initDriver("JACK", 0, &info), Asio::initFailed) << "not listed now";
  EXPECT_EQ(library.Ops().initDriver(nullptr, 0, &info), Asio::initFailed);
  EXPECT_EQ(library.Ops().createBuffers(nullptr, 0, 256, nullptr, &info), Asio::invalidParameter);
  EXPECT_EQ(library.Ops().start(), Asio::notPresent) << "no driver loaded";
  EXPECT_EQ(library.Ops().selectClock(&info, 0), Asio::noClock);
  EXPECT_EQ(library.Ops().exitDriver(), Asio::ok);
}
