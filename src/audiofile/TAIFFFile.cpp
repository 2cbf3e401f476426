#include "TAIFFFile.h"

#include <new>

#include "AudioFileMessages.h"
#include "TAIFFCommonChunk.h"
#include "TAIFFDataChunk.h"
#include "TAIFFFormChunk.h"
#include "TAIFFInstrumentChunk.h"
#include "TAIFFMarkerChunk.h"
#include "TAnalysisChunk.h"
#include "foundation/Messages.h"

TParamStr& TAIFFFile::GetWrongRootMessage() const { return Msg::formatNotSupported; }

void TAIFFFile::CreateChunks() {
  auto* form = new (std::nothrow) TAIFFFormChunk;
  if (!form) ThrowOutOfMemory();
  SetRoot(form);
  AppendToRoot(TAIFFCommonChunk::CreateFrom(*this));
  AppendToRoot(TAIFFMarkerChunk::CreateFrom(*this));
  AppendToRoot(TAIFFInstrumentChunk::CreateFrom(*this));
  AppendToRoot(TAIFFDataChunk::CreateFrom(*this, SoundDataBytes()));
  if (GetAnalysis()) AppendToRoot(new (std::nothrow) TAnalysisChunk(GetAnalysis()));
}

int64_t TAIFFFile::GetDataOffset() const {
  const auto* sound = GetRoot() ? dynamic_cast<const TAIFFDataChunk*>(GetRoot()->FindSubChunk("SSND")) : nullptr;
  return sound ? sound->DataOffset() + sound->offset + TAIFFDataChunk::fieldBytes : 0;
}

void TAIFFFile::UpdateSizes() {
  if (!GetRoot()) return;
  if (auto* common = dynamic_cast<TAIFFCommonChunk*>(GetRoot()->FindSubChunk("COMM"))) {
    common->SetFrom(*this);
    WriteUInt16At(common->DataOffset(), common->channels);
    WriteUInt32At(common->DataOffset() + 2, common->frames);
  }
  auto* sound = dynamic_cast<TAIFFDataChunk*>(GetRoot()->FindSubChunk("SSND"));
  if (!sound) return;
  sound->SetSize(static_cast<uint32_t>(std::min<int64_t>(int64_t(SoundDataBytes()) + TAIFFDataChunk::fieldBytes, UINT32_MAX)));
  WriteUInt32At(sound->DataOffset() - 4, sound->GetSize());
  WriteUInt32At(4, static_cast<uint32_t>(GetRoot()->TotalSize()));
  WritePadBehind(*sound);
}
