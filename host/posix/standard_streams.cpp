#include "host/standard_streams.h"

namespace host {

// POSIX streams carry bytes as they are: nothing to switch.
void useBinaryStandardStreams() {}

}  // namespace host
