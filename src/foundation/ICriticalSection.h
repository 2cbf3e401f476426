// A lock that its owning thread may take again (recursive).
#pragma once
#include "Base.h"

class ICriticalSection : public virtual IBase {
public:
  static ICriticalSection* Create();
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};
