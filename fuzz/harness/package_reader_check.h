// The package reader checked against zziplib on arbitrary bytes. The two
// must give the same answers (the archive opens or not; an entry is found
// or not, its size, its bytes), apart from the differences named below,
// each of which this reader has on purpose. And what this reader delivers
// is always whole and matches the CRC-32 its directory records.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <set>
#include <string>
#include <string_view>

#include "fuzz/harness/reader_answers.h"
#include "fuzz/harness/sandbox.h"

namespace fuzzing {
namespace readers {

// Probing more names adds time, not reach.
constexpr size_t kMaxProbedNames = 16;

enum class Difference {
  // The end record is cut short (zziplib reads one that lacks its last
  // bytes).
  RefusesCutEndRecord,
  // A directory record without its signature, or a directory that does not
  // fit between its offset and the end record (zziplib reads on).
  RefusesDamagedDirectory,
  // The end record says the archive spans several disks (zziplib ignores
  // the disk fields).
  RefusesSplitArchive,
  // ZIP64 markers: sizes or offsets handed over to records this reader
  // does not read.
  RefusesZip64,
  // An entry whose data does not match its CRC-32, whose local header
  // disagrees with its directory record (or is not there), or whose sizes
  // cannot both be true; zziplib delivers whatever bytes it finds.
  RefusesDamagedEntry,
  // An entry flagged as encrypted, or of a method other than stored and
  // deflated (zziplib hands out the raw bytes of some).
  RefusesUnsupportedEntry,
  // An end record's signature behind the real one (in a comment or a block
  // appended to the archive) whose fields fit nothing is passed over here;
  // zziplib takes the last signature it meets and gives up, or reads a
  // directory from it that does not fit before it.
  PassesOverFalseEndRecord,
  // An archive without entries opens here, holding nothing; zziplib
  // refuses it.
  OpensEmptyArchive,
  // Names that differ only in the case of the second byte of a double-byte
  // character are two names here; zziplib's byte-wise comparison folds
  // them into one.
  DoubleByteNames,
};

struct Comparison {
  Finding problem;  // empty when the answers agree but for named differences
  std::set<Difference> differences;
};

// Why this reader refused what zziplib read, by the reason it gave.
struct Refusal {
  AXP::ZipError error;
  Difference difference;
};

constexpr Refusal kArchiveRefusals[] = {
    {AXP::ZipError::TooShort, Difference::RefusesCutEndRecord},
    {AXP::ZipError::NoEndRecord, Difference::RefusesCutEndRecord},
    {AXP::ZipError::Corrupted, Difference::RefusesDamagedDirectory},
    {AXP::ZipError::BadDirectory, Difference::RefusesDamagedDirectory},
    {AXP::ZipError::Unsupported, Difference::RefusesSplitArchive},
    {AXP::ZipError::TooLarge, Difference::RefusesZip64},
};

constexpr Refusal kEntryRefusals[] = {
    {AXP::ZipError::Corrupted, Difference::RefusesDamagedEntry},
    {AXP::ZipError::Unsupported, Difference::RefusesUnsupportedEntry},
    {AXP::ZipError::TooLarge, Difference::RefusesZip64},
};

// Adds the difference a refusal with `error` names; false when it names
// none.
template <size_t count>
bool namedRefusal(const Refusal (&refusals)[count], int error, Comparison* result) {
  for (const Refusal& refusal : refusals) {
    if (static_cast<int>(refusal.error) != error) continue;
    result->differences.insert(refusal.difference);
    return true;
  }
  return false;
}

inline bool hasLeadByte(const std::string& name) {
  return std::any_of(name.begin(), name.end(), [](char c) { return static_cast<uint8_t>(c) >= 0x81; });
}

// Whole: read to its end without an error, as many bytes as its size.
inline bool deliveredWhole(const EntryAnswer& answer) {
  return answer.delivered && answer.bytes.size() == answer.size;
}

inline Finding compareEntry(const std::string& name, const EntryAnswer& our, const EntryAnswer& their,
                            Comparison* result) {
  if (our.found != their.found || (our.found && our.size != their.size) ||
      (deliveredWhole(our) && deliveredWhole(their) && our.bytes != their.bytes)) {
    if (hasLeadByte(name)) {
      result->differences.insert(Difference::DoubleByteNames);
      return {};
    }
    return fail("entry %s: ours found %d size %u, zziplib found %d size %u%s", name.c_str(), our.found, our.size,
                their.found, their.size, our.size == their.size ? ", bytes differ" : "");
  }
  if (deliveredWhole(our) &&
      crc32(0, reinterpret_cast<const Bytef*>(our.bytes.data()), static_cast<uInt>(our.bytes.size())) != our.crc) {
    return fail("entry %s: ours delivers bytes that do not match their CRC-32", name.c_str());
  }
  if (deliveredWhole(our) && !deliveredWhole(their)) {
    return fail("entry %s: only ours delivers (zziplib error %d, %zu of %u bytes)", name.c_str(), their.error,
                their.bytes.size(), their.size);
  }
  if (our.found && !deliveredWhole(our) && deliveredWhole(their) && !namedRefusal(kEntryRefusals, our.error, result)) {
    return fail("entry %s: ours refuses with error %d", name.c_str(), our.error);
  }
  return {};
}

// More than one end record signature where the end record is looked for.
inline bool manyEndSignatures(const uint8_t* data, size_t size) {
  constexpr size_t kSearchSpan = 65536 + 22;
  const std::string_view tail(reinterpret_cast<const char*>(data) + (size - std::min(size, kSearchSpan)),
                              std::min(size, kSearchSpan));
  const size_t last = tail.rfind("PK\x05\x06");
  return last != std::string_view::npos && last > 0 && tail.rfind("PK\x05\x06", last - 1) != std::string_view::npos;
}

inline Comparison compareAnswers(const Answer& ours, const Answer& theirs, bool manyEndSignatures) {
  Comparison result;
  if (ours.opens != theirs.opens) {
    if (theirs.opens && namedRefusal(kArchiveRefusals, ours.error, &result)) return result;
    if (ours.opens && (manyEndSignatures || ours.names.empty())) {
      result.differences.insert(ours.names.empty() ? Difference::OpensEmptyArchive
                                                   : Difference::PassesOverFalseEndRecord);
      return result;
    }
    result.problem = fail("archive opens: ours %d (error %d), zziplib %d (error %d)", ours.opens, ours.error,
                          theirs.opens, theirs.error);
    return result;
  }
  if (manyEndSignatures && ours.names != theirs.names) {
    result.differences.insert(Difference::PassesOverFalseEndRecord);
    return result;
  }
  for (const auto& [name, our] : ours.entries) {
    const auto found = theirs.entries.find(name);
    if (found == theirs.entries.end()) continue;
    result.problem = compareEntry(name, our, found->second, &result);
    if (!result.problem.empty()) return result;
  }
  return result;
}

inline Comparison compareReaders(const uint8_t* data, size_t size) {
  const auto [ours, theirs] = askBoth(data, size, kMaxProbedNames);
  return compareAnswers(ours, theirs, manyEndSignatures(data, size));
}

inline Finding checkPackageReader(const uint8_t* data, size_t size) { return compareReaders(data, size).problem; }

}  // namespace readers
}  // namespace fuzzing
