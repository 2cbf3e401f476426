// The menu model of the main window: items with command ids, texts, check marks and
// enabled states, submenus and separators. The window toolkit shows it.
#pragma once
#include <cstdint>

#include "foundation/Base.h"
#include "foundation/TStr.h"

class IMenu : public virtual IBase {
public:
  // Searched through the submenus; false when no item has id.
  virtual bool CheckItem(int32_t id, bool checked) = 0;
  virtual bool EnableItem(int32_t id, bool enabled) = 0;
  virtual bool SetItemText(int32_t id, const TStr& text) = 0;
  virtual bool HasItem(int32_t id) const = 0;
  virtual bool IsItemChecked(int32_t id) const = 0;
  virtual bool IsItemEnabled(int32_t id) const = 0;
  virtual TStr GetItemText(int32_t id) const = 0;
};
