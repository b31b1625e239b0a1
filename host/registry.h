// The Windows registry and drive paths. On Windows they are the system's
// own; on POSIX systems they are those of a Wine prefix ($WINEPREFIX, else
// ~/.wine), where the game's Windows installer ran.
#pragma once

#include <string>

namespace host {

// Reads the string value `valueName` (empty: the key's default value) of
// `key` ("SOFTWARE\Brindell\QELT") under `hive` ("HKEY_LOCAL_MACHINE" or
// "HKEY_CURRENT_USER") in the registry view a 32-bit program has, where the
// game's 32-bit installer wrote it. Key and value names match ignoring
// ASCII case; the text comes in the ANSI code page. A Wine prefix's
// registry files are read directly: a key under "Software\" is looked for
// first in that view ("Software\Wow6432Node\..."), then as written, which
// is where a 32-bit prefix keeps it. False when the hive, key or value is
// missing (NotFound), the value is not a string or the registry cannot be
// read as one (InvalidArgument), or on the error reading it.
bool readRegistryValue(const std::string& hive, const std::string& key, const std::string& valueName,
                       std::string* value);

// An installation path as the registry holds it ("C:\Games\QELT") as a path
// of this system. On Windows it is that path. On POSIX systems a drive path
// ("C:\Games\QELT", "d:/x", "C:") leads through the prefix's dosdevices
// folder (dosdevices/c: links to the drive's folder), the rest with "/"
// between components; any other path is returned unchanged.
std::string mapWindowsPath(const std::string& windowsPath);

}  // namespace host
