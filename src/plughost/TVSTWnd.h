// The editor window of the plug-in object.
#pragma once
#include "IVSTWnd.h"

class IVSTPlug;

class TVSTWnd : public TBase, public virtual IVSTWnd {
public:
  static constexpr const char* windowName = "Hostlet";
  // Dialog frame, system menu, minimize box: no sizing border.
  static constexpr uint32_t frameStyle = 0x004A0000;
  // The largest client width or height that a placement takes.
  static constexpr int32_t maxClientSize = 8192;

  // plug may be null (the host's own window for a plug-in without editor).
  explicit TVSTWnd(IVSTPlug* plug);
  ~TVSTWnd() override;
  TVSTWnd(const TVSTWnd&) = delete;
  TVSTWnd& operator=(const TVSTWnd&) = delete;

  void SetPlacement(const TPnt& position, const TArea& size) override;
  void SetTitle(const TStr& text) override;
  IFrameWnd* GetFrame() override { return frame; }
  const TStr& GetTitle() const { return title; }

private:
  IVSTPlug* plug;
  TStr title;
  IFrameWnd* frame;
};
