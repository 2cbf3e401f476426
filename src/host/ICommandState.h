// What a menu item shows of its command, asked each time the item is looked at (the
// window asks when a menu opens): the host's command table answers. User-interface
// thread.
#pragma once
#include <cstdint>

#include "foundation/TStr.h"

class ICommandState {
public:
  virtual ~ICommandState() = default;
  // Whether id is a command of the table; items of other ids keep their own state.
  virtual bool HasCommand(int32_t id) = 0;
  virtual bool IsCommandEnabled(int32_t id) = 0;
  // The check mark of the command's item.
  virtual bool IsCommandChecked(int32_t id) = 0;
  // The item's text when the command gives one (Stop/Run Audio); empty otherwise.
  virtual TStr GetCommandText(int32_t id) = 0;
};
