#include "TFileName.h"

#include <cctype>

#include "IFileSystem.h"
#include "Messages.h"

namespace {
const std::vector<TFileType>& FileTypeTable() {
  static const TFileFilter all{"All Files (*.*)", "*.*"};
  static const std::vector<TFileType> table = {
      {"", {}},
      {"tsn", {{"Thudra Session (*.tsn)", "*.tsn"}}},
      {"ism", {{"Instruments (*.ism)", "*.ism"}, all}},
      {"mdl", {{"Macros (*.mdl)", "*.mdl"}, all}},
      {"wav", {{"WAV Files (*.wav)", "*.wav"}, all}},
      {"aif", {{"AIFF Files (*.aif)", "*.aif"}, all}},
      {"sd2", {{"SoundDesigner 2 (*.sd2)", "*.sd2"}, all}},
      {"map", {{"Map Files (*.map)", "*.map"}, all}},
      {"mid", {{"Standard Midi Files (*.mid)", "*.mid"}, all}},
      {"ssf", {{"Snapshot Files (*.ssf)", "*.ssf"}}},
      {"bnk", {{"Bank Files (*.bnk)", "*.bnk"}}},
      {"pst", {{"Preset Files (*.pst)", "*.pst"}}},
      {"exe", {{"Program Files (*.exe)", "*.exe"}, all}},
      {"", {}},
      {"",
       {{"Audiofiles (*.wav)(*.aif)", "*.wav;*.aif"},
        {"WAV Files (*.wav)", "*.wav"},
        {"AIFF Files (*.aif)", "*.aif"},
        all}},
      {"",
       {{"Samplefiles (*.map)(*.wav)(*.aif)", "*.map;*.wav;*.aif"},
        {"Map Files (*.map)", "*.map"},
        {"WAV Files (*.wav)", "*.wav"},
        {"AIFF Files (*.aif)", "*.aif"},
        all}},
      {"", {all}},
      {"", {}},
      {"", {{"Banks and Presets (*.bnk)(*.pst)", "*.bnk;*.pst"}}},
  };
  return table;
}

bool SameIgnoringCase(const TStr& a, const char* b) {
  int32_t i = 0;
  for (; i < a.Length() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return i == a.Length() && b[i] == 0;
}

TStr WithSlashes(const TStr& path) {
  TStr result(path);
  result.ReplaceAll("\\", "/");
  return result;
}

int32_t LastIndexOf(const TStr& text, char c) {
  for (int32_t i = text.Length() - 1; i >= 0; --i)
    if (text[i] == c) return i;
  return -1;
}
}  // namespace

const TFileType& GetFileType(int32_t type) {
  const auto& table = FileTypeTable();
  if (type < 0 || type >= static_cast<int32_t>(table.size())) return table[FileTypeNone];
  return table[type];
}

int32_t FindFileType(const TStr& extension) {
  if (extension.IsEmpty()) return FileTypeNone;
  const auto& table = FileTypeTable();
  for (size_t type = 1; type < table.size(); ++type)
    if (table[type].extension[0] && SameIgnoringCase(extension, table[type].extension)) return static_cast<int32_t>(type);
  return FileTypeNone;
}

IFileName* IFileName::Create() { return CreateOrReport<TFileName>(); }

IFileName* IFileName::Create(const TStr& path) {
  IFileName* name = Create();
  if (name) name->SetPath(path);
  return name;
}

void TFileName::SetFolder(const TStr& newFolder) {
  TStr result = WithSlashes(newFolder);
  int32_t length = result.Length();
  while (length > 1 && result[length - 1] == '/') --length;
  folder = result.Mid(0, length);
}

void TFileName::SetType(int32_t newType) {
  type = newType;
  extension = TStr();
}

void TFileName::CopyFrom(const IFileName& other) {
  if (&other == this) return;
  folder = other.GetFolder();
  name = other.GetName();
  type = other.GetType();
  extension = TStr();
  // Keeps the other's spelling of the extension.
  const TStr full = other.GetNameWithExtension();
  if (full.Length() > name.Length() + 1) extension = full.Mid(name.Length() + 1, full.Length());
  if (extension == GetFileType(type).extension) extension = TStr();
}

TStr TFileName::GetNameWithExtension() const {
  const TStr ext = extension.IsEmpty() ? TStr(GetFileType(type).extension) : extension;
  if (ext.IsEmpty()) return name;
  return name + "." + ext;
}

TStr TFileName::GetPath() const {
  const TStr file = GetNameWithExtension();
  if (folder.IsEmpty()) return file;
  if (folder == "/") return "/" + file;
  return folder + "/" + file;
}

void TFileName::SetPath(const TStr& path, int32_t fallbackType) {
  const TStr full = WithSlashes(path);
  const int32_t slash = LastIndexOf(full, '/');
  TStr file = full;
  if (slash == 0)
    SetFolder("/");
  else if (slash > 0)
    SetFolder(full.Mid(0, slash));
  else
    folder = TStr();
  if (slash >= 0) file = full.Mid(slash + 1, full.Length());

  extension = TStr();
  const int32_t dot = LastIndexOf(file, '.');
  if (dot > 0 && dot < file.Length() - 1) {
    const TStr ext = file.Mid(dot + 1, file.Length());
    const int32_t found = FindFileType(ext);
    if (found != FileTypeNone) {
      name = file.Mid(0, dot);
      type = found;
      if (!(ext == GetFileType(found).extension)) extension = ext;
      return;
    }
  }
  name = file;
  const bool bare = dot <= 0;
  type = bare && GetFileType(fallbackType).extension[0] ? fallbackType : FileTypeNone;
}

bool TFileName::SetTypeFromExtension(const TStr& ext) {
  const TStr bare = ext.Length() > 0 && ext[0] == '.' ? ext.Mid(1, ext.Length()) : ext;
  const int32_t found = FindFileType(bare);
  if (found == FileTypeNone) return false;
  type = found;
  extension = bare == GetFileType(found).extension ? TStr() : bare;
  return true;
}

bool TFileName::Exists() const { return GetFileSystem().Exists(GetPath()); }

void TFileName::SetProgramFolder() { SetFolder(GetFileSystem().GetProgramFolder()); }

bool TFileName::SetTempName(const TStr& prefix) {
  IFileSystem& files = GetFileSystem();
  const TStr where = folder.IsEmpty() ? files.GetProgramFolder() : folder;
  const TStr path = files.CreateTempFile(where, prefix);
  if (path.IsEmpty()) return false;
  const int32_t slash = LastIndexOf(path, '/');
  SetFolder(slash > 0 ? path.Mid(0, slash) : (slash == 0 ? TStr("/") : TStr()));
  name = path.Mid(slash + 1, path.Length());
  SetType(FileTypeNone);
  return true;
}

bool TFileName::Run() const { return GetFileSystem().Run(GetPath()); }

bool TFileName::RunFileDialog(EFileDialog kind, const TStr& title) {
  TFileDialogRequest request;
  request.kind = kind;
  request.title = title;
  request.fileType = type;
  request.filters = GetFileType(type).filters;
  request.defaultExtension = GetFileType(type).extension;
  request.folder = folder;
  if (kind == EFileDialog::Save) request.name = GetNameWithExtension();
  TStr chosen;
  if (!GetFileDialogPresenter().Present(request, chosen) || chosen.IsEmpty()) return false;
  if (kind == EFileDialog::Folder)
    SetFolder(chosen);
  else
    SetPath(chosen, type);
  return true;
}

bool TFileName::OpenDialog(const TStr& title) { return RunFileDialog(EFileDialog::Open, title); }
bool TFileName::SaveDialog(const TStr& title) { return RunFileDialog(EFileDialog::Save, title); }
bool TFileName::ChooseFolder(const TStr& title) { return RunFileDialog(EFileDialog::Folder, title); }
