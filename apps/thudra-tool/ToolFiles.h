// Opening files for the subcommands and reporting their errors as the program shows them.
#pragma once
#include <string>

#include "audiofile/TChunkedAudioFile.h"

// Opens an audio file as the player does (the framework's checks included). On
// failure answers null and the message, $1 filled with the path as given.
TChunkedAudioFile* OpenAudioFileForTool(const std::string& path, std::string& error);

// The pending error message of the last failure, $1 the path as given where it named
// the file; clears it.
std::string TakeErrorMessage(const std::string& givenPath, const TStr& resolvedPath);

// Reads the sample frames of channel 0 into target as floats at the file's rate.
void ReadChannelZero(TChunkedAudioFile& file, TAudioBuf& target);
