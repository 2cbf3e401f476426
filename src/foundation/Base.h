// Root classes of the object model and the owning pointer.
#pragma once

// Every class derives IBase virtually, so that an object reached through any of
// its interfaces has exactly one IBase part.
class IBase {
public:
  // Destroys the object; on a null object it does nothing (see Release(IBase*)).
  virtual void Release() = 0;
  virtual bool IsValid() const = 0;
  virtual ~IBase() = default;
  virtual void Assign(const IBase& other) = 0;
  virtual bool IsEqual(const IBase& other) const = 0;

  // Identity is the only equality in use; the hooks stay for completeness.
  bool operator==(const IBase& other) const { return this == &other || IsEqual(other); }
  bool operator!=(const IBase& other) const { return this != &other && !IsEqual(other); }
  IBase& operator=(const IBase& other) {
    if (this != &other) Assign(other);
    return *this;
  }
};

class TBase : public virtual IBase {
public:
  void Release() override { delete this; }
  bool IsValid() const override { return true; }
  void Assign(const IBase&) override {}
  bool IsEqual(const IBase&) const override { return false; }
};

// Release that accepts a null object.
inline void Release(IBase* object) {
  if (object) object->Release();
}

// Sole owner of an object made by the interface's static Create factory.
template <class I>
class EPtr {
public:
  EPtr() : p(dynamic_cast<I*>(I::Create())) {}
  // Adopts an object made elsewhere (a factory with arguments).
  explicit EPtr(I* object) : p(object) {}
  ~EPtr() { Reset(); }
  EPtr(const EPtr&) = delete;
  EPtr& operator=(const EPtr&) = delete;

  I* operator->() const { return p; }
  I& operator*() const { return *p; }
  operator I*() const { return p; }
  I* Get() const { return p; }
  explicit operator bool() const { return p != nullptr; }

  void Reset(I* object = nullptr) {
    I* old = p;
    p = object;
    if (old) old->Release();
  }
  I* Detach() {
    I* old = p;
    p = nullptr;
    return old;
  }

private:
  I* p;
};
