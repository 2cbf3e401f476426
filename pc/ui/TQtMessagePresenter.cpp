#include "TQtMessagePresenter.h"

#include <QAbstractButton>
#include <QPushButton>

#include "foundation/ConsolePresenter.h"
#include "pc/foundation/LoopCall.h"

namespace {
// Icon and default-button flags of the window system.
constexpr uint32_t iconMask = 0xF0;
constexpr uint32_t iconStop = 0x10;
constexpr uint32_t iconQuestion = 0x20;
constexpr uint32_t iconExclamation = 0x30;
constexpr uint32_t iconInformation = 0x40;
constexpr uint32_t defaultButtonMask = 0xF00;
constexpr uint32_t defaultButtonShift = 8;

QMessageBox::Icon IconFor(uint32_t flags) {
  switch (flags & iconMask) {
    case iconStop: return QMessageBox::Critical;
    case iconQuestion: return QMessageBox::Question;
    case iconExclamation: return QMessageBox::Warning;
    case iconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

struct TButtons {
  std::vector<QMessageBox::StandardButton> buttons;  // in the window system's order
  QMessageBox::StandardButton escape;
};

TButtons ButtonsFor(uint32_t flags) {
  switch (flags & MessageFlags::ButtonMask) {
    case MessageFlags::OkCancel: return {{QMessageBox::Ok, QMessageBox::Cancel}, QMessageBox::Cancel};
    case MessageFlags::YesNoCancel:
      return {{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}, QMessageBox::Cancel};
    case MessageFlags::YesNo: return {{QMessageBox::Yes, QMessageBox::No}, QMessageBox::No};
    default: return {{QMessageBox::Ok}, QMessageBox::Ok};
  }
}

QString Text(const TStr& text) { return QString::fromUtf8(text.Text()); }
}  // namespace

TQtMessagePresenter::TQtMessagePresenter(IEventLoop& eventLoop) : loop(eventLoop) {}

void TQtMessagePresenter::Configure(QMessageBox& box, const TStr& text, const TStr& caption, uint32_t flags) {
  box.setWindowTitle(Text(caption));
  box.setText(Text(text));
  box.setIcon(IconFor(flags));
  box.setWindowModality(Qt::ApplicationModal);
  const TButtons kind = ButtonsFor(flags);
  QMessageBox::StandardButtons buttons;
  for (QMessageBox::StandardButton button : kind.buttons) buttons |= button;
  box.setStandardButtons(buttons);
  size_t defaultIndex = (flags & defaultButtonMask) >> defaultButtonShift;
  if (defaultIndex >= kind.buttons.size()) defaultIndex = 0;
  box.setDefaultButton(kind.buttons[defaultIndex]);
  box.setEscapeButton(kind.escape);
}

EAnswer TQtMessagePresenter::AnswerFor(int button) {
  switch (button) {
    case QMessageBox::Ok: return EAnswer::Ok;
    case QMessageBox::Cancel: return EAnswer::Cancel;
    case QMessageBox::Yes: return EAnswer::Yes;
    case QMessageBox::No: return EAnswer::No;
    default: return EAnswer::Other;
  }
}

EAnswer TQtMessagePresenter::ShowHere(const TStr& text, const TStr& caption, uint32_t flags) {
  QMessageBox box;
  Configure(box, text, caption, flags);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  return AnswerFor(clicked ? box.standardButton(clicked) : QMessageBox::NoButton);
}

EAnswer TQtMessagePresenter::Present(const TStr& text, const TStr& caption, uint32_t flags) {
  EAnswer answer = EAnswer::Other;
  if (CallOnLoopThread(loop, [&] { answer = ShowHere(text, caption, flags); })) return answer;
  TConsolePresenter console;
  return console.Present(text, caption, flags);
}
