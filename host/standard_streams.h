// Standard output and standard error as channels for bytes.
#pragma once

namespace host {

// Makes standard output and standard error carry bytes unchanged, so that
// a packed file written there arrives as it is and messages end as on
// every system: the Windows C library would otherwise turn each line feed
// into a carriage return and a line feed. POSIX systems never change the
// bytes.
void useBinaryStandardStreams();

}  // namespace host
