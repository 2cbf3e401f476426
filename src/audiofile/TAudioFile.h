// An audio file: the sample format (held by the buffer), the sound's properties
// (length, loop, root key, analysis), and the file with its name.
#pragma once
#include <cstdint>

#include "TAudioAnalysis.h"
#include "TAudioBuf.h"
#include "foundation/IFile.h"
#include "foundation/IFileName.h"

class IAudioFile : public virtual IAudioBuf {
public:
  virtual const IFileName& GetFileName() const = 0;
  // Sample frames of the file.
  int32_t GetLength() const override = 0;
  // length * 1000 / sample rate; 0 when the rate is not positive.
  virtual float GetDurationMs() const = 0;
  virtual bool GetLoop() const = 0;
  virtual bool GetPingPong() const = 0;
  // A value the program may keep with the file; no format reads or writes it.
  virtual int32_t GetUserValue() const = 0;
  virtual int32_t GetLoopStart() const = 0;
  // loopEnd - loopStart.
  virtual int32_t GetLoopLength() const = 0;
  // The frame behind the loop's last frame.
  virtual int32_t GetLoopEnd() const = 0;
  virtual int32_t GetRootKey() const = 0;
  virtual IAudioAnalysis* GetAnalysis() const = 0;
  // The file takes the analysis (null removes it); a file with a chunk tree carries it
  // in an "Anal" chunk of the root. Failure: "Memory is low. Cannot finish operation!".
  virtual void SetAnalysis(IAudioAnalysis* analysis) = 0;
  // Lays down the header of a new file at the file's position.
  virtual void WriteHeader() = 0;
  // Makes the header's sizes match the file's length (end of a recording).
  virtual void UpdateSizes() = 0;

  // The block streaming operations of the recorder and player follow here, in this
  // order: StartReading, StartWriting, FinishWriting, NextReadBlock, ConvertRead,
  // ConvertWrite, the stream's repeat switch (named apart from SetLoop, which sets the
  // sound's loop property), WriteNextBlock, GetStreamStatus.
};

class TAudioFile : public TAudioBuf, public virtual IAudioFile {
public:
  static constexpr int32_t defaultRootKey = 60;

  TAudioFile();
  ~TAudioFile() override;

  const IFileName& GetFileName() const override { return *fileName; }
  int32_t GetLength() const override { return length; }
  float GetDurationMs() const override;
  bool GetLoop() const override { return loop; }
  bool GetPingPong() const override { return pingPong; }
  int32_t GetUserValue() const override { return userValue; }
  int32_t GetLoopStart() const override { return loopStart; }
  int32_t GetLoopLength() const override { return loopEnd - loopStart; }
  int32_t GetLoopEnd() const override { return loopEnd; }
  int32_t GetRootKey() const override { return rootKey; }
  IAudioAnalysis* GetAnalysis() const override { return analysis.Get(); }
  void SetAnalysis(IAudioAnalysis* newAnalysis) override;

  // The property setters store the value unchanged. SetLength sets the file's length;
  // the file object holds no sample frames of its own.
  void SetLength(int32_t frames) override { length = frames; }
  void SetLoop(bool on) { loop = on; }
  void SetPingPong(bool on) { pingPong = on; }
  void SetUserValue(int32_t value) { userValue = value; }
  void SetLoopStart(int32_t frame) { loopStart = frame; }
  void SetLoopEnd(int32_t frame) { loopEnd = frame; }
  void SetRootKey(int32_t key) { rootKey = key; }
  // The file's sample format: integer samples, interleaved, no frames held.
  void SetSampleFormat(int32_t bits, int32_t channels, int32_t rate);

  // File offset of the first sample byte; streaming reads and writes frames from here.
  virtual int64_t GetDataOffset() const = 0;

  IFile& GetFile() const { return *file; }
  void SetFileName(const IFileName& name) { fileName->CopyFrom(name); }
  // Takes an open file (from the audio file factory) and its name.
  void AdoptFile(IFile* openFile);

  // Takes the analysis without touching the chunk tree (the "Anal" chunk that holds
  // it is already there).
  void AdoptAnalysis(IAudioAnalysis* newAnalysis);

protected:
  // Before a file is read: the buffer's default format (2 channels, 44100 Hz, 32-bit
  // float), no frames, no loop, no analysis. The root key and the user value stay.
  void ResetProperties();
  // Hook for the chunk tree when the analysis changes.
  virtual void OnAnalysisChanged(IAudioAnalysis* newAnalysis);

private:
  int32_t length = 0;
  bool loop = false;
  bool pingPong = false;
  int32_t userValue = 0;
  int32_t loopStart = 0;
  int32_t loopEnd = 0;
  int32_t rootKey = defaultRootKey;
  EPtr<IAudioAnalysis> analysis{nullptr};
  EPtr<IFile> file;
  EPtr<IFileName> fileName;
};
