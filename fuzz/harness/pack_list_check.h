// Checks of the (list) upkeep on damaged packs: loading, verifying and the
// integrity check fail with a code of their own or pass; a repair from a
// master list that reports success leaves a pack that passes the integrity
// check (when its list has rows); and the pack stays usable for the edits
// and list saving the updater makes afterwards.
#pragma once

#include <string>

#include "axp/common/error_record.h"
#include "axp/pack/pack_file.h"
#include "fuzz/harness/pack_read_check.h"
#include "fuzz/harness/sandbox.h"
#include "fuzz/harness/sparse_pack.h"

namespace fuzzing {
namespace pack_list {

constexpr char kAddedName[] = "fuzz.txt";
constexpr char kAddedText[] = "added by the check";

// Codes an integrity check or a repair may fail with.
inline bool expectedFailure(int32_t code) {
  return oneOf(code, {AXP::NotFound, AXP::BadData, AXP::OpenFailed, AXP::ReadFailed, AXP::WriteFailed, AXP::SeekFailed,
                      AXP::PackInEdit, AXP::BadArgument, AXP::HashTableFull, AXP::NoBlock});
}

inline Finding checkReadOnly(const std::string& path) {
  pack_read::PackHandle pack = pack_read::newPack();
  if (!pack->open(path.c_str(), true)) return {};
  pack->loadList();
  pack->verifyList();
  if (!pack->checkIntegrity() && !expectedFailure(AXP::getLastErrorCode())) {
    return fail("checkIntegrity failed with code %d", AXP::getLastErrorCode());
  }
  return {};
}

// Whether the pack was repaired to a list with rows: a list without rows
// never verifies, so such a pack cannot pass the integrity check. A failed
// repair must carry its code.
inline Finding repair(const std::string& path, const std::string& masterPath, bool* repairedWithRows) {
  *repairedWithRows = false;
  pack_read::PackHandle pack = pack_read::newPack();
  if (!pack->open(path.c_str(), false)) return {};
  pack->setListTracking(1);
  pack->loadList();
  const bool repaired = pack->repairFromList(masterPath.c_str());
  if (!repaired && !expectedFailure(AXP::getLastErrorCode())) {
    return fail("repairFromList failed with code %d", AXP::getLastErrorCode());
  }
  *repairedWithRows = repaired && !pack->list().files.empty();
  return {};
}

inline Finding checkRepaired(const std::string& path) {
  pack_read::PackHandle pack = pack_read::newPack();
  if (!pack->open(path.c_str(), true)) {
    return fail("a repaired pack does not open read-only: code %d %s", AXP::getLastErrorCode(),
                AXP::getLastErrorMessage());
  }
  if (!pack->checkIntegrity()) {
    return fail("a repaired pack fails its integrity check: code %d %s", AXP::getLastErrorCode(),
                AXP::getLastErrorMessage());
  }
  return {};
}

// The updater's way with a pack: tracked edits, then the list saved.
inline void edit(const std::string& path) {
  pack_read::PackHandle pack = pack_read::newPack();
  if (!pack->open(path.c_str(), false)) return;
  pack->setListTracking(1);
  pack->loadList();
  if (!pack->list().files.empty()) pack->removeContents(pack->list().files.begin()->first.c_str(), true);
  pack->insertContents(kAddedText, sizeof kAddedText - 1, kAddedName, true, true);
  pack->saveList();
}

inline Finding examine(const std::string& path, const std::string& masterPath) {
  Finding found = checkReadOnly(path);
  bool repairedWithRows = false;
  if (found.empty()) found = repair(path, masterPath, &repairedWithRows);
  if (found.empty() && repairedWithRows) found = checkRepaired(path);
  if (found.empty()) edit(path);
  return found;
}

}  // namespace pack_list

// The input is a u16 length, a master list of that many bytes, and the
// description of a pack (sparse_pack.h) named "data.axp".
inline Finding checkPackList(const uint8_t* data, size_t size) {
  static Sandbox sandbox;
  if (!sandbox.ready()) return fail("no sandbox");
  sandbox.clear();
  TempFolderRedirect redirect(sandbox.file("tmp"));
  InputReader input(data, size);
  const std::string_view master = input.bytes(input.u16());
  const std::string masterPath = sandbox.file("master.txt");
  const std::string path = sandbox.file("pack/data.axp");
  if (!writeFile(masterPath, master) || !writeSparsePack(input.rest(), path)) return fail("cannot write the inputs");
  const int descriptors = openDescriptors();
  Finding found = pack_list::examine(path, masterPath);
  if (found.empty() && openDescriptors() != descriptors) found = fail("a file was left open");
  if (found.empty() && !viewTree(sandbox.file("tmp")).empty()) found = fail("a scratch file was left behind");
  return found;
}

}  // namespace fuzzing
