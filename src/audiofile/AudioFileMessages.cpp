#include "AudioFileMessages.h"

#include "foundation/Messages.h"

namespace Msg {
TParamStr fileCorrupt("$1 is corrupt.");
TParamStr notWaveFile("The file $1 \nis not a waveform-audio file.");
TParamStr formatNotSupported("Format of $1 is not supported.");
TParamStr onlyMonoOrStereo("Format of $1 is not supported. \nOnly 1-channel or 2-channel files can be read.");
TParamStr onlyEightOrSixteenBits("Unable to read file $1 \n Only 8-bit or 16-bit files can be read.");
TParamStr noAudioData("File $1 contains no data.");
}  // namespace Msg

void ThrowFileMessage(TParamStr& message, const TStr& name) {
  message.SetParam(1, name);
  ThrowError(&message);
}
