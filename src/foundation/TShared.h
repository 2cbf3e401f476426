// Named, observable values. Whoever changes a value names itself as the sender, and
// every observer except the sender is told. Values load and save themselves in the
// settings store under their own name and read and write themselves in streams.
#pragma once
#include <cfloat>
#include <climits>
#include <cstdint>

#include "Geometry.h"
#include "TInOut.h"
#include "TNotified.h"
#include "TParamStr.h"

class TShared : public TNotified {
public:
  explicit TShared(const TStr& name = TStr());

  // The value's own name; also its name in the settings store.
  const TStr& GetName() const { return name; }
  // The slot being notified at the moment, null otherwise.
  TSlot* GetCurrent() const { return current; }

  // Appends slot (this value owns it from now on); notifyNow calls it at once so
  // that the new observer starts with the current value.
  void AddObserver(TSlot* slot, bool notifyNow);
  // Registers receiver's handler under the name the observer knows the value by.
  // Answers the new slot, or null when it could not be made (reported).
  template <class R, class C>
  TSlot* AddObserver(R* receiver, void (C::*handler)(TShared*), const TStr& slotName, bool notifyNow) {
    TSlot* slot = MakeSlot(slotName, receiver, TSlot::Bound(receiver, handler));
    if (slot) AddObserver(slot, notifyNow);
    return slot;
  }

  virtual void NotifySlot(TSlot* slot);
  // Notifies every slot, in the order of registration, whose receiver is not
  // sender; a null sender notifies everybody.
  void NotifyAll(const IBase* sender);

  // The name of the first slot of observer, or the value's own name when there is
  // none or it is empty.
  TStr GetNameFor(const IBase* observer) const;

protected:
  // Fills the range message for a value known to receiver with the range min..max.
  TParamStr& FillRangeMessage(const IBase* receiver, double min, double max) const;

private:
  class TNotifying;
  static TSlot* MakeSlot(const TStr& slotName, IBase* receiver, TSlot::THandler handler);
  TStr name;
  TSlot* current = nullptr;
};

// ---- Counter ---------------------------------------------------------------
class TReadCnt : public TShared {
public:
  explicit TReadCnt(const TStr& name) : TShared(name) {}
  int32_t Get() const { return value; }

protected:
  int32_t value = 0;
};

class TSharedCnt : public TReadCnt {
public:
  TSharedCnt(const TStr& name, int32_t min = INT32_MIN, int32_t max = INT32_MAX);

  // Stores the value as given (the range is the caller's test) and notifies.
  void Set(int32_t newValue, const IBase* sender);
  virtual bool IsInRange(int32_t candidate) const { return min <= candidate && candidate <= max; }
  // "The value of '$1' must be between $2 and $3.", $1 the name as receiver knows it.
  virtual TParamStr& GetRangeMessage(const IBase* receiver) const;
  int32_t GetMin() const { return min; }
  int32_t GetMax() const { return max; }

  void Load(int32_t defaultValue);
  void Save() const;
  void Read(TInOut& in);
  void Write(TInOut& out) const;

private:
  const int32_t min;
  const int32_t max;
};

// ---- Real ------------------------------------------------------------------
class TReadReal : public TShared {
public:
  explicit TReadReal(const TStr& name) : TShared(name) {}
  float Get() const { return value; }

protected:
  float value = 0;
};

class TSharedReal : public TReadReal {
public:
  TSharedReal(const TStr& name, float min = -FLT_MAX, float max = FLT_MAX);

  void Set(float newValue, const IBase* sender);
  virtual bool IsInRange(float candidate) const { return min <= candidate && candidate <= max; }
  virtual TParamStr& GetRangeMessage(const IBase* receiver) const;
  float GetMin() const { return min; }
  float GetMax() const { return max; }

  // Kept in the store as a 32-bit value: the float's bit pattern.
  void Load(float defaultValue);
  void Save() const;
  void Read(TInOut& in);
  void Write(TInOut& out) const;

private:
  const float min;
  const float max;
};

// ---- Boolean (a 32-bit value, 0 or 1) --------------------------------------
class TReadBoolean : public TShared {
public:
  explicit TReadBoolean(const TStr& name) : TShared(name) {}
  int32_t Get() const { return value; }

protected:
  int32_t value = 0;
};

class TSharedBoolean : public TReadBoolean {
public:
  explicit TSharedBoolean(const TStr& name) : TReadBoolean(name) {}

  void Set(int32_t newValue, const IBase* sender);
  // 1 if the value was 0, else 0; then notifies.
  void Toggle(const IBase* sender);

  void Load(int32_t defaultValue);
  void Save() const;
  void Read(TInOut& in);
  void Write(TInOut& out) const;
};

// ---- String ----------------------------------------------------------------
class TReadStr : public TShared {
public:
  explicit TReadStr(const TStr& name) : TShared(name) {}
  const TStr& Get() const { return value; }

protected:
  TStr value;
};

class TSharedStr : public TReadStr {
public:
  explicit TSharedStr(const TStr& name) : TReadStr(name) {}

  void Set(const TStr& newValue, const IBase* sender);

  void Load(const TStr& defaultValue);
  void Save() const;
  void Read(TInOut& in);
  void Write(TInOut& out) const;
};

// ---- Point -----------------------------------------------------------------
class TReadPnt : public TShared {
public:
  explicit TReadPnt(const TStr& name) : TShared(name) {}
  const TPnt& Get() const { return value; }

protected:
  TPnt value;
};

class TSharedPnt : public TReadPnt {
public:
  explicit TSharedPnt(const TStr& name) : TReadPnt(name) {}

  void Set(const TPnt& newValue, const IBase* sender);
  // Every point is in range; the message is never shown.
  virtual bool IsInRange(const TPnt&) const { return true; }
  virtual TParamStr& GetRangeMessage(const IBase* receiver) const;

  // Kept as the values name + "X" and name + "Y".
  void Load(const TPnt& defaultValue);
  void Save() const;
  void Read(TInOut& in);
  void Write(TInOut& out) const;
};

// ---- Area ------------------------------------------------------------------
class TReadArea : public TShared {
public:
  explicit TReadArea(const TStr& name) : TShared(name) {}
  const TArea& Get() const { return value; }

protected:
  TArea value;
};

class TSharedArea : public TReadArea {
public:
  explicit TSharedArea(const TStr& name) : TReadArea(name) {}

  void Set(const TArea& newValue, const IBase* sender);
  virtual bool IsInRange(const TArea&) const { return true; }
  virtual TParamStr& GetRangeMessage(const IBase* receiver) const;

  // Kept as the values name + "X0", "Y0", "X1", "Y1".
  void Load(const TArea& defaultValue);
  void Save() const;
  void Read(TInOut& in);
  void Write(TInOut& out) const;
};

namespace Msg {
// "The value of '$1' must be between $2 and $3."
extern TParamStr valueRange;
}  // namespace Msg
