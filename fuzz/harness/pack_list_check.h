// Checks of the (list) upkeep on damaged packs: loading, verifying and the
// integrity check fail with a code of their own or pass; a repair from a
// master list that reports success leaves a pack that passes the integrity
// check (when its list has rows); and the pack stays usable for the edits
// and list saving the updater makes afterwards.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
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

// Every stage shares the one pack object the lookup checks use: making
// one sets up a whole table, and each open starts from an empty list as a
// fresh object does.
inline Finding checkReadOnly(const std::string& path) {
  const pack_read::ClosedAfterUse pack{&pack_read::reusedPack()};
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
  const pack_read::ClosedAfterUse pack{&pack_read::reusedPack()};
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
  const pack_read::ClosedAfterUse pack{&pack_read::reusedPack()};
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

constexpr size_t kMaxBystanders = 16;
// Larger files (a sparse pack may name gigabytes) are not compared.
constexpr uint32_t kMaxBystanderSize = 1 << 20;

inline std::optional<std::string> packedBytes(AXP::PackFile& pack, const std::string& name) {
  pack_read::StreamHandle stream(pack.openFile(name.c_str()));
  if (!stream) return std::nullopt;
  std::string bytes(stream->size(), '\0');
  if (stream->read(bytes.data(), stream->size()) != bytes.size()) return std::nullopt;
  return bytes;
}

inline bool samePackedFile(const std::string& a, const std::string& b) {
  return AXP::normalizeName(a, true, true) == AXP::normalizeName(b, true, true);
}

// Packed files the edit must leave byte for byte: the listed files other
// than the removed, the added and the (list), even when their blocks are
// shared or overlap others.
inline std::map<std::string, std::string> bystanders(AXP::PackFile& pack, const std::string& removed) {
  std::map<std::string, std::string> files;
  for (const auto& [name, info] : pack.list().files) {
    if (files.size() == kMaxBystanders) break;
    if (samePackedFile(name, removed) || samePackedFile(name, kAddedName) ||
        samePackedFile(name, AXP::kListFileName) || pack.getFileSize(name.c_str()) > kMaxBystanderSize) {
      continue;
    }
    if (std::optional<std::string> bytes = packedBytes(pack, name)) files.emplace(name, *bytes);
  }
  return files;
}

// The updater's way with a pack: tracked edits, then the list saved; no
// other packed file may change.
inline Finding edit(const std::string& path) {
  const pack_read::ClosedAfterUse pack{&pack_read::reusedPack()};
  if (!pack->open(path.c_str(), false)) return {};
  pack->setListTracking(1);
  pack->loadList();
  const std::string removed = pack->list().files.empty() ? "" : pack->list().files.begin()->first;
  const std::map<std::string, std::string> before = bystanders(*pack, removed);
  if (!removed.empty()) pack->removeContents(removed.c_str(), true);
  pack->insertContents(kAddedText, sizeof kAddedText - 1, kAddedName, true, true);
  pack->saveList();
  for (const auto& [name, bytes] : before) {
    if (packedBytes(*pack, name) != bytes) return fail("editing others changed the bytes of %s", name.c_str());
  }
  return {};
}

inline Finding examine(const std::string& path, const std::string& masterPath) {
  Finding found = checkReadOnly(path);
  bool repairedWithRows = false;
  if (found.empty()) found = repair(path, masterPath, &repairedWithRows);
  if (found.empty() && repairedWithRows) found = checkRepaired(path);
  if (found.empty()) found = edit(path);
  return found;
}

}  // namespace pack_list

// The input is a u16 length, a master list of that many bytes, and the
// description of a pack (sparse_pack.h) named "data.axp".
inline Finding checkPackList(const uint8_t* data, size_t size) {
  testing_support::MemoryEnv& ground = memoryGround();
  ground.clear();
  const platform::ScopedEnv inUse(&ground);
  InputReader input(data, size);
  const std::string_view master = input.bytes(input.u16());
  const std::string masterPath = "/master.txt";
  const std::string path = "/pack/data.axp";
  ground.putFile(masterPath, std::string(master));
  putSparsePack(ground, path, input.rest());
  Finding found = pack_list::examine(path, masterPath);
  if (found.empty() && ground.openFiles() != 0) found = fail("a file was left open");
  if (found.empty() && ground.snapshot("/tmp").size() != 1) found = fail("a scratch file was left behind");
  // Emptied here too, so that a run frees what it took.
  ground.clear();
  return found;
}

}  // namespace fuzzing
