#include "TEnsemblePlayback.h"

#include "host/KEnsemble.h"
#include "plughost/IVSTPlug.h"

TEnsemblePlayback::TEnsemblePlayback(KEnsemble* owner)
    : TMidiFilePlayback(owner, &TEnsemblePlayback::IsReady, owner, nullptr), ensemble(owner) {
  GetScheduler().SetTarget(this);
}

bool TEnsemblePlayback::IsReady(void* context) {
  IVSTPlug* plug = static_cast<KEnsemble*>(context)->GetPlug();
  return plug && plug->IsLoaded();
}

void TEnsemblePlayback::SetEventOffset(int32_t frame) {
  if (IVSTPlug* plug = ensemble->GetPlug()) plug->SetEventOffset(frame);
}

void TEnsemblePlayback::ProcessBlock(int32_t frames) {
  IEnsembleClock* current = ensemble->GetClock();
  if (current != seenClock) {
    seenClock = current;
    SetClock(dynamic_cast<IMidiClock*>(current));
  }
  TMidiFilePlayback::ProcessBlock(frames);
}
