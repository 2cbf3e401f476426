#include "AudioFileFactory.h"

#include <new>

#include "AudioFileMessages.h"
#include "TAIFFFile.h"
#include "TWAVFile.h"
#include "foundation/Messages.h"

namespace {
TStr ReadFirstID(IFile& file) {
  char id[TFileChunk::idBytes] = {};
  if (file.GetSize() >= TFileChunk::idBytes) {
    file.Seek(0);
    file.ReadRaw(id, TFileChunk::idBytes);
  }
  return TStr(id, TFileChunk::idBytes);
}
}  // namespace

TChunkedAudioFile* OpenAudioFile(const IFileName& name, int32_t bufferFrames) {
  EPtr<IFile> file(IFile::Create());
  if (!file) ThrowOutOfMemory();
  file->OpenRead(name);
  const TStr id = ReadFirstID(*file);
  TChunkedAudioFile* audio = nullptr;
  if (id == "RIFF") audio = new (std::nothrow) TWAVFile;
  else if (id == "FORM") audio = new (std::nothrow) TAIFFFile;
  else ThrowFileMessage(Msg::formatNotSupported, name.GetPath());
  if (!audio) ThrowOutOfMemory();
  EPtr<IAudioFile> owner(audio);
  audio->AdoptFile(file.Detach());
  audio->Open(bufferFrames);
  owner.Detach();
  return audio;
}

TChunkedAudioFile* CreateAudioFile(const IFileName& name, int32_t bits, int32_t channels, int32_t rate) {
  TChunkedAudioFile* audio = nullptr;
  if (name.GetType() == FileTypeAiff) audio = new (std::nothrow) TAIFFFile;
  else audio = new (std::nothrow) TWAVFile;
  if (!audio) ThrowOutOfMemory();
  EPtr<IAudioFile> owner(audio);
  EPtr<IFile> file(IFile::Create());
  if (!file) ThrowOutOfMemory();
  file->OpenWrite(name);
  audio->AdoptFile(file.Detach());
  audio->SetSampleFormat(bits, channels, rate);
  owner.Detach();
  return audio;
}
