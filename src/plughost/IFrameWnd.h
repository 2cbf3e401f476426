// The toolkit frame window as the model side sees it: a top-level window that
// reports its window and client rectangles, moves and sizes in one step, takes a
// title and yields the native handle that the plug-in's editor is opened in.
#pragma once
#include <cstdint>

#include "foundation/Base.h"
#include "foundation/Geometry.h"
#include "foundation/TStr.h"

class IMenu;

class IFrameWnd : public virtual IBase {
public:
  // The outer rectangle in screen coordinates.
  virtual TArea GetWindowRect() = 0;
  // The client area, (0, 0) to its width and height.
  virtual TArea GetClientRect() = 0;
  // Moves the window to rect's top-left corner and gives it rect's outer size.
  virtual void MoveWindow(const TArea& rect) = 0;
  virtual void SetText(const TStr& text) = 0;
  virtual TStr GetText() = 0;
  // The native window for effEditOpen; 0 when the frame has none (headless).
  virtual uintptr_t GetNativeHandle() = 0;
  // The menu bar goes into the non-client area; null detaches it.
  virtual void AttachMenu(IMenu* menu) = 0;
  virtual IMenu* GetMenu() = 0;
  virtual void SetLargeIcon(int32_t resource) = 0;
  // Show modes of the window system (1 = show normal).
  virtual void Show(int32_t mode) = 0;
  virtual void Paint() = 0;
};

// Makes the frame windows of the program. The window toolkit installs its own;
// without one, frames are headless.
class IFrameFactory {
public:
  virtual ~IFrameFactory() = default;
  // Null when the frame cannot be made.
  virtual IFrameWnd* CreateFrame(const TStr& windowName, uint32_t style) = 0;
};

// Installs the factory used from now on (null: headless frames). Answers the old one.
IFrameFactory* SetFrameFactory(IFrameFactory* factory);
IFrameFactory& GetFrameFactory();
