// One chunk of a chunked audio file: a four-character identifier, a 32-bit size and
// the chunk's own data, followed by its sub-chunks when it is a container.
#pragma once
#include <cstdint>

#include "foundation/TInOut.h"
#include "foundation/TList.h"
#include "foundation/TStr.h"

class TAudioFile;

class TFileChunk : public TLink {
public:
  static constexpr int32_t idBytes = 4;
  static constexpr int64_t headerBytes = 8;

  TFileChunk() = default;
  // Releases the sub-chunks first.
  ~TFileChunk() override;
  TFileChunk(const TFileChunk&) = delete;
  TFileChunk& operator=(const TFileChunk&) = delete;

  // Read and write the chunk's own data at the stream's position. When a chunk is read
  // from a file, its own data lies within the file (GetBytesInFile() == GetSize())
  // unless KeepsDataInFile(); Read must not consume more than GetSize() bytes. Write
  // writes exactly GetSize() bytes (or moves over them).
  virtual void Read(TInOut& in) = 0;
  virtual void Write(TInOut& out) = 0;
  // Transfers what the chunk says to the file's properties.
  virtual void Apply(TAudioFile& file);
  virtual bool IsContainer() const { return false; }
  virtual TStr GetID() const = 0;
  // The byte order of the file; a chunk without parent answers false.
  virtual bool IsBigEndian() const;
  // Chunks whose own data comes from another object take its present size (before a
  // tree is written).
  virtual void RefreshSize() {}
  // Chunks whose data stays in the file; their declared size may reach beyond a file
  // that was cut short, and only the bytes the file holds count.
  virtual bool KeepsDataInFile() const { return false; }

  TFileChunk* FindSubChunk(const TStr& id) const;
  // Appends the chunk (now owned) and sets its parent.
  void AddSubChunk(TFileChunk* chunk);
  // Removes the chunk (no longer owned) and clears its parent.
  void RemoveSubChunk(TFileChunk* chunk);
  TFileChunk* GetParent() const { return parent; }
  TFileChunk* GetFirstSubChunk() const { return static_cast<TFileChunk*>(subChunks.GetHead()); }
  TFileChunk* GetNextSibling() const { return static_cast<TFileChunk*>(GetNext()); }
  int32_t GetSubChunkCount() const { return subChunks.GetCount(); }

  // Bytes of the chunk's own data, sub-chunks not counted.
  uint32_t GetSize() const { return size; }
  void SetSize(uint32_t bytes) { size = bytes; }

  // What the file said, for chunks read from a file: the size field as declared, the
  // file offset of the own data, and how much of the declared own data the file holds.
  void NoteFileLayout(uint32_t declared, int64_t offset, int64_t inFile);
  int64_t GetDeclaredSize() const { return fileOffset >= 0 ? declaredSize : TotalSize(); }
  int64_t GetBytesInFile() const { return fileOffset >= 0 ? bytesInFile : size; }

  // The size field the chunk is written with: own data and every sub-chunk with its
  // header and the pad byte behind an odd-sized sub-chunk.
  int64_t TotalSize() const;
  // The space the chunk takes in a file without its header: TotalSize and the pad byte.
  int64_t PaddedTotalSize() const { return TotalSize() + (TotalSize() & 1); }
  // File offset of the chunk's own data: where it was read, or, for a chunk made in
  // memory, 8 for the root and, below it, the parent's data offset, the parent's own
  // data, and every earlier sibling with its header and pad byte, plus this header.
  int64_t DataOffset() const;

protected:
  // Raises "$1 is corrupt." with the stream's name.
  [[noreturn]] static void Corrupt(const TInOut& stream);
  // Writes zero bytes from written up to the chunk's size (the own data not described
  // by the chunk's fields, such as the tail of a longer format chunk read earlier).
  void WriteFill(TInOut& out, int64_t written) const;
  // Skips from consumed up to the chunk's size (own data the chunk does not read).
  void SkipRest(TInOut& in, int64_t consumed) const;

private:
  TList subChunks;
  TFileChunk* parent = nullptr;
  uint32_t size = 0;
  uint32_t declaredSize = 0;
  int64_t fileOffset = -1;
  int64_t bytesInFile = 0;
};
