#include "TAIFFFormChunk.h"

#include "TAIFFInstrumentChunk.h"
#include "TAIFFMarkerChunk.h"
#include "TAudioFile.h"

TAIFFFormChunk::TAIFFFormChunk() { SetSize(idBytes); }

void TAIFFFormChunk::Read(TInOut& in) {
  in.ReadRaw(formType, idBytes);
  SetSize(idBytes);
}

void TAIFFFormChunk::Write(TInOut& out) { out.WriteRaw(formType, idBytes); }

void TAIFFFormChunk::Apply(TAudioFile& file) {
  // A FORM nested in another file's tree says nothing about the file.
  if (GetParent()) return;
  auto* markers = dynamic_cast<TAIFFMarkerChunk*>(FindSubChunk("MARK"));
  auto* instrument = dynamic_cast<TAIFFInstrumentChunk*>(FindSubChunk("INST"));
  if (!markers || !instrument) {
    file.SetLoop(false);
    return;
  }
  file.SetLoopStart(markers->FindPosition(instrument->sustainBegin));
  file.SetLoopEnd(markers->FindPosition(instrument->sustainEnd));
}
