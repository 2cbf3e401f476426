// The file name object behind IFileName.
#pragma once
#include "IFileName.h"

class TFileName : public TBase, public IFileName {
public:
  const TStr& GetFolder() const override { return folder; }
  void SetFolder(const TStr& newFolder) override;
  const TStr& GetName() const override { return name; }
  void SetName(const TStr& newName) override { name = newName; }
  int32_t GetType() const override { return type; }
  void SetType(int32_t newType) override;
  void CopyFrom(const IFileName& other) override;

  TStr GetNameWithExtension() const override;
  TStr GetPath() const override;
  void SetPath(const TStr& path, int32_t fallbackType = FileTypeNone) override;
  bool SetTypeFromExtension(const TStr& extension) override;

  bool Exists() const override;
  void SetProgramFolder() override;
  bool SetTempName(const TStr& prefix) override;
  bool Run() const override;

  bool OpenDialog(const TStr& title) override;
  bool SaveDialog(const TStr& title) override;
  bool ChooseFolder(const TStr& title) override;

private:
  bool RunFileDialog(EFileDialog kind, const TStr& title);

  TStr folder;
  TStr name;
  int32_t type = FileTypeNone;
  // The spelling of the extension when it was taken from a path ("WAV"); empty
  // means the table's extension.
  TStr extension;
};
