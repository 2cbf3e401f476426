#include "TAnalysisChunk.h"

#include "TAudioFile.h"
#include "foundation/Messages.h"

TAnalysisChunk::TAnalysisChunk(IAudioAnalysis* fileAnalysis) : analysis(fileAnalysis) { RefreshSize(); }

TAnalysisChunk::~TAnalysisChunk() {
  if (owned) ::Release(analysis);
}

void TAnalysisChunk::RefreshSize() {
  if (analysis) SetSize(static_cast<uint32_t>(analysis->GetSerialisedSize()));
}

void TAnalysisChunk::Read(TInOut& in) {
  if (!analysis) {
    analysis = new (std::nothrow) TAudioAnalysis;
    if (!analysis) ThrowOutOfMemory();
    owned = true;
  }
  analysis->Read(in, GetSize());
  SkipRest(in, analysis->GetSerialisedSize());
}

void TAnalysisChunk::Write(TInOut& out) {
  int64_t written = 0;
  if (analysis) {
    analysis->Write(out);
    written = analysis->GetSerialisedSize();
  }
  WriteFill(out, written);
}

void TAnalysisChunk::Apply(TAudioFile& file) {
  if (!analysis) return;
  file.AdoptAnalysis(analysis);
  owned = false;
}
