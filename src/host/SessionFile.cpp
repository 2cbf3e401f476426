#include "SessionFile.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "foundation/IFile.h"
#include "foundation/IFileSystem.h"
#include "foundation/Messages.h"
#include "midi/IMidiInOut.h"
#include "plughost/IVSTPlug.h"

namespace Msg {
TParamStr notValidSession("Not a valid Thudra file.");
}  // namespace Msg

namespace {
struct TSignature {
  uint8_t bytes[Session::signatureBytes];
  int32_t byteOrder;
};
// In the order the reader tries them.
constexpr TSignature signatures[] = {
    {{0x3A, 0x01, 0x01, 0x00, 0x00}, LittleEndian},
    {{0x3A, 0x02, 0x02, 0x00, 0x00}, BigEndian},
    {{0x3A, 0x01, 0x01, 0x00, 0x01}, LittleEndian},
    {{0x3A, 0x02, 0x02, 0x00, 0x01}, BigEndian},
};

[[noreturn]] void NotValid() { ThrowError(&Msg::notValidSession); }

// Closes the file when the scope ends, also on the way out of an error.
class TOpenFile {
public:
  TOpenFile() : file(IFile::Create()) {
    if (!file) ThrowOutOfMemory();
  }
  ~TOpenFile() {
    RunDestructorBody([this] {
      if (file) {
        file->Close();
        file->Release();
      }
    });
  }
  TOpenFile(const TOpenFile&) = delete;
  TOpenFile& operator=(const TOpenFile&) = delete;
  IFile* operator->() const { return file; }

private:
  IFile* file;
};

// The temporary file beside the session: the same folder, so that the rename
// replaces the old file in one step.
void SetTempNameFor(const IFileName& name, IFileName& temp) {
  temp.SetFolder(name.GetFolder());
  temp.SetName(name.GetNameWithExtension() + ".tmp");
  temp.SetType(FileTypeNone);
}

void WriteBody(const IFileName& target, IMidiInOut* port, const void* data, int32_t size) {
  TOpenFile file;
  file->OpenWrite(target);
  file->WriteRaw(signatures[0].bytes, Session::signatureBytes);
  file->SetByteOrder(LittleEndian);
  file->SetTransformActive(false);
  file->WriteStr(Session::identifier);
  file->WriteUInt32(Session::version);
  file->WriteUInt16(port ? port->GetChannelMask() : 0xFFFF);
  file->WriteUInt32(port ? port->GetFilterBits() : 0);
  file->WriteInt32(port ? port->GetThrough() : 0);
  file->WriteInt32(size);
  file->WriteRaw(data, size);
  file->Close();
}
}  // namespace

void SetLastSessionName(IFileName& name) {
  name.SetProgramFolder();
  name.SetName(Session::lastSessionName);
  name.SetType(FileTypeSession);
}

void SaveSessionFile(const IFileName& name, IMidiInOut* port, IVSTPlug* plug) {
  void* data = nullptr;
  const int32_t size = plug ? plug->GetChunk(&data, 0) : 0;
  if (size <= 0 || !data) return;
  EPtr<IFileName> temp(IFileName::Create());
  if (!temp) ThrowOutOfMemory();
  SetTempNameFor(name, *temp);
  const TStr tempPath = temp->GetPath();
  try {
    WriteBody(*temp, port, data, size);
  } catch (...) {
    GetFileSystem().Remove(tempPath);
    // The user knows the session by its own name, not by the temporary one.
    if (TParamStr* pending = GetPendingError()) pending->SetParam(1, name.GetPath());
    throw;
  }
  if (std::rename(tempPath.Text(), name.GetPath().Text()) != 0) {
    GetFileSystem().Remove(tempPath);
    Msg::fileWriteError.SetParam(1, name.GetPath());
    ThrowError(&Msg::fileWriteError);
  }
}

namespace {
int32_t ReadSignature(IFile* file) {
  uint8_t bytes[Session::signatureBytes];
  file->ReadRaw(bytes, Session::signatureBytes);
  for (const TSignature& signature : signatures) {
    if (std::memcmp(bytes, signature.bytes, Session::signatureBytes) == 0) return signature.byteOrder;
  }
  NotValid();
}

void ReadSession(const IFileName& name, IMidiInOut* port, IVSTPlug* plug, TSessionInfo& info, bool keepChunk) {
  TOpenFile file;
  file->OpenRead(name);
  const int32_t byteOrder = ReadSignature(file.operator->());
  file->SetByteOrder(byteOrder);
  info.byteOrder = byteOrder;

  const TStr identifier = file->ReadStr();
  info.haveIdentifier = true;
  info.identifier = identifier;
  if (!(identifier == Session::identifier)) NotValid();

  const uint32_t version = file->ReadUInt32();
  info.haveVersion = true;
  info.version = version;
  if (version > Session::version) NotValid();

  const uint16_t mask = file->ReadUInt16();
  if (port) port->SetChannelMask(mask);
  const uint32_t filter = file->ReadUInt32();
  if (port) port->SetFilterBits(filter);
  const int32_t through = file->ReadInt32();
  if (port) port->SetThrough(through);
  info.haveMidi = true;

  const int32_t size = file->ReadInt32();
  info.haveChunkSize = true;
  info.chunkSize = size;
  // Checked before anything is allocated: a size that the file cannot hold is a
  // damaged file, not a reason to ask for memory.
  const int64_t remaining = file->GetSize() - file->Tell();
  if (size <= 0 || size > remaining) NotValid();
  std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[size]);
  if (!chunk) {
    ShowOutOfMemory(EOutOfMemory::Object);
    NotValid();
  }
  file->ReadRaw(chunk.get(), size);
  file->Close();

  if (plug) plug->SetChunk(chunk.get(), size, 0);
  info.chunkHandedOver = plug != nullptr;
  if (plug && keepChunk) info.chunk.assign(chunk.get(), chunk.get() + size);
}
}  // namespace

int32_t LoadSessionFile(const IFileName& name, IMidiInOut* port, IVSTPlug* plug, TSessionInfo* info) {
  TSessionInfo local;
  TSessionInfo& read = info ? *info : local;
  read = TSessionInfo();
  try {
    ReadSession(name, port, plug, read, info != nullptr);
    return 1;
  } catch (EError) {
  } catch (const std::bad_alloc&) {
  }
  ClearPendingError();
  ShowError(Msg::notValidSession, 0);
  return 0;
}
