// The message forms failures of the system share, each with the arguments
// its format takes. Callers read them in the error record after a failed
// call; the wording is fixed, so every room reports with these texts.
#pragma once

namespace AXP::messages {

constexpr char kNone[] = "";
constexpr char kName[] = "%s";  // a name or path
// A file that cannot be opened, created, moved or positioned: path, system
// error.
constexpr char kFileError[] = "File=%s, WinErr=%d";
// A file that cannot be written, copied or moved into place: path, system
// error.
constexpr char kFileWriteError[] = "File=%s, WinErr: %d";
// A folder that cannot be created or read: path, system error.
constexpr char kFolderError[] = "Path=%s, WinErr=%d";
constexpr char kSystemError[] = "WinErr=%d";
constexpr char kWriteError[] = "winErr: %d";
// A file that cannot be checksummed.
constexpr char kChecksumError[] = "winErr=%d";
// Something missing from, or wrong with, a named part of a pack or package:
// part name, container path.
constexpr char kPartOf[] = "%s in %s";
constexpr char kTooSmall[] = "File=%s(too small)";
// A path that would leave the folder it is taken in, through a link or a
// "..": the name.
constexpr char kOutsideRoot[] = "File=%s(leaves its folder through a link)";
// A file or folder another program works on (a pack open for writing, an
// installation being patched): path.
constexpr char kInUse[] = "File=%s, in use by another program";
// A file whose size the formats' 32-bit size fields cannot hold: path.
constexpr char kTooLargeForFormats[] = "File=%s(4 GiB or more; sizes stop at 4294967295 bytes)";
constexpr char kOutOfMemory[] = "out of memory";
// A file read short: name or path.
constexpr char kFileReadError[] = "file=%s";
// A packed file that differs from its (list) row: name, its size or
// checksum, the listed one.
constexpr char kSizeDiffers[] = "file=%s, sizedif(%d!=%d)";
constexpr char kChecksumDiffers[] = "file=%s, crcdif(%u!=%u)";
// Result numbers of the libraries: the ZIP reader's, the LZMA coder's, the
// ZIP writer's.
constexpr char kZipError[] = "ziperr=%d";
constexpr char kLzmaError[] = "LZMA=%d";
constexpr char kArchiveError[] = "XZIP=%d";

}  // namespace AXP::messages
