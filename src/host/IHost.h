// The host as the ensemble, the plug-in object and the ports reach it.
#pragma once
#include <cstdint>

#include "foundation/Base.h"

class IFileName;
class KEnsemble;

class IHost : public virtual IBase {
public:
  // Answers 1 on success, 0 after a reported failure.
  virtual int32_t LoadSession(const IFileName& name) = 0;
  virtual void SaveSession(const IFileName& name) = 0;
  virtual void SaveSessionAs() = 0;
  // Ends the program (the quit message).
  virtual void Abort() = 0;
  virtual void ToggleAudio() = 0;
  // A slot without effect, kept so that the operations after it keep their places.
  virtual void NoEffect() = 0;
  virtual KEnsemble* GetEnsemble() = 0;
  virtual const IFileName& GetSessionName() = 0;
  virtual int32_t IsAudioRunning() = 0;
  virtual int32_t IsIdleTimerOn() = 0;
};
