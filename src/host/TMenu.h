// A menu as a plain list of items, and the main menu (menu resource 7000).
#pragma once
#include <memory>
#include <vector>

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

  TStr title;
  std::vector<TItem> items;
};

// Command ids of the host.
namespace Command {
constexpr int32_t reloadPlug = 1000;
constexpr int32_t openSession = 1001;
constexpr int32_t saveSession = 1002;
constexpr int32_t saveSessionAs = 1003;
constexpr int32_t noEffect1004 = 1004;
constexpr int32_t openMidiFile = 1010;
constexpr int32_t saveKit = 1011;
constexpr int32_t loadKit = 1012;
constexpr int32_t recentSeparator = 1020;
constexpr int32_t firstRecent = 1021;
constexpr int32_t lastRecent = 1030;
constexpr int32_t togglePlayback = 1155;
constexpr int32_t toggleLoop = 1156;
constexpr int32_t toggleSync = 1157;
constexpr int32_t toggleAudio = 1200;
constexpr int32_t never1201 = 1201;
constexpr int32_t audioSettings = 1203;
constexpr int32_t audioRouting = 1204;
constexpr int32_t midiSettings = 1205;
constexpr int32_t noEffect1206 = 1206;
constexpr int32_t recorderPanel = 1207;
constexpr int32_t firstPortItem = 1210;
constexpr int32_t portSoundcard = 1212;
constexpr int32_t portAsio = 1214;
constexpr int32_t noEffect1300 = 1300;
constexpr int32_t about = 1302;
constexpr int32_t exit = 24310;
}  // namespace Command
