#include "TNotified.h"

#include <utility>

TNotified::TSlot::TSlot(const TStr& slotName, IBase* slotReceiver, THandler slotHandler)
    : name(slotName), receiver(slotReceiver), handler(std::move(slotHandler)) {}

void TNotified::TSlot::Invoke(TShared* source) { CallHandler(source); }

TNotified::~TNotified() { slots.DeleteAll(); }

TNotified::TSlot* TNotified::LiveFrom(TLink* link) {
  for (; link; link = link->GetNext()) {
    auto* slot = static_cast<TSlot*>(link);
    if (!slot->removed) return slot;
  }
  return nullptr;
}

void TNotified::AddSlot(TSlot* slot) {
  if (slot) slots.AddTail(slot);
}

TNotified::TSlot* TNotified::FindSlot(const IBase* receiver) const {
  for (TSlot* slot = FirstSlot(); slot; slot = NextSlot(slot))
    if (slot->receiver == receiver) return slot;
  return nullptr;
}

int32_t TNotified::GetObserverCount() const {
  int32_t count = 0;
  for (TSlot* slot = FirstSlot(); slot; slot = NextSlot(slot)) ++count;
  return count;
}

void TNotified::RemoveObserver(const IBase* receiver) {
  TSlot* slot = FindSlot(receiver);
  if (!slot) return;
  if (notifyDepth > 0) {
    slot->removed = true;
    hasRemoved = true;
    return;
  }
  slots.Remove(slot);
  slot->Release();
}

void TNotified::EndNotify() {
  if (--notifyDepth > 0 || !hasRemoved) return;
  hasRemoved = false;
  TLink* position = slots.GetHead();
  while (position) {
    auto* slot = static_cast<TSlot*>(position);
    if (slot->removed) {
      slots.RemoveForward(position);
      slot->Release();
    } else {
      position = position->GetNext();
    }
  }
}
