// Where the Wine prefix lies. Internal to host/posix.
#pragma once

#include <string>

namespace host {

// The Wine prefix folder, without a trailing separator: $WINEPREFIX, else
// ~/.wine; empty when neither $WINEPREFIX nor $HOME is set.
std::string winePrefix();

}  // namespace host
