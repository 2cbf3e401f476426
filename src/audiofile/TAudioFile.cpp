#include "TAudioFile.h"

#include "foundation/Messages.h"

TAudioFile::TAudioFile() {
  if (!file || !fileName) ThrowOutOfMemory();
}

TAudioFile::~TAudioFile() = default;

void TAudioFile::ResetProperties() {
  SetFormat(true, false, 32, 2, 44100, 0, 0);
  length = 0;
  loop = false;
  pingPong = false;
  loopStart = 0;
  loopEnd = 0;
  analysis.Reset();
}

float TAudioFile::GetDurationMs() const {
  const int32_t rate = GetSampleRate();
  if (rate <= 0) return 0.0f;
  return static_cast<float>(length * 1000.0 / rate);
}

void TAudioFile::SetSampleFormat(int32_t bits, int32_t channels, int32_t rate) {
  SetFormat(false, true, bits, channels, rate, 0, 0);
}

void TAudioFile::AdoptFile(IFile* openFile) {
  if (!openFile) return;
  fileName->CopyFrom(openFile->GetFileName());
  file.Reset(openFile);
}

void TAudioFile::AdoptAnalysis(IAudioAnalysis* newAnalysis) {
  if (newAnalysis != analysis.Get()) analysis.Reset(newAnalysis);
}

void TAudioFile::SetAnalysis(IAudioAnalysis* newAnalysis) {
  OnAnalysisChanged(newAnalysis);
  AdoptAnalysis(newAnalysis);
}

void TAudioFile::OnAnalysisChanged(IAudioAnalysis*) {}
