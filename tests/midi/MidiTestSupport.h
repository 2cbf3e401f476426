// Helpers shared by the MIDI tests.
#pragma once
