#include "TMenu.h"

TMenu* TMenu::CreateMainMenu() {
  TMenu* menu = new TMenu();
  TMenu& file = menu->AddSubmenu("&File");
  file.AddItem(Command::openSession, "&Open Session...");
  file.AddItem(Command::saveSession, "&Save Session");
  file.AddItem(Command::saveSessionAs, "Sav&e Session As...");
  file.AddSeparator();
  file.AddItem(Command::loadKit, "&Load Kit...");
  file.AddItem(Command::saveKit, "Save &Kit...");
  file.AddSeparator();
  file.AddItem(Command::exit, "E&xit");
  TMenu& system = menu->AddSubmenu("&System");
  system.AddItem(Command::toggleAudio, "Stop &Audio");
  system.AddSeparator();
  TMenu& port = system.AddSubmenu("Audio &Port");
  port.AddItem(Command::portSoundcard, "&Soundcard");
  port.AddItem(Command::portAsio, "&ASIO");
  system.AddItem(Command::audioSettings, "Audio &Settings...");
  system.AddItem(Command::audioRouting, "Audio &Routing...");
  system.AddSeparator();
  system.AddItem(Command::midiSettings, "&MIDI Settings...");
  TMenu& help = menu->AddSubmenu("&Help");
  help.AddItem(Command::about, "&About");
  return menu;
}

TMenu& TMenu::AddItem(int32_t id, const TStr& text) {
  TItem item;
  item.id = id;
  item.text = text;
  items.push_back(std::move(item));
  return *this;
}

TMenu& TMenu::AddSeparator(int32_t id) {
  TItem item;
  item.id = id;
  item.separator = true;
  items.push_back(std::move(item));
  return *this;
}

TMenu& TMenu::AddSubmenu(const TStr& text) {
  TItem item;
  item.text = text;
  item.submenu = std::make_unique<TMenu>(text);
  item.submenu->parent = this;
  items.push_back(std::move(item));
  return *items.back().submenu;
}

void TMenu::InsertBefore(int32_t beforeId, TItem item) {
  for (auto at = items.begin(); at != items.end(); ++at) {
    if (at->id == beforeId && beforeId != separatorId) {
      items.insert(at, std::move(item));
      return;
    }
  }
  items.push_back(std::move(item));
}

TMenu* TMenu::FindSubmenu(const TStr& text) {
  for (TItem& item : items) {
    if (!item.submenu) continue;
    if (item.text == text) return item.submenu.get();
    if (TMenu* found = item.submenu->FindSubmenu(text)) return found;
  }
  return nullptr;
}

TMenu::TItem* TMenu::Find(int32_t id) {
  return const_cast<TItem*>(static_cast<const TMenu*>(this)->Find(id));
}

const TMenu::TItem* TMenu::Find(int32_t id) const {
  if (id == separatorId) return nullptr;
  for (const TItem& item : items) {
    if (item.id == id) return &item;
    if (item.submenu) {
      if (const TItem* found = item.submenu->Find(id)) return found;
    }
  }
  return nullptr;
}

bool TMenu::CheckItem(int32_t id, bool checked) {
  TItem* item = Find(id);
  if (item) item->checked = checked;
  return item != nullptr;
}

bool TMenu::EnableItem(int32_t id, bool enabled) {
  TItem* item = Find(id);
  if (item) item->enabled = enabled;
  return item != nullptr;
}

bool TMenu::SetItemText(int32_t id, const TStr& text) {
  TItem* item = Find(id);
  if (item) item->text = text;
  return item != nullptr;
}

ICommandState* TMenu::StateFor(int32_t id) const {
  const TMenu* menu = this;
  while (menu && !menu->commandState) menu = menu->parent;
  ICommandState* state = menu ? menu->commandState : nullptr;
  return state && state->HasCommand(id) ? state : nullptr;
}

bool TMenu::IsItemChecked(int32_t id) const {
  const TItem* item = Find(id);
  if (!item) return false;
  ICommandState* state = StateFor(id);
  return state ? state->IsCommandChecked(id) : item->checked;
}

bool TMenu::IsItemEnabled(int32_t id) const {
  const TItem* item = Find(id);
  if (!item) return false;
  ICommandState* state = StateFor(id);
  return state ? state->IsCommandEnabled(id) : item->enabled;
}

TStr TMenu::GetItemText(int32_t id) const {
  const TItem* item = Find(id);
  if (!item) return TStr();
  ICommandState* state = StateFor(id);
  const TStr text = state ? state->GetCommandText(id) : TStr();
  return text.IsEmpty() ? item->text : text;
}
