#include "TChunkedAudioFile.h"

#include <algorithm>
#include <new>

#include "AudioFileMessages.h"
#include "TAIFFCommonChunk.h"
#include "TAIFFDataChunk.h"
#include "TAIFFFormChunk.h"
#include "TAIFFInstrumentChunk.h"
#include "TAIFFMarkerChunk.h"
#include "TAnalysisChunk.h"
#include "TBufferedFileInput.h"
#include "TRIFFChunk.h"
#include "TUnknownFileChunk.h"
#include "TWAVDataChunk.h"
#include "TWAVFormatChunk.h"
#include "TWAVSampleChunk.h"
#include "foundation/Messages.h"

namespace {
// Sub-chunks are read while the container has room for a header, so that an empty
// data chunk at the end (a recording stopped at once) is found.
constexpr int64_t minSubChunkRoom = 8;

template <class T>
TFileChunk* Make() {
  return new (std::nothrow) T;
}

void WriteID(TInOut& out, const TStr& id) {
  char raw[TFileChunk::idBytes] = {' ', ' ', ' ', ' '};
  for (int32_t i = 0; i < TFileChunk::idBytes && i < id.Length(); ++i) raw[i] = id[i];
  out.WriteRaw(raw, TFileChunk::idBytes);
}

// Updates the sizes of chunks whose own data follows another object.
void RefreshSizes(TFileChunk& chunk) {
  chunk.RefreshSize();
  for (TFileChunk* sub = chunk.GetFirstSubChunk(); sub; sub = sub->GetNextSibling()) RefreshSizes(*sub);
}
}  // namespace

TChunkedAudioFile::~TChunkedAudioFile() { SetRoot(nullptr); }

TStr TChunkedAudioFile::GetName() const { return GetFileName().GetPath(); }

void TChunkedAudioFile::Corrupt() const { ThrowFileMessage(Msg::fileCorrupt, GetName()); }

void TChunkedAudioFile::SetRoot(TFileChunk* newRoot) {
  if (root == newRoot) return;
  TFileChunk* old = root;
  root = newRoot;
  if (old) old->Release();
}

TFileChunk* TChunkedAudioFile::CreateChunk(const TStr& id) {
  TFileChunk* chunk = nullptr;
  if (id == "RIFF") chunk = Make<TRIFFChunk>();
  else if (id == "fmt ") chunk = Make<TWAVFormatChunk>();
  else if (id == "data") chunk = Make<TWAVDataChunk>();
  else if (id == "smpl") chunk = Make<TWAVSampleChunk>();
  else if (id == "FORM") chunk = Make<TAIFFFormChunk>();
  else if (id == "COMM") chunk = Make<TAIFFCommonChunk>();
  else if (id == "MARK") chunk = Make<TAIFFMarkerChunk>();
  else if (id == "INST") chunk = Make<TAIFFInstrumentChunk>();
  else if (id == "SSND") chunk = Make<TAIFFDataChunk>();
  else if (id == "Anal") chunk = Make<TAnalysisChunk>();
  else chunk = new (std::nothrow) TUnknownFileChunk(id);
  if (!chunk) ThrowOutOfMemory();
  return chunk;
}

void TChunkedAudioFile::Open(int32_t bufferFrames) {
  streamFrames = bufferFrames;
  SetRoot(nullptr);
  ResetProperties();
  try {
    if (!GetFile().IsOpen()) GetFile().OpenRead(GetFileName());
    ReadTree();
    ApplyChunk(*root, *this);
    Check();
  } catch (...) {
    SetRoot(nullptr);
    throw;
  }
}

void TChunkedAudioFile::ReadTree() {
  TBufferedFileInput in(GetFile());
  chunksRead = 0;
  char id[TFileChunk::idBytes] = {};
  if (in.GetSize() >= TFileChunk::idBytes) in.ReadRaw(id, TFileChunk::idBytes);
  const TStr rootID(id, TFileChunk::idBytes);
  if (!(rootID == GetRootID())) ThrowFileMessage(GetWrongRootMessage(), GetName());
  SetRoot(CreateChunk(rootID));
  ReadChunk(*root, in, in.GetSize());
}

int64_t TChunkedAudioFile::ReadChunk(TFileChunk& chunk, TInOut& in, int64_t fileEnd, int32_t depth) {
  if (depth > maxNesting || ++chunksRead > maxChunks) Corrupt();
  // Only the root decides the byte order; containers nested in it do not switch it.
  if (depth == 0) in.SetByteOrder(chunk.IsBigEndian() ? BigEndian : LittleEndian);
  if (fileEnd - in.Tell() < 4) Corrupt();
  const uint32_t declared = in.ReadUInt32();
  const int64_t start = in.Tell();
  const int64_t left = std::max<int64_t>(0, fileEnd - start);
  // Everything is measured within the file: a declared size beyond its end counts
  // only as far as the file goes.
  const int64_t occupied = int64_t(declared) + (declared & 1);
  const int64_t extentEnd = start + std::min(occupied, left);
  chunk.SetSize(declared);
  chunk.NoteFileLayout(declared, start, std::min<int64_t>(declared, left));
  if (!chunk.IsContainer()) {
    if (!chunk.KeepsDataInFile() && int64_t(declared) > left) Corrupt();
    chunk.Read(in);
  } else {
    if (declared < 4 || left < 4) Corrupt();
    chunk.Read(in);
    int64_t remaining = (extentEnd - start) - chunk.GetSize();
    while (remaining >= minSubChunkRoom) {
      char id[TFileChunk::idBytes];
      in.ReadRaw(id, TFileChunk::idBytes);
      TFileChunk* sub = CreateChunk(TStr(id, TFileChunk::idBytes));
      chunk.AddSubChunk(sub);
      remaining -= ReadChunk(*sub, in, fileEnd, depth + 1) + TFileChunk::headerBytes;
    }
    if (remaining < 0) {
      // Writers that leave out the last sub-chunk's size field or the form type from
      // the container's size are common; such a RIFF is accepted as it is.
      if (chunk.GetID() == "RIFF" && (-remaining) % 4 == 0) return in.Tell() - start;
      Corrupt();
    }
  }
  if (in.Tell() < extentEnd) in.Seek(extentEnd);
  if (in.Tell() > extentEnd) Corrupt();
  return extentEnd - start;
}

void TChunkedAudioFile::ApplyChunk(TFileChunk& chunk, TAudioFile& file) {
  chunk.Apply(file);
  // A container nested in the root is kept, but what it holds is not the file's.
  if (chunk.IsContainer() && chunk.GetParent()) return;
  // The sample format first, so that the sound data chunks can compute the length.
  TFileChunk* formatFirst[] = {chunk.FindSubChunk("fmt "), chunk.FindSubChunk("COMM")};
  for (TFileChunk* format : formatFirst)
    if (format) ApplyChunk(*format, file);
  for (TFileChunk* sub = chunk.GetFirstSubChunk(); sub; sub = sub->GetNextSibling())
    if (sub != formatFirst[0] && sub != formatFirst[1]) ApplyChunk(*sub, file);
}

void TChunkedAudioFile::Check() const {
  const int32_t channels = GetChannels();
  if (channels != 1 && channels != 2) ThrowFileMessage(Msg::onlyMonoOrStereo, GetName());
  if (GetLength() < 1) ThrowFileMessage(Msg::noAudioData, GetName());
  const int32_t bits = GetBits();
  if (bits != 8 && bits != 16) ThrowFileMessage(Msg::onlyEightOrSixteenBits, GetName());
}

void TChunkedAudioFile::WriteHeader() {
  if (!root) CreateChunks();
  RefreshSizes(*root);
  IFile& out = GetFile();
  out.SetByteOrder(root->IsBigEndian() ? BigEndian : LittleEndian);
  WriteChunk(*root, out);
}

void TChunkedAudioFile::WriteChunk(TFileChunk& chunk, TInOut& out) {
  const int64_t total = chunk.TotalSize();
  WriteID(out, chunk.GetID());
  out.WriteUInt32(static_cast<uint32_t>(total));
  const int64_t start = out.Tell();
  chunk.Write(out);
  for (TFileChunk* sub = chunk.GetFirstSubChunk(); sub; sub = sub->GetNextSibling()) WriteChunk(*sub, out);
  if (out.Tell() != start + total) Corrupt();
  if (total & 1) out.WriteUInt8(0);
}

void TChunkedAudioFile::AppendToRoot(TFileChunk* chunk) {
  if (!chunk) ThrowOutOfMemory();
  root->AddSubChunk(chunk);
}

void TChunkedAudioFile::WriteUInt32At(int64_t offset, uint32_t value) {
  IFile& out = GetFile();
  const int64_t position = out.Tell();
  out.SetByteOrder(root && root->IsBigEndian() ? BigEndian : LittleEndian);
  out.Seek(offset);
  out.WriteUInt32(value);
  out.Seek(position);
}

void TChunkedAudioFile::WriteUInt16At(int64_t offset, uint16_t value) {
  IFile& out = GetFile();
  const int64_t position = out.Tell();
  out.SetByteOrder(root && root->IsBigEndian() ? BigEndian : LittleEndian);
  out.Seek(offset);
  out.WriteUInt16(value);
  out.Seek(position);
}

void TChunkedAudioFile::WritePadBehind(const TFileChunk& chunk) {
  const int64_t total = chunk.TotalSize();
  if (!(total & 1)) return;
  IFile& out = GetFile();
  const int64_t position = out.Tell();
  out.Seek(chunk.DataOffset() + total);
  out.WriteUInt8(0);
  out.Seek(position);
}

int64_t TChunkedAudioFile::FrameBytes() const { return int64_t(GetChannels()) * GetBytesPerSample(); }

uint32_t TChunkedAudioFile::SoundDataBytes() const {
  const int64_t bytes = std::max<int64_t>(0, int64_t(GetLength()) * FrameBytes());
  return static_cast<uint32_t>(std::min<int64_t>(bytes, UINT32_MAX - 1));
}

void TChunkedAudioFile::OnAnalysisChanged(IAudioAnalysis* newAnalysis) {
  if (!root) return;
  while (TFileChunk* old = root->FindSubChunk("Anal")) {
    root->RemoveSubChunk(old);
    old->Release();
  }
  if (newAnalysis) AppendToRoot(new (std::nothrow) TAnalysisChunk(newAnalysis));
}
