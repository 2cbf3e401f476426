// The program's frame window on the window toolkit: a top-level window of fixed size
// (no sizing border) with a system menu, a minimize box and a close box, the menu bar
// at the top and below it the client area, a native X11 window of its own in which
// the plug-in's editor opens its child window. The menu bar belongs to the non-client
// margin: the client rectangle is the editor's area only.
//
// Threading: the user-interface thread only.
#pragma once
#include <QPointer>
#include <QWidget>
#include <memory>

#include "plughost/IFrameWnd.h"

class QMenuBar;
class TQtMenuBar;

// The top-level widget; what the close box does is the host's (it asks CanClose and
// quits through the normal shutdown).
class TFrameWidget : public QWidget {
public:
  // style: the window system's style bits (caption, system menu, boxes, sizing border).
  explicit TFrameWidget(uint32_t style);
  QWidget* Client() const { return client; }
  void SetMenuBar(QMenuBar* bar);
  QMenuBar* MenuBar() const { return menuBar; }
  int MenuBarHeight() const;
  // Sizes the window so that the client area is width x height.
  void SetClientSize(int width, int height);

protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void LayOut();

  QWidget* client;
  QMenuBar* menuBar = nullptr;
};

class TQtFrame : public TBase, public virtual IFrameWnd {
public:
  TQtFrame(const TStr& windowName, uint32_t style);
  ~TQtFrame() override;
  TQtFrame(const TQtFrame&) = delete;
  TQtFrame& operator=(const TQtFrame&) = delete;

  TArea GetWindowRect() override;
  TArea GetClientRect() override;
  void MoveWindow(const TArea& rect) override;
  void SetText(const TStr& text) override;
  TStr GetText() override;
  // The X11 window id of the client area.
  uintptr_t GetNativeHandle() override;
  void AttachMenu(IMenu* menu) override;
  IMenu* GetMenu() override { return menu; }
  void SetLargeIcon(int32_t resource) override;
  void Show(int32_t mode) override;
  void Paint() override;

  TFrameWidget* Widget() const { return widget.data(); }
  TQtMenuBar* MenuModel() const { return menuBar.get(); }
  int32_t GetLargeIcon() const { return icon; }
  // The resource path of an icon number.
  static QString IconPath(int32_t resource);

private:
  QPointer<TFrameWidget> widget;
  IMenu* menu = nullptr;
  std::unique_ptr<TQtMenuBar> menuBar;
  int32_t icon = 0;
  uint32_t style;
};

class TQtFrameFactory : public IFrameFactory {
public:
  IFrameWnd* CreateFrame(const TStr& windowName, uint32_t style) override;
};

// True for a widget that belongs to one of the program's frames (not its popups).
bool IsFrameWidget(const QWidget* widget);
