#include "TEditor.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "TThudraEffect.h"

namespace {

using TClock = std::chrono::steady_clock;

// ---- X errors --------------------------------------------------------------
// Xlib's error handler is global to the process. While this editor talks to the
// server, errors on its own connection are caught here (a vanished parent must not
// end the host); errors of any other connection go to the handler that was there.
Display* trapDisplay = nullptr;
bool trapped = false;
int trapDepth = 0;
XErrorHandler outerHandler = nullptr;

int TrapHandler(Display* display, XErrorEvent* event) {
  if (display == trapDisplay) {
    trapped = true;
    return 0;
  }
  return outerHandler ? outerHandler(display, event) : 0;
}

// Nests: only the outermost trap installs and restores the handler.
class TErrorTrap {
public:
  explicit TErrorTrap(Display* display) : display(display) {
    if (trapDepth++ > 0) return;
    trapDisplay = display;
    trapped = false;
    outerHandler = XSetErrorHandler(TrapHandler);
  }
  ~TErrorTrap() {
    XSync(display, False);
    if (--trapDepth > 0) return;
    XSetErrorHandler(outerHandler);
    outerHandler = nullptr;
    trapDisplay = nullptr;
  }
  TErrorTrap(const TErrorTrap&) = delete;
  TErrorTrap& operator=(const TErrorTrap&) = delete;
  bool Failed() {
    XSync(display, False);
    return trapped;
  }

private:
  Display* display;
};

// ---- look ------------------------------------------------------------------
enum EColor {
  colorBack, colorPanel, colorCell, colorCellLit, colorCellPressed, colorText, colorDim, colorButton,
  colorRecord, colorPlay, colorPause, colorSlider, colorSliderBack, colorSampled, colorList, colorWarn, colorCount
};
constexpr uint32_t kRgb[colorCount] = {0x202428, 0x2c3238, 0x3a4450, 0xf0a030, 0xffd890, 0xe8e8e8, 0x9aa4ae,
                                       0x46505a, 0xd03030, 0x30b050, 0xd0b030, 0x4090e0, 0x14181c, 0x9cd0ff,
                                       0x262c33, 0xf0c070};

struct TBox {
  int x = 0, y = 0, w = 0, h = 0;
  bool Contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// One piece of the picture: drawn again only when what it shows has changed.
struct TElement {
  TBox box;
  std::string drawn;
  bool valid = false;
};

struct TButtonSpec {
  const char* label;
  ETransportAction action;
};
constexpr TButtonSpec kTapeButtons[] = {{"Record", ETransportAction::tapeRecord},
                                        {"Pause", ETransportAction::tapePause},
                                        {"Stop", ETransportAction::tapeStop},
                                        {"Play", ETransportAction::tapePlay},
                                        {"New File", ETransportAction::tapeNewFile}};
constexpr TButtonSpec kPlayerButtons[] = {{"Play", ETransportAction::playerPlay},
                                          {"Pause", ETransportAction::playerPause},
                                          {"Rewind", ETransportAction::playerRewind},
                                          {"Loop", ETransportAction::playerLoop},
                                          {"Load", ETransportAction::playerLoad}};
constexpr int kButtons = 5;

// Layout of the full editor; the compact one ends below the cells.
constexpr int kCellColumns = 9, kCellWidth = 76, kCellHeight = 44, kCellPitchX = 78, kCellPitchY = 46;
constexpr int kCellsLeft = 9, kCellsTop = 58;
constexpr int kTapeTop = 342, kPlayerTop = 380, kRowHeight = 30;
constexpr int kButtonsLeft = 72, kButtonWidth = 66, kButtonPitch = 70;
constexpr auto kLitTime = std::chrono::milliseconds(120);
// The kit button and its list, which opens over the cells.
constexpr int kKitButtonLeft = 214, kKitButtonWidth = 160;
constexpr int kListLeft = 8, kListTop = 56, kListWidth = 704, kListHeight = 278;
constexpr int kListColumns = 4, kListRows = 8, kListColumnWidth = 174, kListRowHeight = 16;
constexpr int kReportLines = 6;
const char* const kSynthesizedName = "Synthesized";

const char* const kKeyHelp =
    "Shift+  Q Record  W Pause  E Stop  R Play  X New File  V Status  |  S Play  D Pause  F Rewind  C Loop  A Load";

std::string Clock(float seconds) {
  if (!(seconds >= 0)) seconds = 0;
  char text[32];
  const int tenths = static_cast<int>(seconds * 10 + 0.5f);
  std::snprintf(text, sizeof text, "%02d:%02d.%d", tenths / 600, tenths / 10 % 60, tenths % 10);
  return text;
}

}  // namespace

struct TEditor::TImpl {
  explicit TImpl(TThudraEffect& owner) : owner(owner) {}

  TThudraEffect& owner;
  Display* display = nullptr;
  Window window = 0;
  GC gc = nullptr;
  XFontStruct* font = nullptr;
  unsigned long pixels[colorCount] = {};
  int width = TThudraEffect::fullWidth, height = TThudraEffect::fullHeight;
  bool repaintAll = true;
  int pressedCell = -1;
  bool draggingMaster = false;
  TClock::time_point litUntil[kCellCount] = {};
  uint64_t kitVersion = 0;
  TKitState kit;
  bool listOpen = false;
  int listScroll = 0;  // columns scrolled
  std::vector<std::string> listed;  // "" for the synthesised sounds, then the kits found

  TElement title, kitButton, master, compactButton, timeInfo, status, tapeLabel, tapeText, playerLabel, playerText,
      help, kitList;
  TElement cells[kCellCount];
  TElement tapeButtons[kButtons], playerButtons[kButtons];

  bool Open(Window parent);
  void Close();
  void Handle(const XEvent& event);
  void Press(int x, int y);
  void SetMasterFrom(int x);
  void Update();
  bool Full() const { return height >= TThudraEffect::fullHeight; }
  void Layout();

  // Drawing
  template <class Signature, class Draw>
  void Refresh(TElement& element, const Signature& signature, Draw draw) {
    if (element.valid && element.drawn == signature) return;
    draw(element.box);
    element.drawn = signature;
    element.valid = true;
  }
  void Fill(const TBox& b, EColor color) {
    XSetForeground(display, gc, pixels[color]);
    XFillRectangle(display, window, gc, b.x, b.y, static_cast<unsigned>(b.w), static_cast<unsigned>(b.h));
  }
  int TextWidth(const std::string& text) const {
    return font ? XTextWidth(font, text.c_str(), static_cast<int>(text.size())) : 6 * static_cast<int>(text.size());
  }
  void Text(int x, int y, const std::string& text, EColor color) {
    XSetForeground(display, gc, pixels[color]);
    XDrawString(display, window, gc, x, y, text.c_str(), static_cast<int>(text.size()));
  }
  void CentredText(const TBox& b, int y, const std::string& text, EColor color) {
    Text(b.x + (b.w - TextWidth(text)) / 2, y, text, color);
  }
  void Panel(const TBox& b, const std::string& text, EColor color) {
    Fill(b, colorBack);
    Text(b.x + 4, b.y + b.h / 2 + 4, text, color);
  }
  void Button(const TBox& b, const std::string& label, EColor face) {
    Fill(b, face);
    CentredText(b, b.y + b.h / 2 + 4, label, colorText);
  }

  void DrawCell(int cell, bool lit, bool pressed);
  void DrawKitButton(const TBox& b);
  void OpenList();
  void CloseList();
  TBox ListItem(int index) const;
  void PressList(int x, int y);
  void DrawList(const TBox& b);
  void DrawMaster(const TBox& b, float level);
};

bool TEditor::TImpl::Open(Window parent) {
  display = XOpenDisplay(nullptr);
  if (!display) return false;
  bool ok = false;
  {
    TErrorTrap trap(display);
    XWindowAttributes parentAttributes;
    if (XGetWindowAttributes(display, parent, &parentAttributes) && !trap.Failed()) {
      const int screen = DefaultScreen(display);
      const Colormap colormap = DefaultColormap(display, screen);
      for (int c = 0; c < colorCount; ++c) {
        XColor color{};
        color.red = static_cast<unsigned short>(((kRgb[c] >> 16) & 0xFF) * 257);
        color.green = static_cast<unsigned short>(((kRgb[c] >> 8) & 0xFF) * 257);
        color.blue = static_cast<unsigned short>((kRgb[c] & 0xFF) * 257);
        pixels[c] = XAllocColor(display, colormap, &color) ? color.pixel : BlackPixel(display, screen);
      }
      XSetWindowAttributes attributes{};
      attributes.background_pixel = pixels[colorBack];
      attributes.border_pixel = pixels[colorBack];
      attributes.colormap = colormap;
      attributes.event_mask =
          ExposureMask | ButtonPressMask | ButtonReleaseMask | Button1MotionMask | StructureNotifyMask;
      window = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                             DefaultDepth(display, screen), InputOutput, DefaultVisual(display, screen),
                             CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &attributes);
      gc = XCreateGC(display, window, 0, nullptr);
      font = XLoadQueryFont(display, "fixed");
      if (font) XSetFont(display, gc, font->fid);
      XMapWindow(display, window);
      ok = !trap.Failed();
    }
  }
  if (!ok) Close();
  return ok;
}

void TEditor::TImpl::Close() {
  if (!display) return;
  {
    TErrorTrap trap(display);
    if (font) XFreeFont(display, font);
    if (gc) XFreeGC(display, gc);
    if (window) XDestroyWindow(display, window);
  }
  XCloseDisplay(display);
  display = nullptr;
  window = 0;
  gc = nullptr;
  font = nullptr;
}

void TEditor::TImpl::Layout() {
  title.box = {0, 0, kKitButtonLeft, 34};
  kitButton.box = {kKitButtonLeft, 6, kKitButtonWidth, 22};
  kitList.box = {kListLeft, kListTop, kListWidth, kListHeight};
  master.box = {380, 6, 232, 22};
  compactButton.box = {626, 6, 84, 22};
  timeInfo.box = {0, 34, 300, 20};
  status.box = {300, 34, 420, 20};
  for (int cell = 0; cell < kCellCount; ++cell)
    cells[cell].box = {kCellsLeft + cell % kCellColumns * kCellPitchX, kCellsTop + cell / kCellColumns * kCellPitchY,
                       kCellWidth, kCellHeight};
  tapeLabel.box = {0, kTapeTop, kButtonsLeft - 4, kRowHeight};
  playerLabel.box = {0, kPlayerTop, kButtonsLeft - 4, kRowHeight};
  for (int b = 0; b < kButtons; ++b) {
    tapeButtons[b].box = {kButtonsLeft + b * kButtonPitch, kTapeTop + 3, kButtonWidth, kRowHeight - 6};
    playerButtons[b].box = {kButtonsLeft + b * kButtonPitch, kPlayerTop + 3, kButtonWidth, kRowHeight - 6};
  }
  const int textLeft = kButtonsLeft + kButtons * kButtonPitch + 4;
  tapeText.box = {textLeft, kTapeTop, width - textLeft, kRowHeight};
  playerText.box = {textLeft, kPlayerTop, width - textLeft, kRowHeight};
  help.box = {0, 416, width, 22};
}

void TEditor::TImpl::Handle(const XEvent& event) {
  switch (event.type) {
    case Expose:
      if (event.xexpose.count == 0) repaintAll = true;
      break;
    case ButtonPress:
      if (event.xbutton.button == Button1) Press(event.xbutton.x, event.xbutton.y);
      if (listOpen && (event.xbutton.button == Button4 || event.xbutton.button == Button5)) {
        const int columns = (static_cast<int>(listed.size()) + kListRows - 1) / kListRows;
        listScroll = std::clamp(listScroll + (event.xbutton.button == Button5 ? 1 : -1), 0,
                                std::max(0, columns - kListColumns));
        kitList.valid = false;
      }
      break;
    case ButtonRelease:
      if (event.xbutton.button != Button1) break;
      if (pressedCell >= 0) owner.ReleaseCell(pressedCell);
      pressedCell = -1;
      draggingMaster = false;
      break;
    case MotionNotify:
      if (draggingMaster) SetMasterFrom(event.xmotion.x);
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == window) window = 0;
      break;
    default: break;
  }
}

void TEditor::TImpl::Press(int x, int y) {
  if (listOpen) {
    PressList(x, y);
    return;
  }
  if (kitButton.box.Contains(x, y)) {
    OpenList();
    return;
  }
  for (int cell = 0; cell < kCellCount; ++cell) {
    if (!cells[cell].box.Contains(x, y)) continue;
    pressedCell = cell;
    litUntil[cell] = TClock::now() + kLitTime;
    owner.PressCell(cell);
    return;
  }
  if (master.box.Contains(x, y)) {
    draggingMaster = true;
    SetMasterFrom(x);
  } else if (compactButton.box.Contains(x, y)) {
    owner.SetCompact(!owner.IsCompact());
  } else if (Full()) {
    for (int b = 0; b < kButtons; ++b) {
      if (tapeButtons[b].box.Contains(x, y)) owner.Transport().Run(kTapeButtons[b].action);
      if (playerButtons[b].box.Contains(x, y)) owner.Transport().Run(kPlayerButtons[b].action);
    }
  }
}

// The slider's track starts 60 pixels into the master element (behind its label).
void TEditor::TImpl::SetMasterFrom(int x) {
  const TBox& b = master.box;
  const int left = b.x + 60, trackWidth = b.w - 60;
  float level = static_cast<float>(x - left) / static_cast<float>(trackWidth);
  level = level < 0 ? 0 : level > 1 ? 1 : level;
  owner.Engine().SetMaster(level);
}

void TEditor::TImpl::DrawMaster(const TBox& b, float level) {
  Fill(b, colorBack);
  Text(b.x, b.y + 15, "Master", colorDim);
  const TBox track{b.x + 60, b.y + 4, b.w - 60, b.h - 8};
  Fill(track, colorSliderBack);
  Fill({track.x, track.y, static_cast<int>(track.w * level + 0.5f), track.h}, colorSlider);
  char text[16];
  std::snprintf(text, sizeof text, "%d%%", static_cast<int>(level * 100 + 0.5f));
  CentredText(track, b.y + 15, text, colorText);
}

// A sampled cell shows its instrument's name in another ink.
void TEditor::TImpl::DrawCell(int cell, bool lit, bool pressed) {
  const TBox& b = cells[cell].box;
  Fill(b, pressed ? colorCellPressed : lit ? colorCellLit : colorCell);
  const EColor ink = lit || pressed ? colorBack : kit.sampled[cell] ? colorSampled : colorText;
  char note[16];
  std::snprintf(note, sizeof note, "%d", kFirstCellNote + cell);
  Text(b.x + 4, b.y + 13, note, lit || pressed ? colorBack : colorDim);
  CentredText(b, b.y + 32, kit.cellNames[cell].substr(0, 12), ink);
}

void TEditor::TImpl::DrawKitButton(const TBox& b) {
  Fill(b, colorButton);
  std::string label = kit.chosen.empty() ? kSynthesizedName : kit.chosen;
  if (label.size() > 20) label = label.substr(0, 19) + "~";
  if (kit.loading) label += " ...";
  Text(b.x + 6, b.y + 15, label, kit.chosen != kit.playing && !kit.loading ? colorWarn : colorText);
  // A small triangle: the button opens a list.
  XPoint arrow[3] = {{static_cast<short>(b.x + b.w - 16), static_cast<short>(b.y + 9)},
                     {static_cast<short>(b.x + b.w - 6), static_cast<short>(b.y + 9)},
                     {static_cast<short>(b.x + b.w - 11), static_cast<short>(b.y + 15)}};
  XSetForeground(display, gc, pixels[colorText]);
  XFillPolygon(display, window, gc, arrow, 3, Convex, CoordModeOrigin);
}

void TEditor::TImpl::OpenList() {
  listed = {""};
  for (const TDrumkitEntry& entry : owner.ListDrumkits()) listed.push_back(entry.name);
  listOpen = true;
  listScroll = 0;
  kitList.valid = false;
}

void TEditor::TImpl::CloseList() {
  listOpen = false;
  repaintAll = true;
}

TBox TEditor::TImpl::ListItem(int index) const {
  const int column = index / kListRows - listScroll, row = index % kListRows;
  return {kListLeft + 4 + column * kListColumnWidth, kListTop + 22 + row * kListRowHeight, kListColumnWidth - 6,
          kListRowHeight - 1};
}

// A click on a kit chooses it; anywhere else closes the list.
void TEditor::TImpl::PressList(int x, int y) {
  for (int i = 0; i < static_cast<int>(listed.size()); ++i) {
    const int column = i / kListRows - listScroll;
    if (column < 0 || column >= kListColumns || !ListItem(i).Contains(x, y)) continue;
    owner.ChooseDrumkit(listed[static_cast<size_t>(i)]);
    break;
  }
  CloseList();
}

void TEditor::TImpl::DrawList(const TBox& b) {
  Fill(b, colorList);
  Text(b.x + 6, b.y + 14, "Choose the kit (the scroll wheel shows more):", colorDim);
  for (int i = 0; i < static_cast<int>(listed.size()); ++i) {
    const int column = i / kListRows - listScroll;
    if (column < 0 || column >= kListColumns) continue;
    const TBox item = ListItem(i);
    const std::string& name = listed[static_cast<size_t>(i)];
    const bool chosen = name == kit.chosen;
    Fill(item, chosen ? colorSlider : colorCell);
    Text(item.x + 4, item.y + 12, (name.empty() ? std::string(kSynthesizedName) : name).substr(0, 27), colorText);
  }
  int y = kListTop + 22 + kListRows * kListRowHeight + 14;
  Text(b.x + 6, y, kit.summary.substr(0, 112), colorText);
  for (int line = 0; line < kReportLines && line < static_cast<int>(kit.leftOut.size()); ++line) {
    y += 14;
    const bool more = line == kReportLines - 1 && kit.leftOut.size() > static_cast<size_t>(kReportLines);
    const std::string text = more ? "... and " + std::to_string(kit.leftOut.size() - line) + " more"
                                  : kit.leftOut[static_cast<size_t>(line)].substr(0, 110);
    Text(b.x + 12, y, text, colorWarn);
  }
}

void TEditor::TImpl::Update() {
  if (!window) return;
  if (repaintAll) {
    Fill({0, 0, width, height}, colorBack);
    for (TElement* e : {&title, &kitButton, &master, &compactButton, &timeInfo, &status, &tapeLabel, &tapeText,
                        &playerLabel, &playerText, &help, &kitList})
      e->valid = false;
    for (TElement& e : cells) e.valid = false;
    for (int b = 0; b < kButtons; ++b) tapeButtons[b].valid = playerButtons[b].valid = false;
    repaintAll = false;
  }

  if (owner.DrumkitStateVersion() != kitVersion) {
    kitVersion = owner.DrumkitStateVersion();
    kit = owner.DrumkitState();
    kitButton.valid = kitList.valid = false;
    for (TElement& e : cells) e.valid = false;
  }
  Refresh(title, std::string(owner.KitName()), [&](const TBox& b) {
    Fill(b, colorPanel);
    Text(b.x + 12, b.y + 22, "THUDRA", colorText);
    Text(b.x + 70, b.y + 22, (std::string("Kit: ") + owner.KitName()).substr(0, 23), colorDim);
  });
  Refresh(kitButton, std::string("k"), [&](const TBox& b) {
    Fill({b.x, 0, b.w + 6, 34}, colorPanel);
    DrawKitButton(b);
  });
  const float level = owner.Engine().Master();
  Refresh(master, std::to_string(static_cast<int>(level * 1000)), [&](const TBox& b) { DrawMaster(b, level); });
  const bool compact = owner.IsCompact();
  Refresh(compactButton, std::string(compact ? "Full" : "Compact"),
          [&](const TBox& b) { Button(b, compact ? "Full" : "Compact", colorButton); });

  std::string time = "No time information";
  if (const VstTimeInfo* t = owner.QueryTime()) {
    char text[96];
    std::snprintf(text, sizeof text, "Tempo %.1f BPM   Beat %.2f", (t->flags & kVstTempoValid) ? t->tempo : 0.0,
                  (t->flags & kVstPpqPosValid) ? t->ppqPos : 0.0);
    time = text;
  }
  Refresh(timeInfo, time, [&](const TBox& b) { Panel(b, time, colorDim); });
  const std::string statusLine = owner.StatusLine();
  Refresh(status, statusLine, [&](const TBox& b) { Panel(b, statusLine, colorText); });

  const auto now = TClock::now();
  uint64_t started = owner.Engine().TakeStartedCells();
  if (listOpen) {
    Refresh(kitList, std::string("l"), [&](const TBox& b) { DrawList(b); });
    return;
  }
  const uint64_t sounding = owner.Engine().SoundingCells();
  for (int cell = 0; cell < kCellCount; ++cell) {
    if (started >> cell & 1) litUntil[cell] = now + kLitTime;
    const bool lit = (sounding >> cell & 1) || now < litUntil[cell];
    const bool pressed = cell == pressedCell;
    Refresh(cells[cell], std::string(1, static_cast<char>('0' + lit + 2 * pressed)),
            [&](const TBox&) { DrawCell(cell, lit, pressed); });
  }
  if (!Full()) return;

  const TTransportView& v = owner.Transport().View();
  Refresh(tapeLabel, std::string("TAPE"), [&](const TBox& b) { Panel(b, "TAPE", colorDim); });
  Refresh(playerLabel, std::string("PLAYER"), [&](const TBox& b) { Panel(b, "PLAYER", colorDim); });
  const bool tapeRecording = v.tapeRecordMode && !v.tapePaused, tapePlaying = v.tapePlayMode && !v.tapePaused;
  const EColor tapeFaces[kButtons] = {tapeRecording ? colorRecord : colorButton, v.tapePaused ? colorPause : colorButton,
                                      colorButton, tapePlaying ? colorPlay : colorButton, colorButton};
  const bool playerRunning = v.playerActive && !v.playerPaused;
  const EColor playerFaces[kButtons] = {playerRunning ? colorPlay : colorButton,
                                        v.playerPaused ? colorPause : colorButton, colorButton,
                                        v.playerLoop ? colorPlay : colorButton, colorButton};
  for (int b = 0; b < kButtons; ++b) {
    Refresh(tapeButtons[b], std::to_string(tapeFaces[b]),
            [&](const TBox& box) { Button(box, kTapeButtons[b].label, tapeFaces[b]); });
    Refresh(playerButtons[b], std::to_string(playerFaces[b]),
            [&](const TBox& box) { Button(box, kPlayerButtons[b].label, playerFaces[b]); });
  }

  const char* mode = v.tapeRecordMode ? (v.tapePaused ? "REC PAUSED" : "REC")
                     : v.tapePlayMode ? (v.tapePaused ? "PAUSED" : "PLAY")
                                      : "STOPPED";
  const std::string take = v.take.empty() ? v.lastTake : v.take;
  const std::string tapeLine = Clock(v.tapePosition) + "  " + mode + "  " + take;
  Refresh(tapeText, tapeLine, [&](const TBox& b) { Panel(b, tapeLine, colorText); });
  const std::string playerLine = Clock(v.playerPosition) + " / " + Clock(v.playerLength) +
                                 (v.playerLoop ? "  LOOP  " : "  ") + (v.playerFile.empty() ? "-" : v.playerFile);
  Refresh(playerText, playerLine, [&](const TBox& b) { Panel(b, playerLine, colorText); });
  Refresh(help, std::string(kKeyHelp), [&](const TBox& b) { Panel(b, kKeyHelp, colorDim); });
}

// ---- TEditor -------------------------------------------------------------------

TEditor::TEditor(TThudraEffect& owner) : impl(std::make_unique<TImpl>(owner)) {
  impl->height = owner.IsCompact() ? TThudraEffect::compactHeight : TThudraEffect::fullHeight;
  impl->width = owner.IsCompact() ? TThudraEffect::compactWidth : TThudraEffect::fullWidth;
  impl->Layout();
}

TEditor::~TEditor() { impl->Close(); }

bool TEditor::Open(void* parent) {
  if (!parent) return false;
  return impl->Open(static_cast<Window>(reinterpret_cast<uintptr_t>(parent)));
}

void TEditor::Idle() {
  if (!impl->display) return;
  TErrorTrap trap(impl->display);
  while (XPending(impl->display) > 0) {
    XEvent event;
    XNextEvent(impl->display, &event);
    impl->Handle(event);
  }
  impl->Update();
  XFlush(impl->display);
}

void TEditor::Resize(int width, int height) {
  if (!impl->display || !impl->window) return;
  impl->width = width;
  impl->height = height;
  impl->Layout();
  TErrorTrap trap(impl->display);
  XResizeWindow(impl->display, impl->window, static_cast<unsigned>(width), static_cast<unsigned>(height));
  impl->repaintAll = true;
}
