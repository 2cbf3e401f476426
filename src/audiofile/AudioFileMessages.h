// Messages of the audio files; $1 is the file name.
#pragma once
#include "foundation/TParamStr.h"

namespace Msg {
extern TParamStr fileCorrupt;
extern TParamStr notWaveFile;
extern TParamStr formatNotSupported;
extern TParamStr onlyMonoOrStereo;
extern TParamStr onlyEightOrSixteenBits;
extern TParamStr noAudioData;
}  // namespace Msg

// Fills $1 with name and raises the message.
[[noreturn]] void ThrowFileMessage(TParamStr& message, const TStr& name);
