#include "AsioPortSupport.h"

#include <cstdlib>

#include "pc/host/TDlLibraryLoader.h"

void AsioPortFixture::SetUp() {
  previousBackend = SetRegistryBackend(&registry);
  IRegistry::Open("Thudra");
  TDlLibraryLoader::Install();
  TASIOLibrary::SetLibraryPath(TStr(THUDRA_PROGRAM_DIR "/VMASIO.dll"));
  TASIO::ForgetPreparation();
  GetTimerService().SetClock(&clock);
  GetTimerService().SetWindowTimer(&windowTimer);
  ::setenv("THUDRA_SIMULATED_ASIO", "all", 1);
  library = std::make_unique<TAsioTestLibrary>();
  ASSERT_TRUE(library->Loaded());
  Sim().setInterval(AsioSimulation::held);
}

void AsioPortFixture::TearDown() {
  ::unsetenv("THUDRA_SIMULATED_ASIO");
  TASIO::SetPanels(TASIOPanels{});
  GetTimerService().SetWindowTimer(nullptr);
  GetTimerService().SetClock(nullptr);
  TASIOLibrary::SetLibraryPath(TStr());
  SetRegistryBackend(previousBackend);
}

void AsioPortFixture::UseDrivers(const char* list, int32_t selected) {
  ::setenv("THUDRA_SIMULATED_ASIO", list, 1);
  Store("ASIO DriverIndex", selected);
}

TPortPtr AsioPortFixture::MakePort() { return TPortPtr(new TASIO(&ensemble)); }

TPortPtr AsioPortFixture::StartedPort(const char* list, int32_t selected) {
  UseDrivers(list, selected);
  TPortPtr port = MakePort();
  port->Start();
  return port;
}

void AsioPortFixture::Tick(int32_t milliseconds) {
  clock.ticks += milliseconds;
  GetTimerService().OnWindowTimer(TTimerDialog::windowTimerId);
}

std::vector<std::string> AsioPortFixture::Shown() const {
  std::vector<std::string> texts;
  for (const TStr& text : messages.Texts()) texts.emplace_back(std::string_view(text));
  return texts;
}

void* AsioPortFixture::LastHalf(int32_t record) const {
  TAsioBufferInfo records[Asio::maxChannels];
  int32_t frames = 0;
  const int32_t count = Sim().buffers(records, Asio::maxChannels, &frames);
  const int32_t half = Sim().lastHalf();
  if (record >= count || half < 0) return nullptr;
  return records[record].buffers[half];
}
