#include "KEnsemble.h"

#include <thread>

#include "SessionFile.h"
#include "audio/IAudioInOut.h"
#include "audio/THDRecordingPrp.h"
#include "foundation/IRegistry.h"
#include "foundation/Messages.h"
#include "midi/TMidiClock.h"
#include "midi/TMidiFilePlayback.h"
#include "plughost/TVSTPlug.h"

KEnsemble::KEnsemble(IHost* owner, const TEnsembleSources& sources)
    : TShared("Ensemble"),
      host(owner),
      portFactory(sources.audioPorts ? sources.audioPorts : &TAudioPortFactory::Standard()),
      rateFactor("RateFactor"),
      sampleRate("SampleRate") {
  rateFactor.Set(1.0f, this);
  sampleRate.Set(defaultSampleRate, this);
  midiPort = sources.midiPort ? sources.midiPort(this) : CreateMidiPort(this);
  audioPort.store(portFactory->CreatePort(AudioPortNone, this), std::memory_order_release);
  if (!CreatePlug()) return;
  undoEnabled = static_cast<int32_t>(IRegistry::GetDword(undoEnabledValue, 0));
  undoMax = static_cast<int32_t>(IRegistry::GetDword(undoMaxValue, 20));
  rateFactor.AddObserver(this, &KEnsemble::OnOwnValueChanged, "RateFactor", false);
  sampleRate.AddObserver(this, &KEnsemble::OnOwnValueChanged, "SampleRate", false);
  subscribed = true;
  player.store(CreateOrReport<TMidiFilePlayback>(this), std::memory_order_seq_cst);
  SetClock(CreateOrReport<TMidiClock>());
  if (midiPort) midiPort->Start();
}

KEnsemble::~KEnsemble() {
  RunDestructorBody([this] {
    if (midiPort) midiPort->Stop();
    if (subscribed) {
      rateFactor.RemoveObserver(this);
      sampleRate.RemoveObserver(this);
      subscribed = false;
    }
    SetClock(nullptr);
    TMidiFilePlayback* oldPlayer = player.exchange(nullptr, std::memory_order_seq_cst);
    WaitForAudioBlock();
    delete oldPlayer;
    DestroyAudioPort();
    DestroyPlug();
    IMidiInOut* port = midiPort;
    midiPort = nullptr;
    ::Release(port);
  });
}

void KEnsemble::OnOwnValueChanged(TShared* source) {
  if (source == &sampleRate) TellClockSampleRate(sampleRate.Get());
}

// Deliveries are short.
void KEnsemble::WaitForNoDelivery() const {
  while (deliveries.load(std::memory_order_seq_cst) > 0) std::this_thread::yield();
}

// The audio thread marks a block busy before it looks at the plug-in, the clock or
// the player, so once one is taken away and no block is busy, no block holds it.
void KEnsemble::WaitForAudioBlock() const {
  IAudioInOut* port = GetAudioPort();
  while (port && port->IsBusy()) std::this_thread::yield();
}

// ---- The plug-in and the audio port -------------------------------------------

// At shutdown this runs inside the ensemble's destructor: as an operation of its own
// it still reports a failed write, so the user learns that the session was not kept.
void KEnsemble::SaveLastSession() {
  if (!host) return;
  RunReportedOperation([this] {
    EPtr<IFileName> name(IFileName::Create());
    if (!name) return;  // out of memory, reported
    SetLastSessionName(*name);
    host->SaveSession(*name);
  });
}

// The session is saved while the plug-in is still the ensemble's; then MIDI input and
// the audio thread are kept away from it before it goes.
void KEnsemble::DestroyPlug() {
  IVSTPlug* old = plug.load(std::memory_order_seq_cst);
  if (!old) return;
  if (old->IsLoaded()) SaveLastSession();
  routed.store(nullptr, std::memory_order_seq_cst);
  WaitForNoDelivery();
  plug.store(nullptr, std::memory_order_seq_cst);
  WaitForAudioBlock();
  droppedByEarlierPlugs += old->GetDroppedEventCount();
  old->Release();
}

bool KEnsemble::CreatePlug() {
  IAudioInOut* port = GetAudioPort();
  const bool wasRunning = port && port->IsRunning();
  if (wasRunning) port->Pause();
  DestroyPlug();
  TVSTPlug* created = CreateOrReport<TVSTPlug>(static_cast<IPlugEnsemble*>(this));
  plug.store(created, std::memory_order_seq_cst);
  routed.store(created, std::memory_order_seq_cst);
  const bool loaded = created && created->IsLoaded();
  if (wasRunning) {
    if (loaded) created->SetSampleRate(GetSampleRate());
    port->Resume();
  }
  return loaded;
}

void KEnsemble::DestroyAudioPort() {
  IAudioInOut* port = GetAudioPort();
  if (!port) return;
  port->Pause();
  port->Stop();
  if (midiPort) midiPort->HostHook2();
  audioPort.store(nullptr, std::memory_order_seq_cst);
  WaitForNoDelivery();
  portFactory->DestroyPort(port);
}

void KEnsemble::ChangePort(int32_t type) {
  if (IAudioInOut* old = GetAudioPort()) {
    old->Pause();
    old->Stop();
    audioPort.store(nullptr, std::memory_order_seq_cst);
    WaitForNoDelivery();
    portFactory->DestroyPort(old);
  }
  IAudioInOut* port = portFactory->CreatePort(type, this);
  audioPort.store(port, std::memory_order_release);
  if (port) {
    port->Start();
    port->Resume();
  }
}

int32_t KEnsemble::GetPortBlockSize() {
  IAudioInOut* port = GetAudioPort();
  return port ? port->GetBlockSize() : 0;
}

void KEnsemble::RunTransportCommand(int32_t index, void* record) {
  IAudioInOut* port = GetAudioPort();
  auto* command = static_cast<THDRecordingPrp*>(record);
  if (!port || !command) return;
  if (index == THDRecordingPrp::playerIndex) port->PlayerCommand(command);
  if (index == THDRecordingPrp::tapeIndex) port->TapeCommand(command);
}

// ---- The clock ------------------------------------------------------------------

void KEnsemble::SetClock(IMidiClock* newClock) {
  IMidiClock* old = clock.exchange(newClock, std::memory_order_seq_cst);
  if (!old) return;
  WaitForNoDelivery();
  WaitForAudioBlock();
  ::Release(old);
}

void KEnsemble::TellClockSampleRate(float rate) {
  if (IMidiClock* current = GetClock()) current->SetSampleRate(rate);
}

VstTimeInfo* KEnsemble::UpdateTimeInfo() {
  IMidiClock* current = GetClock();
  return current ? current->GetTimeInfo() : nullptr;
}

void KEnsemble::ProcessPlayer(int32_t frames) {
  if (TMidiFilePlayback* current = GetPlayer()) current->ProcessBlock(frames);
}

bool KEnsemble::IsPlugReady() {
  IVSTPlug* current = GetPlug();
  return current && current->IsLoaded();
}

void KEnsemble::SetEventOffset(int32_t frame) {
  if (IVSTPlug* current = GetPlug()) current->SetEventOffset(frame);
}

// ---- MIDI -----------------------------------------------------------------------

// System messages only reach the clock. Other events go to the plug-in's queue while
// audio runs; while it does not (Stop Audio, a port change, a port that processes
// nothing) they are dropped and counted, so that pads tapped meanwhile do not come out
// in one burst when audio runs again.
void KEnsemble::OnMidiInput(int32_t kind, int32_t channel, int32_t data1, int32_t data2) {
  deliveries.fetch_add(1, std::memory_order_seq_cst);
  IVSTPlug* target = routed.load(std::memory_order_seq_cst);
  if (target && midiPort && midiPort->Accept(kind, channel, data1, data2)) {
    if (kind == MidiSystem) {
      FeedClock(channel, data1, data2);
    } else if (AudioTakesEvents()) {
      target->QueueMidiEvent(kind, channel, data1, data2);
    } else {
      droppedWhileStopped.fetch_add(1, std::memory_order_relaxed);
    }
  }
  deliveries.fetch_sub(1, std::memory_order_seq_cst);
}

bool KEnsemble::AudioTakesEvents() const {
  IAudioInOut* port = audioPort.load(std::memory_order_seq_cst);
  return port && port->TakesEvents();
}

int64_t KEnsemble::GetDroppedQueueFull() const {
  IVSTPlug* current = GetPlug();
  return droppedByEarlierPlugs + (current ? current->GetDroppedEventCount() : 0);
}

void KEnsemble::FeedClock(int32_t systemMessage, int32_t data1, int32_t data2) {
  IMidiClock* current = GetClock();
  if (GetSyncHold() > 0 || !current) return;
  IAudioInOut* port = audioPort.load(std::memory_order_seq_cst);
  if (!port) return;
  const int32_t position = port->GetFramePosition();
  switch (systemMessage) {
    case MidiSongPosition: current->SongPosition(position, (data1 + data2 * 128) * 6); break;
    case MidiTimingClock: current->Tick(position); break;
    case MidiStart: current->Start(position); break;
    default: break;
  }
}

void KEnsemble::Send(int32_t port, int32_t kind, int32_t channel, int32_t data1, int32_t data2) {
  data1 &= 0x7F;
  data2 &= 0x7F;
  if (port < 0) {
    OnMidiInput(kind, channel, data1, data2);
    return;
  }
  const uint32_t status = 0x80u | static_cast<uint32_t>(kind & 0x07) << 4 | static_cast<uint32_t>(channel & 0x0F);
  if (midiPort)
    midiPort->SendShort(port, PackShortMessage(status, static_cast<uint32_t>(data1), static_cast<uint32_t>(data2)));
}

void KEnsemble::SendNoteOff(int32_t port, int32_t channel, int32_t key, int32_t velocity) {
  Send(port, MidiNoteOff, channel, key, velocity);
}
void KEnsemble::SendNoteOn(int32_t port, int32_t channel, int32_t key, int32_t velocity) {
  Send(port, MidiNoteOn, channel, key, velocity);
}
void KEnsemble::SendPolyPressure(int32_t port, int32_t channel, int32_t key, int32_t pressure) {
  Send(port, MidiPolyPressure, channel, key, pressure);
}
void KEnsemble::SendControl(int32_t port, int32_t channel, int32_t controller, int32_t value) {
  Send(port, MidiControl, channel, controller, value);
}
void KEnsemble::SendProgram(int32_t port, int32_t channel, int32_t program) {
  Send(port, MidiProgram, channel, program, 0);
}
void KEnsemble::SendChannelPressure(int32_t port, int32_t channel, int32_t pressure) {
  Send(port, MidiChannelPressure, channel, pressure, 0);
}
void KEnsemble::SendPitchBend(int32_t port, int32_t channel, int32_t lsb, int32_t msb) {
  Send(port, MidiPitchBend, channel, lsb, msb);
}

void KEnsemble::SendRaw(int32_t port, uint32_t message) {
  if (midiPort) midiPort->SendShort(port, message);
}

int32_t KEnsemble::GetSendChannel() { return midiPort ? midiPort->GetSendChannel() : 1; }

void KEnsemble::SendMidiOut(uint32_t message) {
  if (midiPort) midiPort->SendShort(0, message);
}

// The send channel is a channel number 1 to 16; notes go out and to the plug-in on
// that channel (0-based channel - 1), the same channel that the plug-in's own MIDI
// output uses.
void KEnsemble::PlayNote(int32_t key, int32_t velocity) {
  if (!midiPort) return;
  const int32_t channel = (midiPort->GetSendChannel() - 1) & 0x0F;
  midiPort->SendShort(0, PackShortMessage(0x90u | static_cast<uint32_t>(channel), static_cast<uint32_t>(key),
                                          static_cast<uint32_t>(velocity)));
  OnMidiInput(MidiNoteOn, channel, key & 0x7F, velocity & 0x7F);
}

bool KEnsemble::TakeMidiOutputFailed() { return ::TakeMidiOutputFailed(); }
