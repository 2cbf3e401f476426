#include "TFileMenu.h"

#include "foundation/IRegistry.h"

TFileMenu::TFileMenu() {
  for (int32_t number = 1; number <= maxFiles; ++number) {
    const TStr name = IRegistry::GetString(TStr("File") + TStr::FromInt(number), TStr());
    if (name.IsEmpty()) break;
    files.push_back(name);
  }
}

void TFileMenu::Attach(TMenu& mainMenu) {
  TMenu* file = mainMenu.FindSubmenu("&File");
  if (!file || files.empty()) return;
  for (size_t i = 0; i < files.size(); ++i) {
    TMenu::TItem item;
    item.id = Command::firstRecent + static_cast<int32_t>(i);
    item.text = Shorten(files[i]);
    file->InsertBefore(Command::exit, std::move(item));
  }
  TMenu::TItem separator;
  separator.id = Command::recentSeparator;
  separator.separator = true;
  file->InsertBefore(Command::exit, std::move(separator));
}

TStr TFileMenu::Shorten(const TStr& path) {
  int32_t first = -1;
  int32_t last = -1;
  int32_t count = 0;
  for (int32_t i = 0; i < path.Length(); ++i) {
    if (path[i] == '/' || path[i] == '\\') {
      if (first < 0) first = i;
      last = i;
      ++count;
    }
  }
  if (count <= 1) return path;
  return path.Mid(0, first + 1) + "..." + path.Mid(last, path.Length() - last);
}
