// A menu as a plain list of items, and the main menu (menu resource 7000). With a
// command state set (the host's command table), an item of a command shows what the
// table answers; the item's own fields serve the items of no command.
#pragma once
#include <memory>
#include <vector>

#include "Commands.h"
#include "ICommandState.h"
#include "IMenu.h"

class TMenu : public TBase, public virtual IMenu {
public:
  static constexpr int32_t separatorId = 0;

  struct TItem {
    int32_t id = separatorId;  // 0 for separators and submenus
    TStr text;
    bool separator = false;
    bool checked = false;
    bool enabled = true;
    std::unique_ptr<TMenu> submenu;
  };

  TMenu() = default;
  explicit TMenu(const TStr& title) : title(title) {}

  // The main menu: "&File", "&System", "&Help".
  static TMenu* CreateMainMenu();

  TMenu& AddItem(int32_t id, const TStr& text);
  TMenu& AddSeparator(int32_t id = separatorId);
  // Answers the new submenu.
  TMenu& AddSubmenu(const TStr& text);
  // Inserts before the item with id (at the end when there is none in this menu).
  void InsertBefore(int32_t beforeId, TItem item);
  // The submenu whose title is text, searched through the submenus; null when none.
  TMenu* FindSubmenu(const TStr& text);
  // The table the items of commands read from (null: the items' own fields). Set on
  // the main menu, it serves its submenus too.
  void SetCommandState(ICommandState* state) { commandState = state; }

  bool CheckItem(int32_t id, bool checked) override;
  bool EnableItem(int32_t id, bool enabled) override;
  bool SetItemText(int32_t id, const TStr& text) override;
  bool HasItem(int32_t id) const override { return Find(id) != nullptr; }
  bool IsItemChecked(int32_t id) const override;
  bool IsItemEnabled(int32_t id) const override;
  TStr GetItemText(int32_t id) const override;

  const TStr& GetTitle() const { return title; }
  const std::vector<TItem>& GetItems() const { return items; }

private:
  TItem* Find(int32_t id);
  const TItem* Find(int32_t id) const;
  // The state that answers for id, or null.
  ICommandState* StateFor(int32_t id) const;

  ICommandState* commandState = nullptr;
  TMenu* parent = nullptr;
  TStr title;
  std::vector<TItem> items;
};
