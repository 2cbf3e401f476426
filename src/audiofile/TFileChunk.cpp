#include "TFileChunk.h"

#include "AudioFileMessages.h"
#include "TAudioFile.h"

TFileChunk::~TFileChunk() {
  while (TLink* link = subChunks.RemoveHead()) link->Release();
}

void TFileChunk::Apply(TAudioFile&) {}

bool TFileChunk::IsBigEndian() const { return parent ? parent->IsBigEndian() : false; }

TFileChunk* TFileChunk::FindSubChunk(const TStr& id) const {
  for (TFileChunk* chunk = GetFirstSubChunk(); chunk; chunk = chunk->GetNextSibling())
    if (chunk->GetID() == id) return chunk;
  return nullptr;
}

void TFileChunk::AddSubChunk(TFileChunk* chunk) {
  if (!chunk) return;
  subChunks.AddTail(chunk);
  chunk->parent = this;
}

void TFileChunk::RemoveSubChunk(TFileChunk* chunk) {
  if (!chunk || chunk->parent != this) return;
  subChunks.Remove(chunk);
  chunk->parent = nullptr;
}

void TFileChunk::NoteFileLayout(uint32_t declared, int64_t offset, int64_t inFile) {
  declaredSize = declared;
  fileOffset = offset;
  bytesInFile = inFile;
}

int64_t TFileChunk::TotalSize() const {
  int64_t total = size;
  for (TFileChunk* chunk = GetFirstSubChunk(); chunk; chunk = chunk->GetNextSibling())
    total += chunk->PaddedTotalSize() + headerBytes;
  return total;
}

int64_t TFileChunk::DataOffset() const {
  if (fileOffset >= 0) return fileOffset;
  if (!parent) return headerBytes;
  int64_t offset = parent->DataOffset() + parent->size;
  for (TFileChunk* chunk = parent->GetFirstSubChunk(); chunk && chunk != this; chunk = chunk->GetNextSibling())
    offset += chunk->PaddedTotalSize() + headerBytes;
  return offset + headerBytes;
}

void TFileChunk::Corrupt(const TInOut& stream) { ThrowFileMessage(Msg::fileCorrupt, stream.GetStreamName()); }

void TFileChunk::WriteFill(TInOut& out, int64_t written) const {
  static const uint8_t zeros[256] = {};
  for (int64_t left = int64_t(size) - written; left > 0; left -= int64_t(sizeof zeros))
    out.WriteRaw(zeros, left < int64_t(sizeof zeros) ? left : int64_t(sizeof zeros));
}

void TFileChunk::SkipRest(TInOut& in, int64_t consumed) const {
  if (consumed < int64_t(size)) in.Seek(in.Tell() + int64_t(size) - consumed);
}
