// The soundcard port as its settings panel sees it: the device lists, the selected
// entries, the two delays and what the port measures of them.
//
// Threading: every operation on the user-interface thread (IsDeviceLost on any). A Select or Set that changes something pauses and
// resumes the port; when it returns, the port runs with the new value (or, when a
// device could not be opened, with the entries it fell back to: read the indices).
#pragma once
#include <cstdint>

#include "audio/IAudioInOut.h"
#include "foundation/TStr.h"

class IMultiMedia : public virtual IAudioInOut {
public:
  // The panel says 1 while it is open and 0 when it closes.
  virtual void SetInputWanted(int32_t wanted) = 0;
  // Milliseconds; the port keeps whole blocks of 4 ms.
  virtual void SetInputDelay(int32_t milliseconds) = 0;
  virtual int32_t GetInputDelay() = 0;
  // The average input lead since the last call, in milliseconds (0 without samples).
  virtual int32_t GetMeasuredInputDelay() = 0;
  // A running port drifts to the new delay without stopping.
  virtual void SetOutputDelay(int32_t milliseconds) = 0;
  virtual int32_t GetOutputDelay() = 0;
  virtual int32_t GetMeasuredOutputDelay() = 0;
  // Entry 0 is "None", then "MME: " entries (and for outputs "DirectSound: " ones).
  virtual int32_t GetInputEntryCount() = 0;
  virtual int32_t GetInputIndex() = 0;
  virtual TStr GetInputName(int32_t index) = 0;
  virtual void SelectInput(int32_t index) = 0;
  virtual int32_t GetOutputEntryCount() = 0;
  virtual int32_t GetOutputIndex() = 0;
  virtual TStr GetOutputName(int32_t index) = 0;
  virtual void SelectOutput(int32_t index) = 0;
  virtual void NoEffectA() = 0;
  virtual void NoEffectB() = 0;
  // Underruns of the output and overruns of the input since the port was built.
  virtual uint32_t GetUnderrunCount() = 0;
  // Whether an open device went away (a server that died, a card unplugged).
  virtual bool IsDeviceLost() = 0;
};
