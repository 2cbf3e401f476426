// The open, save and folder dialogs as the model side sees them. The platform side
// installs a presenter (console now, the window toolkit later); tests install the
// scripted one.
#pragma once
#include <cstdint>
#include <vector>

#include "TStr.h"

struct TFileFilter {
  TStr description;  // "WAV Files (*.wav)"
  TStr pattern;      // "*.wav"
};

enum class EFileDialog { Open, Save, Folder };

struct TFileDialogRequest {
  EFileDialog kind = EFileDialog::Open;
  TStr title;
  int32_t fileType = 0;  // the file type of the table the filters come from
  std::vector<TFileFilter> filters;
  TStr defaultExtension;  // without point; empty when the type has none
  TStr folder;            // where the dialog starts
  TStr name;              // proposed name with extension (save dialog)
};

class IFileDialogPresenter {
public:
  virtual ~IFileDialogPresenter() = default;
  // Answers true and the chosen path (a folder for EFileDialog::Folder) on OK,
  // false on Cancel.
  virtual bool Present(const TFileDialogRequest& request, TStr& chosen) = 0;
};

// Installs the presenter used from now on (null restores the console presenter).
// Answers the one it replaced.
IFileDialogPresenter* SetFileDialogPresenter(IFileDialogPresenter* presenter);
IFileDialogPresenter& GetFileDialogPresenter();
