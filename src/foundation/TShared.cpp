#include "TShared.h"

#include <bit>
#include <new>
#include <utility>

#include "IRegistry.h"
#include "Messages.h"

namespace Msg {
TParamStr valueRange("The value of '$1' must be between $2 and $3.");
}  // namespace Msg

TShared::TShared(const TStr& valueName) : name(valueName) {}

TNotified::TSlot* TShared::MakeSlot(const TStr& slotName, IBase* receiver, TSlot::THandler handler) {
  try {
    TSlot* slot = new (std::nothrow) TSlot(slotName, receiver, std::move(handler));
    if (!slot) ShowOutOfMemory(EOutOfMemory::Object);
    return slot;
  } catch (const std::bad_alloc&) {
    ShowOutOfMemory(EOutOfMemory::Object);
    return nullptr;
  }
}

void TShared::AddObserver(TSlot* slot, bool notifyNow) {
  if (!slot) return;
  AddSlot(slot);
  if (notifyNow) NotifySlot(slot);
}

// Restores the notification state also when a handler raises the error exception.
// A handler that sets this value again notifies inside; the outer slot is current
// again once the inner notification has finished.
class TShared::TNotifying {
public:
  TNotifying(TShared& notifying, TSlot* slot) : value(notifying), previous(notifying.current) {
    value.BeginNotify();
    value.current = slot;
  }
  ~TNotifying() {
    value.current = previous;
    value.EndNotify();
  }
  TNotifying(const TNotifying&) = delete;
  TNotifying& operator=(const TNotifying&) = delete;

private:
  TShared& value;
  TSlot* const previous;
};

void TShared::NotifySlot(TSlot* slot) {
  if (!slot) return;
  TNotifying notifying(*this, slot);
  slot->Invoke(this);
}

void TShared::NotifyAll(const IBase* sender) {
  TNotifying notifying(*this, current);
  for (TSlot* slot = FirstSlot(); slot; slot = NextSlot(slot))
    if (!sender || slot->GetReceiver() != sender) NotifySlot(slot);
}

TStr TShared::GetNameFor(const IBase* observer) const {
  const TSlot* slot = FindSlot(observer);
  if (slot && !slot->GetName().IsEmpty()) return slot->GetName();
  return name;
}

TParamStr& TShared::FillRangeMessage(const IBase* receiver, double min, double max) const {
  Msg::valueRange.SetParam(1, GetNameFor(receiver));
  Msg::valueRange.SetParam(2, min);
  Msg::valueRange.SetParam(3, max);
  return Msg::valueRange;
}

// ---- Counter ---------------------------------------------------------------
TSharedCnt::TSharedCnt(const TStr& valueName, int32_t minValue, int32_t maxValue)
    : TReadCnt(valueName), min(minValue), max(maxValue) {}

void TSharedCnt::Set(int32_t newValue, const IBase* sender) {
  value = newValue;
  NotifyAll(sender);
}

TParamStr& TSharedCnt::GetRangeMessage(const IBase* receiver) const { return FillRangeMessage(receiver, min, max); }

void TSharedCnt::Load(int32_t defaultValue) {
  value = static_cast<int32_t>(IRegistry::GetDword(GetName(), static_cast<uint32_t>(defaultValue)));
  NotifyAll(nullptr);
}

void TSharedCnt::Save() const { IRegistry::SetDword(GetName(), static_cast<uint32_t>(value)); }

void TSharedCnt::Read(TInOut& in) {
  value = in.ReadInt32();
  NotifyAll(nullptr);
}

void TSharedCnt::Write(TInOut& out) const { out.WriteInt32(value); }

// ---- Real ------------------------------------------------------------------
TSharedReal::TSharedReal(const TStr& valueName, float minValue, float maxValue)
    : TReadReal(valueName), min(minValue), max(maxValue) {}

void TSharedReal::Set(float newValue, const IBase* sender) {
  value = newValue;
  NotifyAll(sender);
}

TParamStr& TSharedReal::GetRangeMessage(const IBase* receiver) const { return FillRangeMessage(receiver, min, max); }

void TSharedReal::Load(float defaultValue) {
  value = std::bit_cast<float>(IRegistry::GetDword(GetName(), std::bit_cast<uint32_t>(defaultValue)));
  NotifyAll(nullptr);
}

void TSharedReal::Save() const { IRegistry::SetDword(GetName(), std::bit_cast<uint32_t>(value)); }

void TSharedReal::Read(TInOut& in) {
  value = in.ReadFloat();
  NotifyAll(nullptr);
}

void TSharedReal::Write(TInOut& out) const { out.WriteFloat(value); }

// ---- Boolean ---------------------------------------------------------------
void TSharedBoolean::Set(int32_t newValue, const IBase* sender) {
  value = newValue;
  NotifyAll(sender);
}

void TSharedBoolean::Toggle(const IBase* sender) {
  value = value == 0 ? 1 : 0;
  NotifyAll(sender);
}

void TSharedBoolean::Load(int32_t defaultValue) {
  value = static_cast<int32_t>(IRegistry::GetDword(GetName(), static_cast<uint32_t>(defaultValue)));
  NotifyAll(nullptr);
}

void TSharedBoolean::Save() const { IRegistry::SetDword(GetName(), static_cast<uint32_t>(value)); }

void TSharedBoolean::Read(TInOut& in) {
  value = in.ReadInt32();
  NotifyAll(nullptr);
}

void TSharedBoolean::Write(TInOut& out) const { out.WriteInt32(value); }

// ---- String ----------------------------------------------------------------
void TSharedStr::Set(const TStr& newValue, const IBase* sender) {
  value = newValue;
  NotifyAll(sender);
}

void TSharedStr::Load(const TStr& defaultValue) {
  value = IRegistry::GetString(GetName(), defaultValue);
  NotifyAll(nullptr);
}

void TSharedStr::Save() const { IRegistry::SetString(GetName(), value); }

void TSharedStr::Read(TInOut& in) {
  value = in.ReadStr();
  NotifyAll(nullptr);
}

void TSharedStr::Write(TInOut& out) const { out.WriteStr(value); }

// ---- Point -----------------------------------------------------------------
void TSharedPnt::Set(const TPnt& newValue, const IBase* sender) {
  value = newValue;
  NotifyAll(sender);
}

TParamStr& TSharedPnt::GetRangeMessage(const IBase* receiver) const {
  Msg::valueRange.SetParam(1, GetNameFor(receiver));
  Msg::valueRange.SetParam(2, TStr());
  Msg::valueRange.SetParam(3, TStr());
  return Msg::valueRange;
}

void TSharedPnt::Load(const TPnt& defaultValue) {
  value = IRegistry::GetPoint(GetName(), defaultValue);
  NotifyAll(nullptr);
}

void TSharedPnt::Save() const { IRegistry::SetPoint(GetName(), value); }

void TSharedPnt::Read(TInOut& in) {
  value = in.ReadPnt();
  NotifyAll(nullptr);
}

void TSharedPnt::Write(TInOut& out) const { out.WritePnt(value); }

// ---- Area ------------------------------------------------------------------
void TSharedArea::Set(const TArea& newValue, const IBase* sender) {
  value = newValue;
  NotifyAll(sender);
}

TParamStr& TSharedArea::GetRangeMessage(const IBase* receiver) const {
  Msg::valueRange.SetParam(1, GetNameFor(receiver));
  Msg::valueRange.SetParam(2, TStr());
  Msg::valueRange.SetParam(3, TStr());
  return Msg::valueRange;
}

void TSharedArea::Load(const TArea& defaultValue) {
  value = IRegistry::GetArea(GetName(), defaultValue);
  NotifyAll(nullptr);
}

void TSharedArea::Save() const { IRegistry::SetArea(GetName(), value); }

void TSharedArea::Read(TInOut& in) {
  value = in.ReadArea();
  NotifyAll(nullptr);
}

void TSharedArea::Write(TInOut& out) const { out.WriteArea(value); }
