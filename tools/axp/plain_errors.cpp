#include "plain_errors.h"

#include <vector>

#include "axp/common/byte_order.h"
#include "axp/common/error_record.h"
#include "axp/common/format_names.h"
#include "axp/pack/pack_file.h"
#include "axp/pack/pack_format.h"
#include "axp/updater/command_list.h"
#include "cli/error_report.h"
#include "directory_files.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"

namespace axptool {
namespace {

const char kNotAFolder[] = "Path=%s(not a folder)";
const bool kReadOnly = true;

std::string quoted(const std::string& text) { return "'" + text + "'"; }

bool isDamageCode(int32_t code) {
  return code == AXP::BadData || code == AXP::ReadFailed || code == AXP::SeekFailed ||
         code == AXP::BadEntryRecord || code == AXP::BlockOutOfRange;
}

// The first pack under `folder` that is marked as being edited; empty
// when none is (or the folder cannot be read).
std::string packInEditUnder(const std::string& folder) {
  AXP::ErrorSnapshot failure;
  std::vector<FileUnder> files;
  std::string found;
  if (listFilesUnder(folder, &files)) {
    for (const FileUnder& file : files) {
      AXP::PackFile pack;
      if (AXP::isPackName(file.name) && !pack.open(file.path.c_str(), kReadOnly) &&
          AXP::getLastErrorCode() == AXP::PackInEdit) {
        found = file.path;
        break;
      }
    }
  }
  failure.restore();
  return found;
}

// True when the file begins with the packs' magic number; also when it
// cannot be read, which the pack's own report then tells.
bool startsLikeAPack(const std::string& path) {
  platform::File file;
  uint8_t start[sizeof(uint32_t)];
  uint32_t got = 0;
  if (!file.open(path, platform::Access::Read, platform::Disposition::ExistingOnly) ||
      !file.read(start, sizeof start, &got)) {
    return true;
  }
  return got == sizeof start && AXP::readLittleEndian32(start) == AXP::kPackMagic;
}

}  // namespace

bool requireFolder(const std::string& folder) {
  if (platform::isDirectory(folder)) return true;
  AXP::reportError(AXP::BadArgument, kNotAFolder, folder.c_str());
  return cli::explain(folder + ": no such folder");
}

std::string packInEditWords(const std::string& path) {
  return path + " is marked as being edited: an edit or an apply stopped before it finished. Run the apply again, " +
         "or bring the pack back with " + quoted("axp pack repair " + path + " MASTERLIST") +
         " (the installation's \"(version)\" serves as MASTERLIST)";
}

std::string packFailureWords(const std::string& path) {
  const int32_t code = AXP::getLastErrorCode();
  // Asked first: the look at the path below changes the system's error.
  if (code == AXP::BadArgument && platform::lastSystemError() == platform::outsideRootError()) {
    return path + " is reached through a link that leaves its folder";
  }
  if (!platform::pathExists(path)) return path + ": no such file";
  if (platform::isDirectory(path)) return path + " is a folder, not an .axp pack";
  // Packs are read by their tables; a file of another kind can look like
  // one left half-edited.
  if (!startsLikeAPack(path)) return path + " is not an .axp pack";
  if (code == AXP::PackInEdit) return packInEditWords(path);
  if (isDamageCode(code)) return path + " is not an .axp pack, or it is damaged";
  return "cannot use the pack " + path;
}

bool explainPackFailure(const std::string& path) { return cli::explain(packFailureWords(path)); }

bool explainPackageFailure(const std::string& path) {
  if (!platform::pathExists(path)) return cli::explain(path + ": no such file");
  if (platform::isDirectory(path)) return cli::explain(path + " is a folder, not a patch package");
  const int32_t code = AXP::getLastErrorCode();
  if (code == AXP::BadData || code == AXP::LibraryError || code == AXP::BadArgument) {
    return cli::explain(path + " is not a patch package, or it is damaged (download or build it again)");
  }
  return cli::explain("cannot read the patch package " + path);
}

std::string catalogCommandFor(const std::string& folder) { return "axp catalog " + folder + " VERSION"; }

bool explainRegistration(const std::string& folder, bool scanned) {
  if (!platform::isDirectory(folder)) return cli::explain(folder + ": no such folder");
  const std::string catalogue = platform::pathAppend(folder, AXP::kVersionFileName);
  const int32_t code = AXP::getLastErrorCode();
  if (!scanned && !platform::pathExists(catalogue)) {
    return cli::explain(folder + " has no \"(version)\" catalogue; run " + quoted(catalogCommandFor(folder)) +
                        " first");
  }
  if (!scanned) {
    return cli::explain("the \"(version)\" catalogue of " + folder + " is damaged; run " +
                        quoted(catalogCommandFor(folder)) + " again");
  }
  if (code == AXP::PackInEdit) {
    const std::string pack = packInEditUnder(folder);
    if (!pack.empty()) return cli::explain(packInEditWords(pack));
  }
  return cli::explain("cannot catalogue " + folder + ": a file or pack in it cannot be read");
}

}  // namespace axptool
