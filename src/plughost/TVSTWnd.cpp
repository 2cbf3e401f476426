#include "TVSTWnd.h"

#include "IVSTPlug.h"
#include "foundation/Messages.h"

TVSTWnd::TVSTWnd(IVSTPlug* owner) : plug(owner), frame(nullptr) {
  try {
    frame = GetFrameFactory().CreateFrame(windowName, frameStyle);
  } catch (...) {
    frame = nullptr;
  }
  if (!frame) ShowOutOfMemory(EOutOfMemory::Object);
}

TVSTWnd::~TVSTWnd() {
  RunDestructorBody([this] {
    IFrameWnd* old = frame;
    frame = nullptr;
    ::Release(old);
  });
}

void TVSTWnd::SetPlacement(const TPnt& position, const TArea& size) {
  if (!frame) return;
  const TArea window = frame->GetWindowRect();
  const TArea client = frame->GetClientRect();
  int32_t width = size.Width();
  int32_t height = size.Height();
  // A plug-in that asks for a negative or absurdly large size gets no change.
  if (width < 0 || height < 0 || width > maxClientSize || height > maxClientSize) return;
  if (width == 0 || height == 0) {
    ERect* rect = nullptr;
    if (plug && plug->EditGetRect(&rect) && rect) {
      width = rect->right - rect->left;
      height = rect->bottom - rect->top;
    } else {
      // No editor rectangle to take: the client keeps its size.
      width = client.Width();
      height = client.Height();
    }
  }
  TPnt at = position;
  if (at.x == 0 || at.y == 0) at = {window.left, window.top};
  const int32_t outerWidth = width + (window.Width() - client.Width());
  const int32_t outerHeight = height + (window.Height() - client.Height());
  frame->MoveWindow({at.x, at.y, at.x + outerWidth, at.y + outerHeight});
}

void TVSTWnd::SetTitle(const TStr& text) {
  title = text;
  if (frame) frame->SetText(text);
}
