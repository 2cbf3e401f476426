// The null audio port: no device, nothing is ever processed.
#pragma once
#include "TAudioInOut.h"
#include "foundation/TParamStr.h"

class INoAudio : public virtual IAudioInOut {};

class TNoAudio : public TAudioInOut, public virtual INoAudio {
public:
  // Shows "There is no audioport active.\nPlease select one in the System/Audio Port menu."
  explicit TNoAudio(IAudioEnsemble* ensemble);

  int32_t GetPortType() override { return AudioPortNone; }
  int32_t GetOutputCount() override { return 2; }
  int32_t GetInputCount() override { return 2; }

protected:
  // No device: nothing ever calls Process.
  bool ProcessesAudio() override { return false; }
  void OpenDevice() override {}
  void CloseDevice() override {}
  void StopDevice() override {}
  void StartDevice() override {}
  float ReadInputPeak(std::atomic<float>&, std::atomic<float>&) override { return 0.0f; }
  float ReadOutputPeak(std::atomic<float>&, std::atomic<float>&) override { return 0.0f; }
};

namespace Msg {
extern TParamStr noAudioPort;
}  // namespace Msg
