#include "MidiTestSupport.h"
