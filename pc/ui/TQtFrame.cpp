#include "TQtFrame.h"

#include <QCloseEvent>
#include <QIcon>
#include <QMenuBar>
#include <QResizeEvent>
#include <QThread>

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include "TQtMenuBar.h"
#include "host/THost.h"
#include "host/TMenu.h"

// The X headers define names that the toolkit's headers use: last.
#include <xcb/xcb.h>

namespace {
// The window system's style bits that the frame understands.
namespace Style {
constexpr uint32_t maximizeBox = 0x00010000;
constexpr uint32_t minimizeBox = 0x00020000;
constexpr uint32_t sizingBorder = 0x00040000;
constexpr uint32_t systemMenu = 0x00080000;
}  // namespace Style

// The editor's own background, so that a client area without editor looks alike.
const QColor clientBackground(0x20, 0x24, 0x28);

Qt::WindowFlags FlagsForStyle(uint32_t style) {
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (style & Style::systemMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (style & Style::minimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  if (style & Style::maximizeBox) flags |= Qt::WindowMaximizeButtonHint;
  return flags;
}

QString Text(const TStr& text) { return QString::fromUtf8(text.Text()); }

// The toolkit tells the window manager that a fixed-size window may still be resized
// (it only sets its minimum and maximum size alike): the Motif hints say it plainly,
// so that no sizing border is drawn. Functions: move, minimize, close (and maximize
// with its box); decorations: border, title, window menu, minimize (maximize) box.
void TellWindowManagerNoSizingBorder(QWidget& window, uint32_t style) {
  if (QGuiApplication::platformName() != QStringLiteral("xcb")) return;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection || (style & Style::sizingBorder)) return;
  constexpr char name[] = "_MOTIF_WM_HINTS";
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof(name) - 1, name), nullptr);
  if (!atom) return;
  constexpr uint32_t hasFunctions = 1, hasDecorations = 2;
  constexpr uint32_t functionMove = 4, functionMinimize = 8, functionMaximize = 16, functionClose = 32;
  constexpr uint32_t decorBorder = 2, decorTitle = 8, decorMenu = 16, decorMinimize = 32, decorMaximize = 64;
  uint32_t functions = functionMove, decorations = decorBorder | decorTitle;
  if (style & Style::systemMenu) {
    functions |= functionClose;
    decorations |= decorMenu;
  }
  if (style & Style::minimizeBox) {
    functions |= functionMinimize;
    decorations |= decorMinimize;
  }
  if (style & Style::maximizeBox) {
    functions |= functionMaximize;
    decorations |= decorMaximize;
  }
  const uint32_t hints[5] = {hasFunctions | hasDecorations, functions, decorations, 0, 0};
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()), atom->atom,
                      atom->atom, 32, 5, hints);
  xcb_flush(connection);
  free(atom);
}
}  // namespace

// ---- The widget ------------------------------------------------------------------

TFrameWidget::TFrameWidget(uint32_t style) : QWidget(nullptr, FlagsForStyle(style)), client(new QWidget(this)) {
  client->setAttribute(Qt::WA_NativeWindow);
  client->setAutoFillBackground(true);
  QPalette palette = client->palette();
  palette.setColor(QPalette::Window, clientBackground);
  client->setPalette(palette);
  // Without a sizing border the size is fixed; it changes only through SetClientSize.
  if (!(style & Style::sizingBorder)) setFixedSize(size());
  LayOut();
}

void TFrameWidget::SetMenuBar(QMenuBar* bar) {
  delete menuBar;
  menuBar = bar;
  if (menuBar) {
    menuBar->setParent(this);
    menuBar->setNativeMenuBar(false);
    menuBar->show();
  }
  SetClientSize(client->width(), client->height());
}

int TFrameWidget::MenuBarHeight() const {
  if (!menuBar) return 0;
  const int forWidth = menuBar->hasHeightForWidth() ? menuBar->heightForWidth(client->width()) : -1;
  return forWidth > 0 ? forWidth : menuBar->sizeHint().height();
}

void TFrameWidget::SetClientSize(int width, int height) {
  client->setFixedSize(width, height);
  setFixedSize(width, MenuBarHeight() + height);
  LayOut();
}

void TFrameWidget::LayOut() {
  const int top = MenuBarHeight();
  if (menuBar) menuBar->setGeometry(0, 0, width(), top);
  client->move(0, top);
}

void TFrameWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void TFrameWidget::closeEvent(QCloseEvent* event) {
  // The window stays until the shutdown destroys it with its editor.
  event->ignore();
  THost* host = dynamic_cast<THost*>(TApp::GetCurrent());
  if (host && !host->CanClose()) return;
  if (TApp* app = TApp::GetCurrent()) app->Quit(0);
}

bool IsFrameWidget(const QWidget* widget) {
  return widget && dynamic_cast<const TFrameWidget*>(widget->window()) != nullptr;
}

// ---- The frame ---------------------------------------------------------------------

TQtFrame::TQtFrame(const TStr& windowName, uint32_t frameStyle) : widget(new TFrameWidget(frameStyle)), style(frameStyle) {
  widget->setObjectName(Text(windowName));
  widget->setWindowTitle(Text(windowName));
}

TQtFrame::~TQtFrame() {
  menuBar.reset();
  if (!widget) return;
  widget->hide();
  // A command chosen in this frame's own menu may be what destroys it: the widget
  // goes once its events are done. After the loop has ended it goes at once.
  if (QThread::currentThread()->loopLevel() > 0)
    widget->deleteLater();
  else
    delete widget.data();
}

TArea TQtFrame::GetWindowRect() {
  const QRect frame = widget->frameGeometry();
  return {frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()};
}

TArea TQtFrame::GetClientRect() {
  const QWidget* client = widget->Client();
  return {0, 0, client->width(), client->height()};
}

void TQtFrame::MoveWindow(const TArea& rect) {
  const QRect frame = widget->frameGeometry();
  const QWidget* client = widget->Client();
  // The client gets the outer size less the present non-client margins.
  const int width = std::max(0, rect.Width() - (frame.width() - client->width()));
  const int height = std::max(0, rect.Height() - (frame.height() - client->height()));
  widget->SetClientSize(width, height);
  // A window's position is that of its outer frame.
  widget->move(rect.left, rect.top);
}

void TQtFrame::SetText(const TStr& text) { widget->setWindowTitle(Text(text)); }

TStr TQtFrame::GetText() { return TStr(widget->windowTitle().toUtf8().constData()); }

uintptr_t TQtFrame::GetNativeHandle() { return static_cast<uintptr_t>(widget->Client()->winId()); }

void TQtFrame::AttachMenu(IMenu* newMenu) {
  menu = newMenu;
  menuBar.reset();
  auto* model = dynamic_cast<TMenu*>(newMenu);
  if (!model) {
    widget->SetMenuBar(nullptr);
    return;
  }
  auto* bar = new QMenuBar();
  menuBar = std::make_unique<TQtMenuBar>(*bar, *model);
  widget->SetMenuBar(bar);
}

QString TQtFrame::IconPath(int32_t resource) { return QStringLiteral(":/thudra/icons/%1.png").arg(resource); }

void TQtFrame::SetLargeIcon(int32_t resource) {
  icon = resource;
  widget->setWindowIcon(QIcon(IconPath(resource)));
}

void TQtFrame::Show(int32_t mode) {
  constexpr int32_t hide = 0, showMinimized = 2, minimize = 6, showMinNoActive = 7;
  switch (mode) {
    case hide: widget->hide(); break;
    case showMinimized:
    case minimize:
    case showMinNoActive: widget->showMinimized(); break;
    default:
      widget->showNormal();
      TellWindowManagerNoSizingBorder(*widget, style);
      widget->raise();
      widget->activateWindow();
      break;
  }
}

void TQtFrame::Paint() { widget->update(); }

IFrameWnd* TQtFrameFactory::CreateFrame(const TStr& windowName, uint32_t style) {
  return new TQtFrame(windowName, style);
}
