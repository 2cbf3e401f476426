// Message boxes on the window toolkit: the caption, the text, the icon and the
// buttons that the platform flags ask for (OK; OK/Cancel; Yes/No; Yes/No/Cancel; the
// default button as the flags say, the first one otherwise), application-modal and
// without owner window. A message raised on another thread is shown on the
// user-interface thread while the caller waits for its answer; when the program is
// quitting before the box could be shown, it goes to standard error with the answer
// that does nothing (as without a window). A thread marked as one that must not wait
// (the audio thread) never gets here: ShowMessage answers it at once.
//
// Threading: Present from any thread.
#pragma once
#include <QMessageBox>

#include "foundation/Messages.h"
#include "pc/foundation/IEventLoop.h"

class TQtMessagePresenter : public IMessagePresenter {
public:
  explicit TQtMessagePresenter(IEventLoop& loop);

  EAnswer Present(const TStr& text, const TStr& caption, uint32_t flags) override;

  // The box for text, caption and flags (user-interface thread).
  static void Configure(QMessageBox& box, const TStr& text, const TStr& caption, uint32_t flags);
  static EAnswer AnswerFor(int button);

private:
  EAnswer ShowHere(const TStr& text, const TStr& caption, uint32_t flags);

  IEventLoop& loop;
};
