// The computer keyboard of the program's frames: every key press and release that
// reaches a frame (whether the pointer is over the editor, which takes only the
// mouse, or over the menu bar) goes to the host's key mapping with the modifier
// state (Shift wins over Ctrl), the set-1 scan code (the X11 key code less 8) and
// down or up. Auto-repeats are dropped. Presses with Alt or the logo key are the
// window system's (the menu's access keys) and are left alone; the modifier keys
// themselves are not passed on. A key whose press went to the host always gets its
// release there, also when the release arrives in a popup menu or the frame loses
// the keyboard first.
//
// Threading: the user-interface thread only. Install it as the application's event
// filter.
#pragma once
#include <QObject>
#include <functional>
#include <set>

class QKeyEvent;
class QWidget;

class TQtKeyboard : public QObject {
public:
  using TSink = std::function<void(int32_t modifier, int32_t scanCode, bool down, bool repeat)>;

  // Null sink: the current application's host (THost::OnKey).
  explicit TQtKeyboard(TSink sink = {});

  bool eventFilter(QObject* watched, QEvent* event) override;

  // The set-1 scan code of an X11 key code, or -1 when there is none.
  static int32_t ScanCodeForKeyCode(uint32_t keyCode);
  // Sends the release of every key that is still down.
  void ReleaseHeldKeys();

private:
  bool OnKey(const QWidget* receiver, const QKeyEvent& event, bool down);
  void Send(int32_t modifier, int32_t scanCode, bool down);

  TSink sink;
  std::set<int32_t> held;
};
