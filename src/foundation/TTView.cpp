#include "TTView.h"

#include <new>
#include <utility>

#include "Messages.h"

// ---- View slots --------------------------------------------------------------
TTView::TViewSlot::TViewSlot(const TStr& slotName, IBase* slotReceiver, THandler slotHandler, const TArea& slotArea)
    : TSlot(slotName, slotReceiver, std::move(slotHandler)), area(slotArea) {}

void TTView::TViewSlot::Invoke(TShared* source) {
  if (!area.IsEmpty()) {
    if (auto* view = dynamic_cast<IView*>(GetReceiver())) view->Redraw(area);
  } else {
    CallHandler(source);
  }
  CacheValue(source);
}

void TTView::TViewSlot::CacheValue(TShared*) {}

void TTView::TBooleanViewSlot::CacheValue(TShared* source) {
  if (auto* value = dynamic_cast<TReadBoolean*>(source)) cached = value->Get() != 0;
}

void TTView::TCntViewSlot::CacheValue(TShared* source) {
  if (auto* value = dynamic_cast<TReadCnt*>(source)) cached = value->Get();
}

void TTView::TRealViewSlot::CacheValue(TShared* source) {
  if (auto* value = dynamic_cast<TReadReal*>(source)) cached = value->Get();
}

void TTView::TStrViewSlot::CacheValue(TShared* source) {
  if (auto* value = dynamic_cast<TReadStr*>(source)) cached = value->Get();
}

// ---- Commands ----------------------------------------------------------------
TTView::TCmd::TCmd(int32_t cmdId, int32_t w1, int32_t w2, int32_t w3, TAction cmdHandler, TAction cmdQuery)
    : id(cmdId), words{w1, w2, w3}, handler(std::move(cmdHandler)), query(std::move(cmdQuery)) {}

int32_t TTView::TCmd::GetWord(int index) const { return index >= 1 && index <= 3 ? words[index - 1] : 0; }

// ---- The view ----------------------------------------------------------------
TTView::TTView(const TStr& viewName) : TShared(viewName) {}

TTView::~TTView() {
  while (TLink* link = children.RemoveHead()) static_cast<TTView*>(link)->parent = nullptr;
  if (parent) parent->RemoveChild(this);
  commands.DeleteAll();
}

namespace {
template <class TSlotKind>
TTView::TViewSlot* MakeViewSlot(const TStr& name, IBase* receiver, TNotified::TSlot::THandler handler,
                                const TArea& area) {
  try {
    TTView::TViewSlot* slot = new (std::nothrow) TSlotKind(name, receiver, std::move(handler), area);
    if (!slot) ShowOutOfMemory(EOutOfMemory::Object);
    return slot;
  } catch (const std::bad_alloc&) {
    ShowOutOfMemory(EOutOfMemory::Object);
    return nullptr;
  }
}
}  // namespace

TTView::TViewSlot* TTView::BindSlot(TShared* value, IBase* receiver, TSlot::THandler handler, const TArea& area,
                                    const TStr& slotName, bool notifyNow) {
  if (!value) return nullptr;
  TViewSlot* slot;
  if (dynamic_cast<TSharedBoolean*>(value))
    slot = MakeViewSlot<TBooleanViewSlot>(slotName, receiver, std::move(handler), area);
  else if (dynamic_cast<TSharedStr*>(value))
    slot = MakeViewSlot<TStrViewSlot>(slotName, receiver, std::move(handler), area);
  else if (dynamic_cast<TSharedCnt*>(value))
    slot = MakeViewSlot<TCntViewSlot>(slotName, receiver, std::move(handler), area);
  else if (dynamic_cast<TSharedReal*>(value))
    slot = MakeViewSlot<TRealViewSlot>(slotName, receiver, std::move(handler), area);
  else
    slot = MakeViewSlot<TViewSlot>(slotName, receiver, std::move(handler), area);
  if (slot) value->AddObserver(slot, notifyNow);
  return slot;
}

TTView::TViewSlot* TTView::Bind(TShared* value, const TArea& area, const TStr& slotName, bool notifyNow) {
  return BindSlot(value, this, {}, area, slotName, notifyNow);
}

TTView::TCmd* TTView::AddCommand(int32_t id, int32_t w1, int32_t w2, int32_t w3, TCmd::TAction handler,
                                 TCmd::TAction query) {
  TCmd* command = nullptr;
  try {
    command = new (std::nothrow) TCmd(id, w1, w2, w3, std::move(handler), std::move(query));
  } catch (const std::bad_alloc&) {
  }
  if (!command) {
    ShowOutOfMemory(EOutOfMemory::Object);
    return nullptr;
  }
  commands.AddTail(command);
  return command;
}

TTView::TCmd* TTView::FindCommand(int32_t id, TTView** holder) {
  for (TLink* link = commands.GetHead(); link; link = link->GetNext()) {
    auto* command = static_cast<TCmd*>(link);
    if (command->GetId() != id) continue;
    if (holder) *holder = this;
    return command;
  }
  for (TLink* link = children.GetHead(); link; link = link->GetNext())
    if (TCmd* command = static_cast<TTView*>(link)->FindCommand(id, holder)) return command;
  return nullptr;
}

int32_t TTView::ExecuteCommand(int32_t id) {
  TCmd* command = FindCommand(id);
  return command ? command->Execute() : 0;
}

int32_t TTView::QueryCommand(int32_t id) {
  TCmd* command = FindCommand(id);
  return command ? command->Query() : 0;
}

void TTView::Redraw(const TArea&) {}

void TTView::AddChild(TTView* child) {
  // A view that is this one or one of its ancestors would make the tree a cycle.
  for (TTView* view = this; view; view = view->parent)
    if (view == child) return;
  if (child->parent) child->parent->RemoveChild(child);
  children.AddTail(child);
  child->parent = this;
}

void TTView::RemoveChild(TTView* child) {
  if (!child || child->parent != this) return;
  children.Remove(child);
  child->parent = nullptr;
}
