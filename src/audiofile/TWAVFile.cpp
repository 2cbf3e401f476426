#include "TWAVFile.h"

#include <new>

#include "AudioFileMessages.h"
#include "TAnalysisChunk.h"
#include "TRIFFChunk.h"
#include "TWAVDataChunk.h"
#include "TWAVFormatChunk.h"
#include "TWAVSampleChunk.h"
#include "foundation/Messages.h"

TParamStr& TWAVFile::GetWrongRootMessage() const { return Msg::notWaveFile; }

void TWAVFile::CreateChunks() {
  auto* riff = new (std::nothrow) TRIFFChunk;
  if (!riff) ThrowOutOfMemory();
  SetRoot(riff);
  AppendToRoot(TWAVFormatChunk::CreateFrom(*this));
  AppendToRoot(TWAVSampleChunk::CreateFrom(*this));
  auto* data = new (std::nothrow) TWAVDataChunk;
  if (data) data->SetSize(SoundDataBytes());
  AppendToRoot(data);
  if (GetAnalysis()) AppendToRoot(new (std::nothrow) TAnalysisChunk(GetAnalysis()));
}

int64_t TWAVFile::GetDataOffset() const {
  const TFileChunk* data = GetRoot() ? GetRoot()->FindSubChunk("data") : nullptr;
  return data ? data->DataOffset() : 0;
}

void TWAVFile::UpdateSizes() {
  TFileChunk* data = GetRoot() ? GetRoot()->FindSubChunk("data") : nullptr;
  if (!data) return;
  data->SetSize(SoundDataBytes());
  WriteUInt32At(data->DataOffset() - 4, data->GetSize());
  WriteUInt32At(4, static_cast<uint32_t>(GetRoot()->TotalSize()));
  WritePadBehind(*data);
}
