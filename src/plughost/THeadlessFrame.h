// A frame window without pixels: it keeps its position, size, title, icon, menu and
// show state, and has no native handle. The program's frame when there is no
// window toolkit; with chosen non-client margins it also serves tests.
#pragma once
#include "IFrameWnd.h"

class THeadlessFrame : public TBase, public virtual IFrameWnd {
public:
  // Where the window system puts a window that asks for its default rectangle.
  static constexpr TArea defaultRect{0, 0, 0, 0};

  // The margins between the outer and the client rectangle.
  explicit THeadlessFrame(const TArea& margins = {}, const TStr& text = TStr());

  TArea GetWindowRect() override { return window; }
  TArea GetClientRect() override;
  void MoveWindow(const TArea& rect) override;
  void SetText(const TStr& newText) override { text = newText; }
  TStr GetText() override { return text; }
  uintptr_t GetNativeHandle() override { return 0; }
  void AttachMenu(IMenu* newMenu) override { menu = newMenu; }
  IMenu* GetMenu() override { return menu; }
  void SetLargeIcon(int32_t resource) override { icon = resource; }
  void Show(int32_t mode) override { showMode = mode; }
  void Paint() override { ++paintCount; }

  int32_t GetLargeIcon() const { return icon; }
  int32_t GetShowMode() const { return showMode; }
  int32_t GetPaintCount() const { return paintCount; }
  int32_t GetMoveCount() const { return moveCount; }

private:
  TArea margins;
  TArea window;
  TStr text;
  IMenu* menu = nullptr;
  int32_t icon = 0;
  int32_t showMode = 0;
  int32_t paintCount = 0;
  int32_t moveCount = 0;
};
