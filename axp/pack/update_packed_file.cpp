// Replacing one packed file of another pack and patching that pack's
// (list) row in place, without rebuilding the list.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "arguments.h"
#include "axp/common/checksum.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/name_text.h"
#include "axp/common/out_of_memory.h"
#include "axp/pack/pack_file.h"
#include "data_stream.h"
#include "list_text.h"
#include "pack_messages.h"

namespace AXP {
namespace {

// Lists this large or larger are not patched.
constexpr uint32_t kListBufferSize = 0x200000;
constexpr char kHexFormat[] = "%08X";
constexpr size_t kHexDigits = 8;

// Writes `value` as eight hex digits at `at`, without a terminating NUL (the
// byte after them belongs to the list).
void putHex(char* at, uint32_t value) {
  char digits[kHexDigits + 1];
  std::snprintf(digits, sizeof digits, kHexFormat, value);
  std::memcpy(at, digits, kHexDigits);
}

}  // namespace

bool PackFile::updatePackedFile(const char* packPath, const char* name, uint32_t nameLength,
                                const void* data, uint32_t size) try {
  if (isMissing(packPath)) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  std::unique_ptr<char[]> listText(new (std::nothrow) char[kListBufferSize]());
  if (listText == nullptr) {
    reportError(LibraryError, messages::kOutOfMemory);
    return false;
  }
  std::string path = ".";
  if (!appendPath(&path, packPath)) return false;
  auto pack = std::make_unique<PackFile>();
  if (!pack->open(path.c_str(), false) || !pack->insertContents(data, size, name, true, true)) {
    return false;
  }
  const uint32_t newChecksum = crcBuffer(data, size);

  DataStreamHandle list(pack->openStream(kListFileName));
  if (list == nullptr) return false;
  if (list->size() >= kListBufferSize) return pack->reportListProblem(BadData);
  const uint32_t length = list->size();
  if (list->read(listText.get(), length) != length) {
    if (!list->failed()) reportError(ReadFailed, messages::kShortRead, kListFileName);
    return false;
  }

  // Positions come from the stream itself, so "\r\n" line ends and empty
  // lines do not shift them; only eight-digit fields are overwritten.
  list->seek(0);
  const std::string summaryLine = readListLine(list.get(), kCheckLineCapacity);
  uint32_t summary = 0;
  const bool summaryPatchable = summaryLine.size() == kHexDigits && parseHex(summaryLine, &summary);
  readListLine(list.get(), kCheckLineCapacity);
  ListRowFields fields;
  while (!list->eof()) {
    const uint32_t rowStart = list->tell();
    const std::string line = readListLine(list.get(), kCheckLineCapacity);
    if (line.empty()) continue;
    if (!checkListRow(line, &fields)) return false;
    if (std::strncmp(fields.name.c_str(), name, nameLength) != 0) continue;
    if (!summaryPatchable || fields.size.size() != kHexDigits || fields.checksum.size() != kHexDigits) {
      break;
    }
    uint32_t oldChecksum = 0;
    parseHex(fields.checksum, &oldChecksum);
    char* sizeField = listText.get() + rowStart + fields.name.size() + 1;
    putHex(sizeField, size);
    putHex(sizeField + kHexDigits + 1, newChecksum);
    putHex(listText.get(), summary ^ oldChecksum ^ newChecksum);
    break;
  }
  list.reset();
  // A row left unpatched would make the pack fail its integrity check.
  return pack->insertContents(listText.get(), length, kListFileName, true, true) && pack->close();
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

}  // namespace AXP
