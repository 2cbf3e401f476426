// The operating system's file services as the model side sees them. The platform
// side installs its implementation at start-up; until then every operation fails
// (files do not open, nothing exists), so the program stays safe without one.
#pragma once
#include <cstdint>

#include "Base.h"
#include "TStr.h"

using TFileHandle = int64_t;
constexpr TFileHandle invalidFileHandle = -1;

// How a file is opened, with the sharing rules of each mode:
// Read      - existing file, read only, others may read but not write; sequential hint.
// Write     - created or truncated, write only, not shared.
// ReadWrite - opened or created, read and write, not shared.
enum class EFileMode { Read, Write, ReadWrite };

// One entry found by a folder search.
struct TFoundFile {
  TStr name;  // without folder
  bool isFolder = false;
  int64_t size = 0;
};

// An open folder search; releasing it closes the search.
class IFolderSearch : public virtual IBase {
public:
  // Answers false when no further entry matches.
  virtual bool Next(TFoundFile& found) = 0;
};

class IFileSystem {
public:
  virtual ~IFileSystem() = default;

  // Answers the handle, or invalidFileHandle with the system error code in error.
  virtual TFileHandle Open(const TStr& path, EFileMode mode, int& error) = 0;
  // Bytes moved (fewer than asked only at the end of the file), or -1 with error set.
  virtual int64_t Read(TFileHandle handle, void* buffer, int64_t bytes, int& error) = 0;
  virtual int64_t Write(TFileHandle handle, const void* buffer, int64_t bytes, int& error) = 0;
  // Absolute positioning; answers the new position or -1 with error set.
  virtual int64_t Seek(TFileHandle handle, int64_t position, int& error) = 0;
  virtual int64_t Tell(TFileHandle handle) = 0;
  virtual int64_t GetSize(TFileHandle handle) = 0;
  virtual bool Close(TFileHandle handle, int& error) = 0;

  virtual bool Exists(const TStr& path) = 0;
  virtual bool Remove(const TStr& path) = 0;
  // The folder that holds the running program, without trailing separator.
  virtual TStr GetProgramFolder() = 0;
  // Creates a new empty file with a unique name in folder and answers its path
  // (empty on failure).
  virtual TStr CreateTempFile(const TStr& folder, const TStr& prefix) = 0;
  // Starts the file as a program without waiting for it.
  virtual bool Run(const TStr& path) = 0;
  // Entries of folder matching pattern ("*.wav", "*.wav;*.aif", "*.*" for all);
  // null when the folder cannot be read.
  virtual IFolderSearch* Search(const TStr& folder, const TStr& pattern) = 0;
  // The system's text for an error code.
  virtual TStr ErrorText(int error) = 0;
};

// Installs the file services used from now on (null: none). Answers the previous one.
IFileSystem* SetFileSystem(IFileSystem* fileSystem);
IFileSystem& GetFileSystem();
