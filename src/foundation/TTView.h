// The view base: binds shared values to its handlers through typed view slots that
// cache the last value, and keeps numbered commands that are searched through the
// tree of child views.
#pragma once
#include <functional>
#include <type_traits>

#include "Geometry.h"
#include "TShared.h"

class IView : public virtual IBase {
public:
  // No command found: 0; a command without handler: 1; otherwise its result.
  virtual int32_t ExecuteCommand(int32_t id) = 0;
  // No command found or no query: 0; otherwise the query's result.
  virtual int32_t QueryCommand(int32_t id) = 0;
  // Redraws an area of the view's window; the window side implements it.
  virtual void Redraw(const TArea& area) = 0;
};

class TTView : public TShared, public virtual IView {
public:
  // A binding of a shared value to the view: either redraws area or, when area is
  // empty, calls the handler; then caches the value.
  class TViewSlot : public TNotified::TSlot {
  public:
    TViewSlot(const TStr& name, IBase* receiver, THandler handler, const TArea& area);
    void Invoke(TShared* source) override;
    // Copies the source's value; does nothing in this base.
    virtual void CacheValue(TShared* source);
    const TArea& GetArea() const { return area; }

  private:
    TArea area;
  };

  // The typed slots cache the value that was current when the last notification
  // ran; during a handler the cache still holds the previous one.
  class TBooleanViewSlot : public TViewSlot {
  public:
    using TViewSlot::TViewSlot;
    void CacheValue(TShared* source) override;
    bool GetCached() const { return cached; }

  private:
    bool cached = false;
  };

  class TCntViewSlot : public TViewSlot {
  public:
    using TViewSlot::TViewSlot;
    void CacheValue(TShared* source) override;
    int32_t GetCached() const { return cached; }

  private:
    int32_t cached = 0;
  };

  class TRealViewSlot : public TViewSlot {
  public:
    using TViewSlot::TViewSlot;
    void CacheValue(TShared* source) override;
    float GetCached() const { return cached; }

  private:
    float cached = 0;
  };

  class TStrViewSlot : public TViewSlot {
  public:
    using TViewSlot::TViewSlot;
    void CacheValue(TShared* source) override;
    const TStr& GetCached() const { return cached; }

  private:
    TStr cached;
  };

  // One numbered command with its handler and enable query, both bound to the
  // view that registered them.
  class TCmd : public TLink {
  public:
    using TAction = std::function<int32_t()>;
    TCmd(int32_t id, int32_t w1, int32_t w2, int32_t w3, TAction handler, TAction query);

    int32_t GetId() const { return id; }
    // The three words given at registration, index 1 to 3 (0 otherwise).
    int32_t GetWord(int index) const;
    bool HasHandler() const { return static_cast<bool>(handler); }
    bool HasQuery() const { return static_cast<bool>(query); }
    int32_t Execute() { return handler ? handler() : 1; }
    int32_t Query() { return query ? query() : 0; }

  private:
    int32_t id;
    int32_t words[3];
    TAction handler;
    TAction query;
  };

  explicit TTView(const TStr& name = TStr());
  ~TTView() override;

  // Binds value to receiver's handler through the most specific view slot.
  template <class R, class C>
  TViewSlot* Bind(TShared* value, R* receiver, void (C::*handler)(TShared*), const TStr& slotName, bool notifyNow) {
    return BindSlot(value, receiver, TSlot::Bound(receiver, handler), TArea(), slotName, notifyNow);
  }
  // Binds value to a redraw of area of this view.
  TViewSlot* Bind(TShared* value, const TArea& area, const TStr& slotName, bool notifyNow);

  // Appends a command; handler and query are members of receiver (either may be null).
  template <class R, class C>
  TCmd* AddCommand(int32_t id, int32_t w1, int32_t w2, int32_t w3, R* receiver, int32_t (C::*handler)(),
                   std::type_identity_t<int32_t (C::*)()> query = nullptr) {
    static_assert(std::is_convertible_v<R*, C*>, "the handlers are members of the receiver");
    C* object = receiver;
    TCmd::TAction run, ask;
    if (object && handler) run = [object, handler] { return (object->*handler)(); };
    if (object && query) ask = [object, query] { return (object->*query)(); };
    return AddCommand(id, w1, w2, w3, std::move(run), std::move(ask));
  }
  TCmd* AddCommand(int32_t id, int32_t w1, int32_t w2, int32_t w3, TCmd::TAction handler = {},
                   TCmd::TAction query = {});
  // Searches this view's commands in order, then each child view depth first; the
  // first match wins. holder receives the view that has it.
  TCmd* FindCommand(int32_t id, TTView** holder = nullptr);
  int32_t ExecuteCommand(int32_t id) override;
  int32_t QueryCommand(int32_t id) override;
  void Redraw(const TArea& area) override;

  // Child views are linked into their parent through their own list link; the
  // parent does not own them. A child leaves its parent when either is destroyed.
  void AddChild(TTView* child);
  void RemoveChild(TTView* child);
  TTView* GetParent() const { return parent; }
  const TList& GetChildren() const { return children; }

private:
  TViewSlot* BindSlot(TShared* value, IBase* receiver, TSlot::THandler handler, const TArea& area,
                      const TStr& slotName, bool notifyNow);
  TList commands;
  TList children;
  TTView* parent = nullptr;
};
