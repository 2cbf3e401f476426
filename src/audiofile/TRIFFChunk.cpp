#include "TRIFFChunk.h"

#include "AudioFileMessages.h"
#include "TAudioFile.h"

TRIFFChunk::TRIFFChunk() { SetSize(idBytes); }

void TRIFFChunk::Read(TInOut& in) {
  in.ReadRaw(formType, idBytes);
  SetSize(idBytes);
}

void TRIFFChunk::Write(TInOut& out) { out.WriteRaw(formType, idBytes); }

void TRIFFChunk::Apply(TAudioFile& file) {
  // A RIFF nested in another file's tree says nothing about the file.
  if (GetParent()) return;
  if (!FindSubChunk("fmt ") || !FindSubChunk("data")) ThrowFileMessage(Msg::notWaveFile, file.GetFileName().GetPath());
  if (!FindSubChunk("smpl")) file.SetLoop(false);
}
