// The registry value the game's installer leaves: "InstallPath" of
// HKEY_LOCAL_MACHINE\SOFTWARE\Brindell\QELT in a 32-bit program's view. On
// POSIX systems it lives in a Wine prefix of the test's own (WINEPREFIX
// points there for the object's lifetime); on Windows in the registry
// itself, where the object removes it again. Tests that use it must not
// run at the same time as each other on Windows (see tests/CMakeLists.txt).
#pragma once

#include <string>

namespace testing_support {

class GameRegistry {
 public:
  // Names no installation yet. `scratchFolder` holds the prefix and the
  // game folder.
  explicit GameRegistry(const std::string& scratchFolder);
  ~GameRegistry();
  GameRegistry(const GameRegistry&) = delete;
  GameRegistry& operator=(const GameRegistry&) = delete;

  // The folder the installer's path "C:\Games\QELT" stands for here.
  const std::string& gameFolder() const { return gameFolder_; }
  // Names the game folder as the installation.
  bool nameGameFolder();

 private:
  std::string scratchFolder_;
  std::string gameFolder_;
  std::string oldPrefix_;
  bool hadPrefix_ = false;
};

}  // namespace testing_support
