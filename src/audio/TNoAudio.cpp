#include "TNoAudio.h"

#include "foundation/Messages.h"

namespace Msg {
TParamStr noAudioPort("There is no audioport active.\nPlease select one in the System/Audio Port menu.");
}  // namespace Msg

TNoAudio::TNoAudio(IAudioEnsemble* owner) : TAudioInOut(owner) { ShowError(Msg::noAudioPort, 0); }
