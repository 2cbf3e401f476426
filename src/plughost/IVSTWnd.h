// The window that shows the plug-in's editor; its frame is the program's main window.
#pragma once
#include "IFrameWnd.h"

class IVSTWnd : public virtual IBase {
public:
  // Moves the frame to position (a 0 coordinate keeps the current position) and
  // gives its client area the width and height of size (0 takes the editor's own).
  virtual void SetPlacement(const TPnt& position, const TArea& size) = 0;
  virtual void SetTitle(const TStr& text) = 0;
  // Null when the frame could not be made.
  virtual IFrameWnd* GetFrame() = 0;
};
