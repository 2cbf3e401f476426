// "Anal": the file's audio analysis in its serialised form.
#pragma once
#include "TAudioAnalysis.h"
#include "TFileChunk.h"

class TAnalysisChunk : public TFileChunk {
public:
  // A chunk read from a file makes its own analysis; one made for a file's analysis
  // holds it without owning it.
  TAnalysisChunk() = default;
  explicit TAnalysisChunk(IAudioAnalysis* fileAnalysis);
  ~TAnalysisChunk() override;

  // The serialised form must fit the chunk ("$1 is corrupt." otherwise).
  void Read(TInOut& in) override;
  void Write(TInOut& out) override;
  // The file takes the analysis.
  void Apply(TAudioFile& file) override;
  TStr GetID() const override { return "Anal"; }
  void RefreshSize() override;

  IAudioAnalysis* GetAnalysis() const { return analysis; }

private:
  IAudioAnalysis* analysis = nullptr;
  bool owned = false;
};
