// Objects with observers: each observer registers a slot that names the receiver
// and the member function to call.
#pragma once
#include <functional>
#include <type_traits>

#include "TList.h"
#include "TStr.h"

class TShared;

class TNotified : public TLink {
public:
  // One observer registration. The handler is a member function of the receiver,
  // bound at registration, so receivers with virtual bases work as well.
  class TSlot : public TLink {
  public:
    using THandler = std::function<void(TShared*)>;

    TSlot(const TStr& name, IBase* receiver, THandler handler);
    template <class R, class C>
    TSlot(const TStr& name, R* receiver, void (C::*handler)(TShared*))
        : TSlot(name, receiver, Bound(receiver, handler)) {}

    // Calls the handler with the value that changed.
    virtual void Invoke(TShared* source);

    const TStr& GetName() const { return name; }
    IBase* GetReceiver() const { return receiver; }
    bool HasHandler() const { return static_cast<bool>(handler); }

    // The handler may be a member of a base class of the receiver.
    template <class R, class C>
    static THandler Bound(R* receiver, void (C::*handler)(TShared*)) {
      static_assert(std::is_convertible_v<R*, IBase*>, "receivers derive IBase");
      static_assert(std::is_convertible_v<R*, C*>, "the handler is a member of the receiver");
      if (!receiver || !handler) return {};
      C* object = receiver;
      return [object, handler](TShared* source) { (object->*handler)(source); };
    }

  protected:
    void CallHandler(TShared* source) {
      if (handler) handler(source);
    }

  private:
    friend class TNotified;
    TStr name;
    IBase* receiver;
    THandler handler;
    // Set when the slot was removed while its value was notifying; released afterwards.
    bool removed = false;
  };

  TNotified() = default;
  ~TNotified() override;
  TNotified(const TNotified&) = delete;
  TNotified& operator=(const TNotified&) = delete;

  // Ends the first registration of receiver; nothing happens if there is none.
  virtual void RemoveObserver(const IBase* receiver);

  int32_t GetObserverCount() const;
  // The first live slot of receiver, or null.
  TSlot* FindSlot(const IBase* receiver) const;

protected:
  // Appends the slot; this object owns it from now on.
  void AddSlot(TSlot* slot);
  TSlot* FirstSlot() const { return LiveFrom(slots.GetHead()); }
  static TSlot* NextSlot(TSlot* slot) { return LiveFrom(slot->GetNext()); }

  // Slots removed during a notification are only marked; they are released when the
  // outermost notification of this object has finished, so that a walk over the
  // slots never steps on a released one.
  void BeginNotify() { ++notifyDepth; }
  void EndNotify();

private:
  static TSlot* LiveFrom(TLink* link);
  TList slots;
  int32_t notifyDepth = 0;
  bool hasRemoved = false;
};
