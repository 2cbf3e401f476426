#include "THeadlessFrame.h"

#include <algorithm>
#include <atomic>

THeadlessFrame::THeadlessFrame(const TArea& frameMargins, const TStr& frameText)
    : margins(frameMargins),
      window{defaultRect.left, defaultRect.top, defaultRect.left + frameMargins.left + frameMargins.right,
             defaultRect.top + frameMargins.top + frameMargins.bottom},
      text(frameText) {}

TArea THeadlessFrame::GetClientRect() {
  const int32_t width = std::max(0, window.Width() - margins.left - margins.right);
  const int32_t height = std::max(0, window.Height() - margins.top - margins.bottom);
  return {0, 0, width, height};
}

void THeadlessFrame::MoveWindow(const TArea& rect) {
  window = rect;
  ++moveCount;
}

namespace {
class THeadlessFrameFactory : public IFrameFactory {
public:
  IFrameWnd* CreateFrame(const TStr& windowName, uint32_t) override {
    return new THeadlessFrame({}, windowName);
  }
};
THeadlessFrameFactory headlessFactory;
std::atomic<IFrameFactory*> frameFactory{nullptr};
}  // namespace

IFrameFactory* SetFrameFactory(IFrameFactory* factory) { return frameFactory.exchange(factory); }

IFrameFactory& GetFrameFactory() {
  IFrameFactory* factory = frameFactory.load();
  return factory ? *factory : headlessFactory;
}
