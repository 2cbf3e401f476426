// The driver port's own interface: what the ASIO panels (properties, routing, clock)
// use of the port beside IAudioInOut.
//
// Threads: the user-interface thread.
#pragma once
#include <cstdint>

#include "AsioLibrary.h"
#include "audio/IAudioInOut.h"
#include "foundation/TStr.h"

// An open panel that the port refreshes after a driver reset.
class IASIOPanel {
public:
  virtual ~IASIOPanel() = default;
  virtual void Refresh() = 0;
};

class IASIO : public virtual IAudioInOut {
public:
  static constexpr int32_t routeSlots = 64;
  static constexpr int32_t usedSlots = 16;

  // Driver channel per slot (-1 none), and the active and enabled marks.
  struct TRouting {
    int32_t inputRoute[routeSlots];
    int32_t inputActive[routeSlots];
    int32_t inputEnabled[routeSlots];
    int32_t outputRoute[routeSlots];
    int32_t outputActive[routeSlots];
    int32_t outputEnabled[routeSlots];
  };

  virtual int32_t GetDriverCount() = 0;
  virtual TStr GetDriverName(int32_t index) = 0;
  virtual int32_t GetDriverIndex() = 0;
  virtual void SelectDriver(int32_t index) = 0;
  virtual int32_t GetClockIndex() = 0;
  virtual void SetClock(int32_t index) = 0;
  virtual const TAsioDriverInfo& GetDriverInfo() = 0;
  // Asio::maxChannels records, inputs first.
  virtual const TAsioChannelInfo* GetChannelInfo() = 0;
  virtual void GetRouting(TRouting& record) = 0;
  // Unless the port is reinitialising: closes, takes the record, opens again.
  virtual void SetRouting(const TRouting& record) = 0;
  virtual int32_t GetPreferredBufferSize() = 0;
  // The open panels (null: none).
  virtual void SetPropertiesPanel(IASIOPanel* panel) = 0;
  virtual void SetRoutingPanel(IASIOPanel* panel) = 0;
  // Operation 10: the driver's own control panel.
  virtual void OpenControlPanel() = 0;
};
