// The ALSA sequencer's or JACK's MIDI ports through RtMidi: every readable port an
// input, every writable port an output, named without the numbers the system gives
// them, this program's own ports left out. A backend whose server is missing lists
// nothing and says nothing.
#pragma once
#include "IMidiBackend.h"

class TRtMidiBackend : public IMidiBackend {
public:
  enum class EApi { Alsa, Jack };

  explicit TRtMidiBackend(EApi api) : api(api) {}

  // /dev/snd/seq for ALSA; a JACK server that accepts a client for JACK.
  static bool ServerPresent(EApi api);

  std::vector<std::string> ListInputs() override;
  std::vector<std::string> ListOutputs() override;
  std::unique_ptr<IMidiInputDevice> OpenInput(const std::string& name, int occurrence, IMidiInputSink& sink,
                                              EMidiOpenResult& result) override;
  std::unique_ptr<IMidiOutputDevice> OpenOutput(const std::string& name, int occurrence,
                                                EMidiOpenResult& result) override;

private:
  std::string StableName(const std::string& systemName) const;
  EApi api;
};
