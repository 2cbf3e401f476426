// Message boxes for a program without a window: caption and text go to standard
// error, and the answer is the one that never does something destructive.
#pragma once
#include "Messages.h"

class TConsolePresenter : public IMessagePresenter {
public:
  EAnswer Present(const TStr& text, const TStr& caption, uint32_t flags) override;
  static EAnswer SafeAnswer(uint32_t flags);
};
