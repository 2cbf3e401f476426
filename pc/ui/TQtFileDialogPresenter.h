// The open, save and folder dialogs on the window toolkit: the title, the filter list
// and the default extension of the request's file type; the dialog starts in the
// request's folder or, without one, in the folder of the last file of that type
// chosen in this run (the home folder at first). Every filter shows its description
// as the table gives it and matches its patterns ("*.*" matches every file).
//
// Threading: Present from any thread (a call from another thread is shown on the
// user-interface thread, as message boxes are).
#pragma once
#include <QFileDialog>
#include <QStringList>
#include <map>

#include "foundation/IFileDialogPresenter.h"
#include "pc/foundation/IEventLoop.h"

class TQtFileDialogPresenter : public IFileDialogPresenter {
public:
  explicit TQtFileDialogPresenter(IEventLoop& loop);

  bool Present(const TFileDialogRequest& request, TStr& chosen) override;

  // The dialog for request (user-interface thread).
  void Configure(QFileDialog& dialog, const TFileDialogRequest& request) const;
  // The toolkit's filter strings of a request's filter list.
  static QStringList NameFilters(const std::vector<TFileFilter>& filters);
  // Where a dialog for request starts.
  QString StartFolder(const TFileDialogRequest& request) const;

private:
  bool ShowHere(const TFileDialogRequest& request, TStr& chosen);

  IEventLoop& loop;
  std::map<int32_t, QString> lastFolders;  // by file type; user-interface thread
};
