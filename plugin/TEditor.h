// The instrument's editor: an X11 child window of the host's window, on a display
// connection of its own, driven entirely from the host's idle calls.
#pragma once
#include <memory>

class TThudraEffect;

class TEditor {
public:
  explicit TEditor(TThudraEffect& owner);
  ~TEditor();  // frees everything Open made
  TEditor(const TEditor&) = delete;
  TEditor& operator=(const TEditor&) = delete;

  // `parent` is the host's X11 window id. False, quietly, without a display or when
  // the id is not a window.
  bool Open(void* parent);
  // Handles the pending X events and redraws what changed.
  void Idle();
  void Resize(int width, int height);

private:
  struct TImpl;
  std::unique_ptr<TImpl> impl;
};
