// An audio file kept as a tree of chunks: reading the tree of a file, transferring
// what its chunks say to the file's properties, checking what the program can play,
// and writing a new tree for a recording.
#pragma once
#include <cstdint>

#include "TAudioFile.h"
#include "TFileChunk.h"

class TChunkedAudioFile : public TAudioFile {
public:
  // Containers below the root deeper than this make a file corrupt.
  static constexpr int32_t maxNesting = 8;
  // A file with more chunks than this is corrupt (real files have a few dozen).
  static constexpr int32_t maxChunks = 10000;

  ~TChunkedAudioFile() override;

  // Reads the file from its start (the file is opened for reading when it is not
  // open), applies its chunks and checks it: 1 or 2 channels, at least one frame,
  // 8 or 16 bits, with the messages of each. Any failure raises its message and
  // leaves the file without a tree.
  void Open(int32_t bufferFrames);
  // The complete tree of a new file from the file's properties; the old tree goes.
  virtual void CreateChunks() = 0;
  void WriteHeader() override;

  TFileChunk* GetRoot() const { return root; }
  // The chunk made for an identifier read from a file (owned by the caller).
  static TFileChunk* CreateChunk(const TStr& id);

  // Reads the chunk whose identifier has been read; depth 0 is the root, whose class
  // sets the stream's byte order. Answers the bytes the chunk occupies in the file
  // behind its header (its declared size with the pad byte, cut at the file's end).
  int64_t ReadChunk(TFileChunk& chunk, TInOut& in, int64_t fileEnd, int32_t depth = 0);
  // Applies the chunk, then its "fmt " and "COMM" sub-chunks, then the others in file
  // order, each with its own sub-chunks. Containers below the root are not entered.
  static void ApplyChunk(TFileChunk& chunk, TAudioFile& file);
  // Writes the chunk with its sub-chunks; a pad byte follows odd-sized chunks.
  void WriteChunk(TFileChunk& chunk, TInOut& out);

protected:
  // The identifier of the root chunk of this format and the message for a file whose
  // root is another.
  virtual TStr GetRootID() const = 0;
  virtual TParamStr& GetWrongRootMessage() const = 0;
  // Replaces the tree (the old one is released).
  void SetRoot(TFileChunk* newRoot);
  // Appends a new chunk to the root, raising "Memory is low. Cannot finish
  // operation!" when it could not be made.
  void AppendToRoot(TFileChunk* chunk);
  // Write a value at a file offset in the root's byte order; the file's position stays.
  void WriteUInt32At(int64_t offset, uint32_t value);
  void WriteUInt16At(int64_t offset, uint16_t value);
  // Writes the pad byte behind an odd-sized chunk (the data chunk of a recording).
  void WritePadBehind(const TFileChunk& chunk);
  // Bytes per frame, and the sound data bytes of the file's length.
  int64_t FrameBytes() const;
  uint32_t SoundDataBytes() const;
  // The frames per read block that Open was given (for the read stream).
  int32_t GetStreamFrames() const { return streamFrames; }
  [[noreturn]] void Corrupt() const;
  TStr GetName() const;

  void OnAnalysisChanged(IAudioAnalysis* newAnalysis) override;

private:
  void ReadTree();
  void Check() const;
  void ReadSubChunks(TFileChunk& container, TInOut& in, int64_t extentEnd, int64_t fileEnd, int32_t depth);

  TFileChunk* root = nullptr;
  int32_t chunksRead = 0;
  int32_t streamFrames = 0;
};
