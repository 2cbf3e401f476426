#include "TQtKeyboard.h"

#include <QKeyEvent>
#include <QWidget>

#include "TQtFrame.h"
#include "host/THost.h"

namespace {
// X11 key codes are the kernel's key numbers plus 8, and those are set-1 scan codes
// for the main block of the keyboard.
constexpr uint32_t keyCodeOffset = 8;

bool IsModifierKey(int key) {
  return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_AltGr ||
         key == Qt::Key_Meta || key == Qt::Key_Super_L || key == Qt::Key_Super_R;
}
}  // namespace

TQtKeyboard::TQtKeyboard(TSink keySink) : sink(std::move(keySink)) {}

int32_t TQtKeyboard::ScanCodeForKeyCode(uint32_t keyCode) {
  if (keyCode <= keyCodeOffset || keyCode > 0xFF) return -1;
  return static_cast<int32_t>(keyCode - keyCodeOffset);
}

void TQtKeyboard::Send(int32_t modifier, int32_t scanCode, bool down) {
  if (sink) {
    sink(modifier, scanCode, down, false);
  } else if (THost* host = dynamic_cast<THost*>(TApp::GetCurrent())) {
    host->OnKey(modifier, scanCode, down, false);
  }
}

void TQtKeyboard::ReleaseHeldKeys() {
  const std::set<int32_t> keys = std::move(held);
  held.clear();
  for (int32_t scanCode : keys) Send(THost::NoModifier, scanCode, false);
}

bool TQtKeyboard::OnKey(const QWidget* receiver, const QKeyEvent& event, bool down) {
  if (IsModifierKey(event.key())) return false;
  const int32_t scanCode = ScanCodeForKeyCode(event.nativeScanCode());
  if (scanCode < 0) return false;
  const bool inFrame = IsFrameWidget(receiver);
  if (event.isAutoRepeat()) return inFrame || held.count(scanCode) != 0;
  if (!down) {
    // The release of a key that sounds goes to the host wherever it arrives.
    if (held.erase(scanCode) == 0 && !inFrame) return false;
    Send(THost::NoModifier, scanCode, false);
    return true;
  }
  if (!inFrame) return false;
  const Qt::KeyboardModifiers modifiers = event.modifiers();
  if (modifiers & (Qt::AltModifier | Qt::MetaModifier)) return false;
  const int32_t modifier =
      THost::ModifierFor((modifiers & Qt::ShiftModifier) != 0, (modifiers & Qt::ControlModifier) != 0);
  held.insert(scanCode);
  Send(modifier, scanCode, true);
  return true;
}

bool TQtKeyboard::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* widget = qobject_cast<QWidget*>(watched);
      if (!widget) return false;
      return OnKey(widget, *static_cast<QKeyEvent*>(event), event->type() == QEvent::KeyPress);
    }
    case QEvent::WindowDeactivate: {
      auto* widget = qobject_cast<QWidget*>(watched);
      if (widget && widget->isWindow() && IsFrameWidget(widget)) ReleaseHeldKeys();
      return false;
    }
    default: return false;
  }
}
