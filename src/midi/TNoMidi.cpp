#include "TNoMidi.h"
