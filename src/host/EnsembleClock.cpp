#include "IEnsembleClock.h"

// The MIDI clock joins here once it exists; until then the ensemble has none and
// the plug-in's time request answers 0.
IEnsembleClock* CreateEnsembleClock(KEnsemble*) { return nullptr; }
