// Making audio file objects for files on disk.
#pragma once
#include <cstdint>

#include "TChunkedAudioFile.h"

// Opens the file for reading, makes the class its first identifier names ("RIFF":
// WAV, "FORM": AIFF; anything else is "Format of $1 is not supported.") and opens it
// with the framework's checks (TChunkedAudioFile::Open). Raises the error of the
// first failure; the caller owns the answer.
TChunkedAudioFile* OpenAudioFile(const IFileName& name, int32_t bufferFrames);

// Creates (or truncates) the file for a recording in the given format: AIFF for a
// name of the AIFF file type, WAV otherwise. No header is written yet.
TChunkedAudioFile* CreateAudioFile(const IFileName& name, int32_t bits, int32_t channels, int32_t rate);
