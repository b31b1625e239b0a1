// The Windows registry and drive paths, as a Wine prefix keeps them: the
// prefix is $WINEPREFIX, else ~/.wine.
#pragma once

#include <string>

namespace host {

// The Wine prefix folder, without a trailing separator; empty when neither
// $WINEPREFIX nor $HOME is set.
std::string winePrefix();

// Reads the string value `valueName` (empty: the key's default value) of
// `key` ("SOFTWARE\Brindell\QELT") under `hive` ("HKEY_LOCAL_MACHINE", kept
// in the prefix's system.reg, or "HKEY_CURRENT_USER", in user.reg). Key and
// value names match ignoring ASCII case. A key under "Software\" is looked
// for first in the view a 32-bit program has of a 64-bit prefix
// ("Software\Wow6432Node\..."), then as written. False when the hive, key or
// value is missing, the value is not a string, or the file is no registry
// file; lastSystemError() is then ENOENT, EINVAL or the error reading it.
bool readRegistryValue(const std::string& hive, const std::string& key, const std::string& valueName,
                       std::string* value);

// A drive path ("C:\Games\QELT", "d:/x", "C:") as a POSIX path: the drive
// through the prefix's dosdevices folder (dosdevices/c: links to the
// drive's folder), the rest with "/" between components. Any other path is
// returned unchanged.
std::string mapWindowsPath(const std::string& windowsPath);

}  // namespace host
