// What every host test starts from: settings in memory, a program folder of its own,
// the fake plug-in as the library to host, a MIDI port and an audio port that record,
// and message boxes that the test reads.
#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "FakePlugin.h"
#include "TestPorts.h"
#include "foundation/IRegistry.h"
#include "foundation/ScriptedFileDialogPresenter.h"
#include "foundation/ScriptedPresenter.h"
#include "foundation/TMemoryRegistry.h"
#include "host/KEnsemble.h"
#include "midi/MidiPortFactory.h"
#include "plughost/TVSTPlug.h"

class HostFixture : public ::testing::Test {
protected:
  void SetUp() override {
    previousBackend = SetRegistryBackend(&registry);
    IRegistry::Open("Thudra");
    folder = std::make_unique<TTempFolder>();
    files = std::make_unique<TTestFileSystem>(folder->Path());
    TFakePlugin::Get().Reset();
    TCallLog::Get().Clear();
    TVSTPlug::SetLibrary(TFakePlugin::path, true);
    TTestPort::Register(AudioPortMultiMedia, true);
  }

  void TearDown() override {
    TTestPort::Unregister(AudioPortMultiMedia);
    TTestPort::Unregister(AudioPortASIO);
    TVSTPlug::SetLibrary(TStr(), true);
    files.reset();
    folder.reset();
    SetRegistryBackend(previousBackend);
  }

  TMemoryRegistry::TValues& Settings() { return registry.Values("Software\\Velmora\\Thudra"); }
  std::string LastSessionPath() const { return folder->File("Last Session.tsn"); }

  TScriptedPresenter messages;
  TScriptedFileDialogPresenter dialogs;
  TFakeLoader loader;
  TMemoryRegistry registry;
  IRegistryBackend* previousBackend = nullptr;
  // The ensemble's ports: the test port's factory and the MIDI port that records.
  TEnsembleSources sources{&TTestPort::Factory(), &TRecordingMidi::Make};
  std::unique_ptr<TTempFolder> folder;
  std::unique_ptr<TTestFileSystem> files;
};
