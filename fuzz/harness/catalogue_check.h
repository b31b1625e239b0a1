// Checks of the builder's catalogue reading on arbitrary "(version)" files:
// registering a folder by its catalogue fails with a code of its own (and
// leaves the folder unregistered) or succeeds; a catalogue read, written
// again and read back gives the same records; and two registered catalogues
// give a plan whose last command adds "(version)".
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>

#include "axp/common/error_record.h"
#include "axp/patchmaker/catalogue_file.h"
#include "axp/patchmaker/patch_maker.h"
#include "axp/updater/command_list.h"
#include "fuzz/harness/sandbox.h"

namespace fuzzing {
namespace catalogue {

inline Finding registerFolder(AXP::PatchMaker& maker, const std::string& folder, bool* registered) {
  *registered = maker.addVersion(folder.c_str(), nullptr);
  if (!*registered) {
    if (!oneOf(AXP::getLastErrorCode(), {AXP::NotFound, AXP::BadData, AXP::ReadFailed})) {
      return fail("reading a catalogue failed with code %d", AXP::getLastErrorCode());
    }
    if (maker.findVersion(folder.c_str()) != nullptr) return fail("a catalogue that failed to read stays registered");
    return {};
  }
  const char* version = maker.getVersion(folder.c_str());
  if (version == nullptr || maker.findVersion(folder.c_str()) == nullptr ||
      std::string(version) != maker.findVersion(folder.c_str())->version.c_str()) {
    return fail("a registered folder has no version");
  }
  return {};
}

inline bool sameRecords(const AXP::VersionRecord& a, const AXP::VersionRecord& b) {
  return a.version == b.version && a.packKeys == b.packKeys &&
         std::equal(a.files.begin(), a.files.end(), b.files.begin(), b.files.end(), [](const auto& x, const auto& y) {
           return x.name == y.name && x.size == y.size && x.crc == y.crc && x.pack == y.pack;
         });
}

// Texts with a zero byte inside are cut there by every writer of the
// system's text formats, as the C library's string functions cut them.
inline bool holdsZeroByte(const AXP::VersionRecord& record) {
  auto zero = [](const std::string& text) { return text.find('\0') != std::string::npos; };
  return zero(record.version) || std::any_of(record.files.begin(), record.files.end(),
                                             [&](const auto& file) { return zero(file.name) || zero(file.pack); });
}

// What the builder writes of a catalogue it read, it reads back alike. A
// record whose line no longer fits (sizes come back as eight digits) may be
// refused by the writing.
inline Finding checkRewrite(const AXP::VersionRecord& record, const std::string& copyPath) {
  if (holdsZeroByte(record) || !AXP::writeCatalogue(copyPath, record)) return {};
  AXP::VersionRecord again;
  if (!AXP::readCatalogue(copyPath, &again)) {
    return fail("a catalogue written from one read fails to read: code %d", AXP::getLastErrorCode());
  }
  if (!sameRecords(record, again)) return fail("a catalogue written from one read reads back differently");
  return {};
}

inline Finding checkPlan(AXP::PatchMaker& maker, const std::string& oldFolder, const std::string& newFolder) {
  AXP::PatchPlan plan;
  if (!maker.planPatch(oldFolder.c_str(), newFolder.c_str(), AXP::PatchFilter(), &plan)) {
    return fail("planning between two registered folders failed with code %d", AXP::getLastErrorCode());
  }
  if (plan.empty() || plan.back().op != AXP::kOpAddOrReplace || !plan.back().pack.empty() ||
      plan.back().name != AXP::kVersionFileName) {
    return fail("the plan does not end with the add of (version)");
  }
  return {};
}

inline Finding examine(const std::string& oldFolder, const std::string& newFolder, const std::string& copyPath) {
  AXP::PatchMaker maker;
  bool oldRegistered = false;
  bool newRegistered = false;
  Finding found = registerFolder(maker, oldFolder, &oldRegistered);
  if (found.empty()) found = registerFolder(maker, newFolder, &newRegistered);
  if (found.empty() && oldRegistered) found = checkRewrite(*maker.findVersion(oldFolder.c_str()), copyPath);
  if (found.empty() && oldRegistered && newRegistered) found = checkPlan(maker, oldFolder, newFolder);
  return found;
}

}  // namespace catalogue

// The input is a u16 length, the old folder's catalogue of that many
// bytes, and the new folder's catalogue.
inline Finding checkCatalogue(const uint8_t* data, size_t size) {
  static Sandbox sandbox;
  if (!sandbox.ready()) return fail("no sandbox");
  InputReader input(data, size);
  const std::string_view oldCatalogue = input.bytes(input.u16());
  const std::string oldFolder = sandbox.file("old");
  const std::string newFolder = sandbox.file("new");
  if (!writeFile(oldFolder + "/(version)", oldCatalogue) || !writeFile(newFolder + "/(version)", input.rest())) {
    return fail("cannot write the catalogues");
  }
  std::error_code ignored;
  std::filesystem::create_directories(sandbox.file("copy"), ignored);
  const int descriptors = openDescriptors();
  Finding found = catalogue::examine(oldFolder, newFolder, sandbox.file("copy/(version)"));
  if (found.empty() && openDescriptors() != descriptors) found = fail("a file was left open");
  return found;
}

}  // namespace fuzzing
