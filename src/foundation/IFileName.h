// File names: folder, name and file type, the program's file type table and its
// open, save and folder dialogs.
#pragma once
#include <cstdint>
#include <vector>

#include "Base.h"
#include "IFileDialogPresenter.h"
#include "TStr.h"

// File types of every file dialog: the type number selects the filter list and
// the default extension.
enum EFileType : int32_t {
  FileTypeNone = 0,
  FileTypeSession = 1,
  FileTypeInstrument = 2,
  FileTypeMacro = 3,
  FileTypeWav = 4,
  FileTypeAiff = 5,
  FileTypeSd2 = 6,
  FileTypeMap = 7,
  FileTypeMidi = 8,
  FileTypeSnapshot = 9,
  FileTypeBank = 10,
  FileTypePreset = 11,
  FileTypeProgram = 12,
  FileTypePlain = 13,
  FileTypeAudio = 14,
  FileTypeSample = 15,
  FileTypeAll = 16,
  FileTypeEmpty = 17,
  FileTypeBankOrPreset = 18,
  FileTypeCount = 19
};

struct TFileType {
  const char* extension;  // without point; "" when the type has none
  std::vector<TFileFilter> filters;
};

// The row of the table for type; a type outside the table gets the empty row of type 0.
const TFileType& GetFileType(int32_t type);
// The type whose default extension is extension (without point, compared without
// regard to case), or FileTypeNone.
int32_t FindFileType(const TStr& extension);

class IFileName : public virtual IBase {
public:
  static IFileName* Create();
  // A name split from path (see SetPath).
  static IFileName* Create(const TStr& path);

  virtual const TStr& GetFolder() const = 0;
  // Both "\" and "/" separate; trailing separators are removed ("/" stays "/").
  virtual void SetFolder(const TStr& folder) = 0;
  virtual const TStr& GetName() const = 0;
  virtual void SetName(const TStr& name) = 0;
  virtual int32_t GetType() const = 0;
  virtual void SetType(int32_t type) = 0;
  virtual void CopyFrom(const IFileName& other) = 0;

  // The name with the type's extension ("name.wav" for type 4, "name" for type 0).
  virtual TStr GetNameWithExtension() const = 0;
  // Folder, "/", name with extension; only the name when there is no folder.
  virtual TStr GetPath() const = 0;
  // Splits path into folder, name and type: an extension of the table sets the type
  // and leaves the name; a name without extension takes fallbackType when that type
  // has a default extension; any other name is kept whole with type 0.
  virtual void SetPath(const TStr& path, int32_t fallbackType = FileTypeNone) = 0;
  // Sets the type from an extension of the table; answers false (type unchanged)
  // when it is not in the table.
  virtual bool SetTypeFromExtension(const TStr& extension) = 0;

  virtual bool Exists() const = 0;
  // Sets the folder to the running program's folder.
  virtual void SetProgramFolder() = 0;
  // Creates a new empty file with a unique name in the folder (the program's folder
  // when none is set) and takes that name with type 0. False when the system refuses.
  virtual bool SetTempName(const TStr& prefix) = 0;
  // Starts the file as a program.
  virtual bool Run() const = 0;

  // The dialogs: filters and default extension from the type. On OK the chosen path
  // is split into folder, name and type and the answer is true; on Cancel nothing
  // changes and the answer is false.
  virtual bool OpenDialog(const TStr& title) = 0;
  virtual bool SaveDialog(const TStr& title) = 0;
  // The folder browser; on OK the folder is set.
  virtual bool ChooseFolder(const TStr& title) = 0;
};
