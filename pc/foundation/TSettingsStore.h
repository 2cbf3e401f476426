// The settings store of this platform: every key is a text file in the user's
// configuration folder, "Software\Velmora\Thudra" being
// $XDG_CONFIG_HOME/Velmora/Thudra.conf (~/.config when the variable is unset).
#pragma once
#include <string>
#include <string_view>

#include "foundation/IRegistryBackend.h"

class TSettingsStore : public IRegistryBackend {
public:
  // configHome empty: the user's configuration folder as it is when a key opens.
  explicit TSettingsStore(std::string configHome = {});

  // Null when the path names no file or the folder does not take files.
  IRegistryKey* OpenKey(const TStr& path, bool& created) override;

  // Installs the process-wide store of the user's configuration folder as the
  // settings backend (IRegistry::Open follows).
  static TSettingsStore& InstallForUser();

  // $XDG_CONFIG_HOME when it is an absolute path, else the home folder's .config;
  // empty when neither is known.
  static std::string UserConfigHome();
  // The file of a key below home: a leading "Software" is dropped, the other parts
  // become folders and the last one the file name with ".conf". Empty when a part is
  // empty, "." or "..", or holds a control character.
  static std::string FileForKey(const std::string& home, std::string_view keyPath);

private:
  std::string configHome;
};
