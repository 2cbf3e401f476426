// The null audio port: no device, nothing is ever processed.
#pragma once
#include "TAudioInOut.h"
#include "foundation/TParamStr.h"

class INoAudio : public virtual IAudioInOut {};

class TNoAudio : public TAudioInOut, public virtual INoAudio {
public:
  // Shows "There is no audioport active.\nPlease select one in the System/Audio Port menu."
  explicit TNoAudio(KEnsemble* ensemble);

  int32_t GetPortType() override { return AudioPortNone; }
  int32_t GetOutputCount() override { return 2; }
  int32_t GetInputCount() override { return 2; }
  void ClearBuffers() override {}
  void EnableInputChannel(int32_t) override {}
  void EnableOutputChannel(int32_t) override {}
  void DisableInputChannel(int32_t) override {}
  void DisableOutputChannel(int32_t) override {}
  int32_t IsAudioPort() override { return 0; }
  void ShowSettings(IFrameWnd*) override {}
  int32_t HasRouting() override { return 0; }
  void ShowRouting(IFrameWnd*) override {}

protected:
  void OpenDevice() override {}
  void CloseDevice() override {}
  void StopDevice() override {}
  void StartDevice() override {}
  void ApplyBlockSize(int32_t) override {}
  float ReadInputPeak(std::atomic<float>&, std::atomic<float>&) override { return 0.0f; }
  float ReadOutputPeak(std::atomic<float>&, std::atomic<float>&) override { return 0.0f; }
  void ReadFrame(TFrameRecord*) override {}
  void WriteFrame(TFrameRecord*) override {}
};

namespace Msg {
extern TParamStr noAudioPort;
}  // namespace Msg
