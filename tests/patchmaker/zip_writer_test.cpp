#include "axp/patchmaker/zip_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "axp/patchmaker/zip_times.h"
#include "platform/file.h"
#include "platform/file_info.h"
#include "support/scoped_environment.h"
#include "support/system_files.h"
#include "support/temp_dir.h"
#include "version_fixture.h"

namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kLocalFixed = 30;
constexpr uint32_t kCentralFixed = 46;
constexpr uint32_t kDescriptorSignature = 0x08074B50;

uint32_t u16(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}
uint32_t u32(const std::string& b, size_t at) { return u16(b, at) | u16(b, at + 2) << 16; }

struct CentralEntry {
  std::string name, extra;
  uint32_t madeBy, needed, flags, method, crc, compressed, size, attributes, offset;
};

// The central directory of an archive without comment, read by fixed offsets.
std::vector<CentralEntry> centralDirectory(const std::string& archive) {
  const size_t end = archive.size() - kEndRecordSize;
  EXPECT_EQ(u32(archive, end), 0x06054B50u);
  std::vector<CentralEntry> entries;
  size_t at = u32(archive, end + 16);
  for (uint32_t i = 0; i < u16(archive, end + 10); ++i) {
    EXPECT_EQ(u32(archive, at), 0x02014B50u);
    const uint32_t nameLength = u16(archive, at + 28), extraLength = u16(archive, at + 30);
    entries.push_back({archive.substr(at + kCentralFixed, nameLength),
                       archive.substr(at + kCentralFixed + nameLength, extraLength), u16(archive, at + 4),
                       u16(archive, at + 6), u16(archive, at + 8), u16(archive, at + 10), u32(archive, at + 16),
                       u32(archive, at + 20), u32(archive, at + 24), u32(archive, at + 38), u32(archive, at + 42)});
    at += kCentralFixed + nameLength + extraLength + u16(archive, at + 32);
  }
  return entries;
}

const CentralEntry* findEntry(const std::vector<CentralEntry>& entries, const std::string& name) {
  for (const CentralEntry& entry : entries) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

// Every entry, read back by an independent reader where the tests have
// one (see readStoredEntries).
std::map<std::string, std::string> readBack(const std::string& path) {
  std::map<std::string, std::string> contents;
  for (auto& [name, stored] : patchmaker_testing::readStoredEntries(path)) contents[name] = stored;
  return contents;
}

bool haveTool(const char* check) { return std::system(check) == 0; }

// Checks the archive at `path` holds exactly `expected`, read back and,
// where installed, with `unzip -t` and Python's zipfile.
void expectArchive(const TempDir& dir, const std::string& path, const std::map<std::string, std::string>& expected) {
  EXPECT_EQ(readBack(path), expected);
#ifdef _WIN32
  // The build machine's unzip and python3 are out of reach of Windows
  // programs: the package reader alone reads the archive back there.
  (void)dir;
  return;
#endif
  const bool unzip = haveTool("command -v unzip >/dev/null 2>&1");
  const bool python = haveTool("python3 -c 'import zipfile' >/dev/null 2>&1");
  if (unzip) {
    EXPECT_EQ(std::system(("unzip -tqq " + path + " >/dev/null").c_str()), 0);
  }
  if (python) {
    std::string command =
        "python3 -c 'import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\nassert z.testzip() is None\n"
        "a=sys.argv[2:]\nassert sorted(z.namelist())==sorted(a[0::2])\n"
        "for n,f in zip(a[0::2],a[1::2]): assert z.read(n)==open(f,\"rb\").read(),n' " + path;
    int index = 0;
    for (const auto& [name, data] : expected) {
      const std::string file = dir.file("expected" + std::to_string(index++));
      writeFile(file, data);
      command += " '" + name + "' " + file;
    }
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  if (!unzip || !python) GTEST_SKIP() << "unzip or python3 missing: checked by one reader only";
}

std::string sampleText(size_t size) {
  std::string text;
  while (text.size() < size) text += "line " + std::to_string(text.size() % 977) + " of the release notes\n";
  return text.substr(0, size);
}

platform::File openFile(const std::string& path) {
  platform::File file;
  EXPECT_TRUE(file.open(path, platform::Access::Read, platform::Disposition::ExistingOnly));
  return file;
}

struct Pipe {
  platform::File read, write;
  Pipe() {
    int fds[2];
    EXPECT_TRUE(testing_support::makePipe(fds));
    read = platform::File::adopt(fds[0]);
    write = platform::File::adopt(fds[1]);
  }
};

// Drains a pipe target on its own thread until the writer closes it.
class PipeReader {
 public:
  explicit PipeReader(platform::File* from)
      : thread_([this, from] {
          char buffer[4096];
          uint32_t n;
          while (from->read(buffer, sizeof buffer, &n) && n > 0) bytes_.append(buffer, n);
        }) {}
  ~PipeReader() {
    if (thread_.joinable()) thread_.join();
  }
  std::string finish() {
    thread_.join();
    return bytes_;
  }

 private:
  std::string bytes_;
  std::thread thread_;
};

// One entry of every source mode; `pipeTarget` avoids the stored entry of
// unknown size that only a seekable target takes.
std::map<std::string, std::string> addEverySource(AXP::ArchiveHandle* zip, const TempDir& dir) {
  const std::string notes = sampleText(50000), raw = sampleText(3000) + std::string(40, '\0');
  writeFile(dir.file("notes.txt"), notes);
  writeFile(dir.file("raw.bin"), raw);
  platform::File rawFile = openFile(dir.file("raw.bin"));
  rawFile.seek(100, platform::SeekFrom::Begin);  // read from its start all the same
  Pipe pipe;
  uint32_t done;
  pipe.write.write("piped data", 10, &done);
  pipe.write.close();
  const std::string notesPath = dir.file("notes.txt");

  EXPECT_EQ(AXP::addToArchive(zip, "Data/Scene.axp/a.dds", notes.data(), 50000, AXP::kSourceMemory, 8), 0u);
  EXPECT_EQ(AXP::addToArchive(zip, "docs\\notes.txt", notesPath.c_str(), 0, AXP::kSourcePath, 8), 0u);
  EXPECT_EQ(AXP::addToArchive(zip, "raw.bin", &rawFile, 0, AXP::kSourceHandle, 0), 0u);
  EXPECT_EQ(AXP::addToArchive(zip, "piped.txt", &pipe.read, 10, AXP::kSourceHandle, 0), 0u);
  EXPECT_EQ(AXP::addToArchive(zip, "empty", nullptr, 0, AXP::kSourceFolder, 8), 0u);
  EXPECT_EQ(AXP::addToArchive(zip, "dir/x.ZIP", "zipped", 6, AXP::kSourceMemory, 8), 0u);
  EXPECT_EQ(AXP::addToArchive(zip, "y.gz", "gzipped", 7, AXP::kSourceMemory, 8), 0u);
  EXPECT_EQ(AXP::addToArchive(zip, "a.zip/b", "bbbbbbbbbbbbbbbb", 16, AXP::kSourceMemory, 8), 0u);
  return {{"Data/Scene.axp/a.dds", notes}, {"docs/notes.txt", notes}, {"raw.bin", raw}, {"piped.txt", "piped data"},
          {"empty/", ""},  {"dir/x.ZIP", "zipped"}, {"y.gz", "gzipped"}, {"a.zip/b", std::string(16, 'b')}};
}

// Fields every entry of this writer carries, and the method the name asks for.
void expectEntryFields(const std::vector<CentralEntry>& entries, bool seekable) {
  ASSERT_EQ(entries.size(), 8u);
  for (const CentralEntry& entry : entries) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(entry.madeBy, 0x0B17u);
    EXPECT_EQ(entry.needed, 20u);
    EXPECT_EQ(entry.extra.substr(0, 5), std::string("UT\x05\0\x07", 5));
    const bool deflated = entry.name == "Data/Scene.axp/a.dds" || entry.name == "docs/notes.txt" || entry.name == "a.zip/b";
    EXPECT_EQ(entry.method, deflated ? 8u : 0u);
    EXPECT_EQ(entry.flags, seekable ? (deflated ? 2u : 0u) : 8u);
  }
  EXPECT_EQ(findEntry(entries, "empty/")->attributes, 0x41C00010u);
  EXPECT_EQ(findEntry(entries, "y.gz")->attributes, 0x80000000u);
  EXPECT_EQ(findEntry(entries, "piped.txt")->attributes, 0x80000000u);
}

TEST(ZipWriterTest, EmptyArchiveIsJustTheEndRecord) {
  TempDir dir;
  const std::string path = dir.file("empty.zip");
  AXP::ArchiveHandle* zip = AXP::createArchive(path.c_str(), 0, AXP::kTargetPath);
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(AXP::closeArchive(zip), 0u);
  const std::string endRecord = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  EXPECT_EQ(readFile(path), endRecord);

  zip = AXP::createArchive(nullptr, 100, AXP::kTargetMemory);
  void* memory;
  uint32_t length;
  EXPECT_EQ(AXP::getArchiveMemory(zip, &memory, &length), 0u);
  EXPECT_EQ(std::string(static_cast<char*>(memory), length), endRecord);
  EXPECT_EQ(AXP::closeArchive(zip), 0u);
}

// A disk file by path, the same file by handle after 100 bytes of other
// data, and memory of both kinds: final values in the local headers.
TEST(ZipWriterTest, SeekableTargetsHoldFinalValuesInTheLocalHeaders) {
  TempDir dir;
  std::vector<std::string> archives;
  const std::string path = dir.file("path.zip");
  AXP::ArchiveHandle* zip = AXP::createArchive(path.c_str(), 0, AXP::kTargetPath);
  ASSERT_NE(zip, nullptr);
  const std::map<std::string, std::string> expected = addEverySource(zip, dir);
  EXPECT_EQ(AXP::closeArchive(zip), 0u);
  archives.push_back(path);

  platform::File prefixed;
  ASSERT_TRUE(prefixed.open(dir.file("handle.zip"), platform::Access::ReadWrite, platform::Disposition::CreateAlways));
  uint32_t done;
  prefixed.write(std::string(100, 'x').data(), 100, &done);
  zip = AXP::createArchive(&prefixed, 0, AXP::kTargetHandle);
  ASSERT_NE(zip, nullptr);
  addEverySource(zip, dir);
  EXPECT_EQ(AXP::closeArchive(zip), 0u);
  archives.push_back(dir.file("handle.zip"));

  std::vector<char> buffer(300000, '\x55');
  for (void* target : {static_cast<void*>(buffer.data()), static_cast<void*>(nullptr)}) {
    zip = AXP::createArchive(target, 300000, AXP::kTargetMemory);
    ASSERT_NE(zip, nullptr);
    addEverySource(zip, dir);
    void* memory;
    uint32_t length;
    EXPECT_EQ(AXP::getArchiveMemory(zip, &memory, &length), 0u);
    if (target != nullptr) {
      EXPECT_EQ(memory, target);
    }
    archives.push_back(dir.file("memory" + std::to_string(archives.size()) + ".zip"));
    writeFile(archives.back(), std::string(static_cast<char*>(memory), length));
    EXPECT_EQ(AXP::addToArchive(zip, "late", "x", 1, AXP::kSourceMemory, 0), AXP::kZipEnded);
    EXPECT_EQ(AXP::closeArchive(zip), 0u);
  }

  for (const std::string& archivePath : archives) {
    SCOPED_TRACE(archivePath);
    const std::string archive = readFile(archivePath);
    const std::vector<CentralEntry> entries = centralDirectory(archive);
    expectEntryFields(entries, true);
    for (const CentralEntry& entry : entries) {
      const std::string local = archive.substr(entry.offset, kLocalFixed);
      EXPECT_EQ(u32(local, 0), 0x04034B50u);
      EXPECT_EQ(u16(local, 6), entry.flags);
      EXPECT_EQ(u32(local, 14), entry.crc);
      EXPECT_EQ(u32(local, 18), entry.compressed);
      EXPECT_EQ(u32(local, 22), entry.size);
      EXPECT_EQ(u16(local, 28), 17u);
      EXPECT_EQ(archive.substr(entry.offset + kLocalFixed + entry.name.size(), 5), std::string("UT\x0D\0\x07", 5));
      // No descriptor: the next header follows the data at once.
      const size_t next = entry.offset + kLocalFixed + entry.name.size() + 17 + entry.compressed;
      EXPECT_EQ(archive.substr(next, 2), "PK");
      EXPECT_NE(u32(archive, next), kDescriptorSignature);
    }
    expectArchive(dir, archivePath, expected);
  }
}

TEST(ZipWriterTest, PipeTargetWritesDataDescriptors) {
  TempDir dir;
  Pipe target;
  PipeReader reader(&target.read);
  AXP::ArchiveHandle* zip = AXP::createArchive(&target.write, 0, AXP::kTargetHandle);
  target.write.close();
  ASSERT_NE(zip, nullptr);
  const std::map<std::string, std::string> expected = addEverySource(zip, dir);
  // A stored entry whose size the header could not announce cannot be taken
  // back from a pipe; the archive goes on without it.
  Pipe unannounced;
  uint32_t done;
  unannounced.write.write("surprise", 8, &done);
  unannounced.write.close();
  EXPECT_EQ(AXP::addToArchive(zip, "surprise", &unannounced.read, 0, AXP::kSourceHandle, 0), AXP::kZipChangedMind);
  EXPECT_EQ(AXP::closeArchive(zip), 0u);

  const std::string archive = reader.finish();
  const std::vector<CentralEntry> entries = centralDirectory(archive);
  expectEntryFields(entries, false);
  for (const CentralEntry& entry : entries) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(u16(archive, entry.offset + 6), 8u);
    const size_t descriptor = entry.offset + kLocalFixed + entry.name.size() + 17 + entry.compressed;
    EXPECT_EQ(u32(archive, descriptor), kDescriptorSignature);
    EXPECT_EQ(u32(archive, descriptor + 4), entry.crc);
    EXPECT_EQ(u32(archive, descriptor + 8), entry.compressed);
    EXPECT_EQ(u32(archive, descriptor + 12), entry.size);
  }
  // A stored entry of known size announces it in the local header already.
  EXPECT_EQ(u32(archive, findEntry(entries, "y.gz")->offset + 18), 7u);
  writeFile(dir.file("pipe.zip"), archive);
  expectArchive(dir, dir.file("pipe.zip"), expected);
}

TEST(ZipWriterTest, NamesAttributesAndTimes) {
  TempDir dir;
  writeFile(dir.file("locked"), "read only");
  chmod(dir.file("locked").c_str(), 0444);
  writeFile(dir.file("tool"), "#!/bin/sh\n");
  chmod(dir.file("tool").c_str(), 0755);
  utimbuf stamp{1500000000, 1600000000};
  utime(dir.file("tool").c_str(), &stamp);

  AXP::ArchiveHandle* zip = AXP::createArchive(nullptr, 4096, AXP::kTargetMemory);
  const std::string locked = dir.file("locked"), tool = dir.file("tool");
  EXPECT_EQ(AXP::addToArchive(zip, "a\\b\\locked", locked.c_str(), 0, AXP::kSourcePath, 0), 0u);
  EXPECT_EQ(AXP::addToArchive(zip, "tool", tool.c_str(), 0, AXP::kSourcePath, 0), 0u);
  // The second byte of a double-byte character stays, even when it looks
  // like "\".
  EXPECT_EQ(AXP::addToArchive(zip, "\x81\x5C\\x", "d", 1, AXP::kSourceMemory, 0), 0u);
  EXPECT_EQ(AXP::addToArchive(zip, std::string(259, 'n').c_str(), "d", 1, AXP::kSourceMemory, 0), 0u);
  void* memory;
  uint32_t length;
  ASSERT_EQ(AXP::getArchiveMemory(zip, &memory, &length), 0u);
  const std::string archive(static_cast<char*>(memory), length);
  AXP::closeArchive(zip);

  const std::vector<CentralEntry> entries = centralDirectory(archive);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, "a/b/locked");
  EXPECT_EQ(entries[0].attributes, 0x81000001u);
  EXPECT_EQ(entries[1].attributes, 0x81C00000u);
  EXPECT_EQ(entries[2].name, "\x81\x5C/x");
  const size_t extra = entries[1].offset + kLocalFixed + 4 + 5;
  EXPECT_EQ(u32(archive, extra), 1600000000u);
  EXPECT_EQ(u32(archive, extra + 4), 1500000000u);
  EXPECT_EQ(u32(entries[1].extra, 5), 1600000000u);
}

// Sets TZ for one test and puts the old zone back.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    zone_.emplace("TZ", zone);
    platform::refreshTimeZone();
  }
  ~TimeZone() {
    zone_.reset();
    platform::refreshTimeZone();
  }

 private:
  std::optional<testing_support::ScopedEnvironment> zone_;
};

std::tm localTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  return time;
}

TEST(ZipWriterTest, TimesAreClampedToWhatTheFieldsHold) {
  {
    TimeZone utc("UTC");
    EXPECT_EQ(AXP::clampedUnixTime(localTime(2040, 12, 31, 23, 59, 59)), 2145916799u);  // 2037-12-31 23:59:59
    EXPECT_EQ(AXP::clampedUnixTime(localTime(1960, 6, 15, 12, 0, 0)), 43200u);          // 1970-01-01 12:00:00
    EXPECT_EQ(AXP::clampedUnixTime(localTime(2020, 1, 1, 0, 0, 0)), 1577836800u);
  }
  {
    // Summer time is not applied: 12:00 in Central Europe is read as UTC+1.
    TimeZone europe("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(AXP::clampedUnixTime(localTime(2021, 7, 1, 12, 0, 0)), 1625137200u);
  }
  uint16_t date, time;
  AXP::toDosDateTime(localTime(2021, 7, 1, 12, 34, 56), &date, &time);
  EXPECT_EQ(date, (41 << 9) | (7 << 5) | 1);
  EXPECT_EQ(time, (12 << 11) | (34 << 5) | 28);
  AXP::toDosDateTime(localTime(1975, 5, 5, 5, 5, 5), &date, &time);
  EXPECT_EQ(date, (1 << 5) | 1);  // 1980-01-01
  EXPECT_EQ(time, 0);
  AXP::toDosDateTime(localTime(2150, 1, 1, 0, 0, 0), &date, &time);
  EXPECT_EQ(date, (127 << 9) | (12 << 5) | 31);  // 2107-12-31 23:59:58
  EXPECT_EQ(time, (23 << 11) | (59 << 5) | 29);
}

// Capacity N holds at most N - 1 bytes: "a" with 10 bytes takes 58 bytes
// (30 + 1 + 17 + 10) before its directory.
TEST(ZipWriterTest, MemoryTargetNeverUsesItsLastByte) {
  struct Case {
    uint32_t capacity, added, ended;
  };
  // With no room for the header the archive stays empty, and its end
  // record still fits.
  for (const Case c : {Case{59, 0u, AXP::kZipWriteFailed}, Case{58, AXP::kZipMemoryFull, AXP::kZipWriteFailed},
                       Case{48, AXP::kZipWriteFailed, 0u}}) {
    SCOPED_TRACE(c.capacity);
    std::vector<char> buffer(c.capacity, '\x55');
    AXP::ArchiveHandle* zip = AXP::createArchive(buffer.data(), c.capacity, AXP::kTargetMemory);
    EXPECT_EQ(AXP::addToArchive(zip, "a", "0123456789", 10, AXP::kSourceMemory, 0), c.added);
    EXPECT_EQ(AXP::lastArchiveResult(), c.added);
    if (c.added != 0) {
      EXPECT_EQ(AXP::addToArchive(zip, "b", "0", 1, AXP::kSourceMemory, 0), AXP::kZipPreviousError);
    }
    // A directory that does not fit is a failure, not an archive.
    void* memory;
    uint32_t length;
    EXPECT_EQ(AXP::getArchiveMemory(zip, &memory, &length), c.ended);
    EXPECT_EQ(buffer.back(), '\x55');
    EXPECT_EQ(AXP::closeArchive(zip), 0u);
  }
  // The whole archive is 58 + 46 + 1 + 9 + 22 = 136 bytes.
  for (uint32_t capacity : {137u, 136u}) {
    std::vector<char> buffer(capacity, '\x55');
    AXP::ArchiveHandle* zip = AXP::createArchive(buffer.data(), capacity, AXP::kTargetMemory);
    EXPECT_EQ(AXP::addToArchive(zip, "a", "0123456789", 10, AXP::kSourceMemory, 0), 0u);
    EXPECT_EQ(AXP::closeArchive(zip), capacity == 137 ? 0u : AXP::kZipWriteFailed);
    EXPECT_EQ(buffer.back(), '\x55');
  }
}

TEST(ZipWriterTest, CallerMistakesAndTargetFailures) {
  TempDir dir;
  EXPECT_EQ(AXP::createArchive(nullptr, 0, AXP::kTargetMemory), nullptr);
  EXPECT_EQ(AXP::lastArchiveResult(), AXP::kZipMemoryFull);
  EXPECT_EQ(AXP::createArchive(nullptr, 10, 7), nullptr);
  EXPECT_EQ(AXP::lastArchiveResult(), AXP::kZipBadArguments);
  EXPECT_EQ(AXP::createArchive(dir.file("missing/x.zip").c_str(), 0, AXP::kTargetPath), nullptr);
  EXPECT_EQ(AXP::lastArchiveResult(), AXP::kZipOpenFailed);

  AXP::ArchiveHandle* zip = AXP::createArchive(dir.file("x.zip").c_str(), 0, AXP::kTargetPath);
  EXPECT_EQ(AXP::addToArchive(zip, "", "d", 1, AXP::kSourceMemory, 0), AXP::kZipBadArguments);
  EXPECT_EQ(AXP::addToArchive(zip, nullptr, "d", 1, AXP::kSourceMemory, 0), AXP::kZipBadArguments);
  EXPECT_EQ(AXP::addToArchive(zip, std::string(260, 'n').c_str(), "d", 1, AXP::kSourceMemory, 0),
            AXP::kZipBadArguments);
  EXPECT_EQ(AXP::addToArchive(zip, "n", nullptr, 1, AXP::kSourceMemory, 0), AXP::kZipBadArguments);
  EXPECT_EQ(AXP::addToArchive(zip, "n", "d", 0, AXP::kSourceMemory, 0), AXP::kZipBadArguments);
  EXPECT_EQ(AXP::addToArchive(zip, "n", "d", 1, 9, 0), AXP::kZipBadArguments);
  EXPECT_EQ(AXP::addToArchive(zip, "n", "d", 1, AXP::kSourceMemory, 5), AXP::kZipBadArguments);
  EXPECT_EQ(AXP::addToArchive(zip, "n", dir.file("nothing").c_str(), 0, AXP::kSourcePath, 0), AXP::kZipOpenFailed);
  // A source that fails while being read costs its entry, not the archive.
  Pipe broken;
  EXPECT_EQ(AXP::addToArchive(zip, "broken", &broken.write, 0, AXP::kSourceHandle, 8), AXP::kZipWriteFailed);
  EXPECT_EQ(AXP::addToArchive(zip, "kept", "kept", 4, AXP::kSourceMemory, 8), 0u);
  AXP::ArchiveHandle foreign{1, nullptr};
  EXPECT_EQ(AXP::addToArchive(&foreign, "n", "d", 1, AXP::kSourceMemory, 0), AXP::kZipMixedUse);
  EXPECT_EQ(AXP::closeArchive(&foreign), AXP::kZipMixedUse);
  EXPECT_EQ(AXP::addToArchive(nullptr, "n", "d", 1, AXP::kSourceMemory, 0), AXP::kZipBadArguments);
  void* memory = &foreign;
  uint32_t length = 5;
  EXPECT_EQ(AXP::getArchiveMemory(nullptr, &memory, &length), AXP::kZipBadArguments);
  EXPECT_EQ(memory, nullptr);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(AXP::getArchiveMemory(zip, &memory, &length), AXP::kZipNotMemoryArchive);
  EXPECT_EQ(AXP::addToArchive(zip, "late", "d", 1, AXP::kSourceMemory, 0), AXP::kZipEnded);
  EXPECT_EQ(AXP::closeArchive(zip), 0u);
  expectArchive(dir, dir.file("x.zip"), {{"kept", "kept"}});
}

// A failed write to a file or pipe fails that add only.
TEST(ZipWriterTest, ShortWritesAreNotSticky) {
  platform::File full;
  if (!full.open("/dev/full", platform::Access::ReadWrite, platform::Disposition::ExistingOnly)) {
    GTEST_SKIP() << "no /dev/full";
  }
  AXP::ArchiveHandle* zip = AXP::createArchive(&full, 0, AXP::kTargetHandle);
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(AXP::addToArchive(zip, "a", "d", 1, AXP::kSourceMemory, 0), AXP::kZipWriteFailed);
  EXPECT_EQ(AXP::addToArchive(zip, "b", "d", 1, AXP::kSourceMemory, 0), AXP::kZipWriteFailed);
  EXPECT_EQ(AXP::closeArchive(zip), AXP::kZipWriteFailed);
}

// Counts and offsets the 16- and 32-bit fields cannot hold are refused
// rather than written cut.
TEST(ZipWriterTest, ArchivesStayWithinTheFieldSizes) {
  AXP::ArchiveHandle* zip = AXP::createArchive(nullptr, 8 << 20, AXP::kTargetMemory);
  for (uint32_t i = 0; i < 0xFFFE; ++i) {
    ASSERT_EQ(AXP::addToArchive(zip, std::to_string(i).c_str(), nullptr, 0, AXP::kSourceFolder, 0), 0u) << i;
  }
  EXPECT_EQ(AXP::addToArchive(zip, "one too many", nullptr, 0, AXP::kSourceFolder, 0), AXP::kZipBadArguments);
  void* memory;
  uint32_t length;
  ASSERT_EQ(AXP::getArchiveMemory(zip, &memory, &length), 0u);
  EXPECT_EQ(u16(std::string(static_cast<char*>(memory), length), length - kEndRecordSize + 10), 0xFFFEu);
  AXP::closeArchive(zip);

  TempDir dir;
  platform::File big;
  ASSERT_TRUE(big.open(dir.file("big"), platform::Access::ReadWrite, platform::Disposition::CreateAlways));
  if (!big.truncate(0xFFFFFFFFull) || !big.seek(-255, platform::SeekFrom::End)) {
    GTEST_SKIP() << "no sparse files here";
  }
  zip = AXP::createArchive(&big, 0, AXP::kTargetHandle);
  const std::string bigPath = dir.file("big");
  EXPECT_EQ(AXP::addToArchive(zip, "huge", bigPath.c_str(), 0, AXP::kSourcePath, 0), AXP::kZipBadArguments);
  EXPECT_EQ(AXP::addToArchive(zip, "small", "0123456789", 10, AXP::kSourceMemory, 0), 0u);
  const std::string tooFar(300, 'x');
  EXPECT_EQ(AXP::addToArchive(zip, "far", tooFar.data(), 300, AXP::kSourceMemory, 0), AXP::kZipWriteFailed);
  EXPECT_EQ(AXP::closeArchive(zip), AXP::kZipWriteFailed);
}

TEST(ZipWriterTest, DescribesResults) {
  char text[10] = "untouched";
  EXPECT_EQ(AXP::describeArchiveResult(AXP::kZipPreviousError, text, 10), 34u);
  EXPECT_STREQ(text, "Caller: t");
  EXPECT_EQ(AXP::describeArchiveResult(AXP::kZipPreviousError, nullptr, 10), 34u);
  EXPECT_EQ(AXP::describeArchiveResult(0x12345, text, 0), 23u);
  char wide[64];
  AXP::describeArchiveResult(0x12345, wide, sizeof wide);
  EXPECT_STREQ(wide, "unknown zip result code");
  AXP::createArchive(nullptr, 10, 7);
  AXP::describeArchiveResult(AXP::kZipLastResult, wide, sizeof wide);
  EXPECT_STREQ(wide, "Caller: faulty arguments");
}

}  // namespace
