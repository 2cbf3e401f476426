#include "TQtFileDialogPresenter.h"

#include <QDir>
#include <QFileInfo>

#include "foundation/ConsoleFileDialogPresenter.h"
#include "pc/foundation/LoopCall.h"

namespace {
QString Text(const TStr& text) { return QString::fromUtf8(text.Text()); }

// "*.wav;*.aif" as the toolkit's space-separated patterns; "*.*" means every file.
QString Patterns(const TStr& pattern) {
  QStringList patterns;
  for (const QString& one : Text(pattern).split(';', Qt::SkipEmptyParts)) {
    const QString trimmed = one.trimmed();
    patterns << (trimmed == QStringLiteral("*.*") ? QStringLiteral("*") : trimmed);
  }
  return patterns.join(' ');
}
}  // namespace

TQtFileDialogPresenter::TQtFileDialogPresenter(IEventLoop& eventLoop) : loop(eventLoop) {}

QStringList TQtFileDialogPresenter::NameFilters(const std::vector<TFileFilter>& filters) {
  // The dialog hides the pattern part in brackets at the end, so that the
  // description shows as it is and the patterns still select the files.
  QStringList list;
  for (const TFileFilter& filter : filters)
    list << Text(filter.description) + QStringLiteral(" (") + Patterns(filter.pattern) + QStringLiteral(")");
  return list;
}

QString TQtFileDialogPresenter::StartFolder(const TFileDialogRequest& request) const {
  const QString folder = Text(request.folder);
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
  auto last = lastFolders.find(request.fileType);
  if (last != lastFolders.end() && QFileInfo(last->second).isDir()) return last->second;
  return QDir::homePath();
}

void TQtFileDialogPresenter::Configure(QFileDialog& dialog, const TFileDialogRequest& request) const {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setWindowTitle(Text(request.title));
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.setDirectory(StartFolder(request));
  switch (request.kind) {
    case EFileDialog::Open:
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(QFileDialog::ExistingFile);
      break;
    case EFileDialog::Save:
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      if (!request.name.IsEmpty()) dialog.selectFile(Text(request.name));
      break;
    case EFileDialog::Folder:
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(QFileDialog::Directory);
      dialog.setOption(QFileDialog::ShowDirsOnly);
      break;
  }
  if (request.kind != EFileDialog::Folder) {
    const QStringList filters = NameFilters(request.filters);
    if (!filters.isEmpty()) {
      dialog.setOption(QFileDialog::HideNameFilterDetails);
      dialog.setNameFilters(filters);
    }
    dialog.setDefaultSuffix(Text(request.defaultExtension));
  }
}

bool TQtFileDialogPresenter::ShowHere(const TFileDialogRequest& request, TStr& chosen) {
  QFileDialog dialog;
  Configure(dialog, request);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  const QString path = dialog.selectedFiles().first();
  chosen = TStr(path.toUtf8().constData());
  lastFolders[request.fileType] = request.kind == EFileDialog::Folder ? path : QFileInfo(path).absolutePath();
  return true;
}

bool TQtFileDialogPresenter::Present(const TFileDialogRequest& request, TStr& chosen) {
  bool accepted = false;
  if (CallOnLoopThread(loop, [&] { accepted = ShowHere(request, chosen); })) return accepted;
  TConsoleFileDialogPresenter console;
  return console.Present(request, chosen);
}
