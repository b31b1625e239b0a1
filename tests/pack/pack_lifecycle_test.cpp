#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "axp/common/error_record.h"
#include "pack_test_support.h"

namespace {

using namespace pack_testing;
using testing_support::TempDir;

TEST(PackLifecycle, CreateGivesAnEmptyPackMarkedWhileOpen) {
  TempDir dir;
  const std::string path = dir.file("new.axp");
  testing_support::writeFile(path, std::string(5000000, 'x'));  // replaced by create
  AXP::PackFile pack;
  ASSERT_TRUE(pack.create(path.c_str()));
  EXPECT_EQ(headerOnDisk(path).editFlag, 1u);
  pack.close();
  pack.close();  // harmless

  const std::string bytes = readFile(path);
  ASSERT_EQ(bytes.size(), AXP::kNewPackSize);
  const AXP::PackHeader header = headerOnDisk(path);
  EXPECT_EQ(header.magic, 0x4B505841u);
  EXPECT_EQ(header.version, 0x00010001u);
  EXPECT_EQ(header.editFlag, 0u);
  EXPECT_EQ(header.hashTableOffset, 40u);
  EXPECT_EQ(header.blockTableOffset, 0x60028u);
  EXPECT_EQ(header.blockCount, 0u);
  EXPECT_EQ(header.blockTableAreaSize, 0x100000u);
  EXPECT_EQ(header.dataOffset, 0x160028u);
  EXPECT_EQ(header.dataUsed, 0u);
  EXPECT_EQ(header.freeBytes, 0u);
  EXPECT_EQ(bytes.find_first_not_of('\0', 40), std::string::npos);
}

TEST(PackLifecycle, EditMarkRulesReadOnlyOpening) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, {{"a.txt", "abc"}});
  {
    AXP::PackFile writer;
    ASSERT_TRUE(writer.open(path.c_str(), false));
    EXPECT_EQ(headerOnDisk(path).editFlag, 1u);  // on disk at once

    AXP::PackFile reader;
    EXPECT_FALSE(reader.open(path.c_str(), true));
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::PackInEdit);
    EXPECT_STREQ(AXP::getLastErrorMessage(), "");
    EXPECT_FALSE(reader.isOpen());
  }
  // The refused reader wrote nothing and its failure stayed the last error.
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::PackInEdit);
  EXPECT_EQ(headerOnDisk(path).editFlag, 0u);

  AXP::PackFile reader;
  ASSERT_TRUE(reader.open(path.c_str(), true));
  EXPECT_EQ(readPacked(&reader, "A.TXT"), "abc");
}

TEST(PackLifecycle, ReadOnlyPackRefusesEveryWrite) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, {{"a.txt", "abc"}});
  const std::string before = readFile(path);
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), true));
    EXPECT_FALSE(pack.insertContents("xyz", 3, "b.txt", true, true));
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
    EXPECT_STREQ(AXP::getLastErrorMessage(), "");
    EXPECT_FALSE(pack.removeContents("a.txt", true));
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
    EXPECT_STREQ(AXP::getLastErrorMessage(), "");
    EXPECT_FALSE(pack.repairFromList(dir.file("master.txt").c_str()));
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
    EXPECT_STREQ(AXP::getLastErrorMessage(), "Const Mode");
  }
  EXPECT_EQ(readFile(path), before);
}

TEST(PackLifecycle, FactoryFunctions) {
  AXP::IPakFile* pak = axpCreatePakFile();
  ASSERT_NE(pak, nullptr);
  TempDir dir;
  EXPECT_TRUE(pak->create(dir.file("f.axp").c_str()));
  axpReleasePakFile(pak);  // closes
  EXPECT_EQ(headerOnDisk(dir.file("f.axp")).editFlag, 0u);
  axpReleasePakFile(nullptr);
}

// A pack open for writing keeps every other writer out, and readers while
// it is open; readers keep writers out. A pack whose edit mark outlived
// its writer (a crash) opens for writing again.
TEST(PackLifecycle, OneWriterOrAnyReadersAtATime) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, {{"a.txt", "abc"}});
  const std::string inUse = "File=" + path + ", in use by another program";
  {
    AXP::PackFile writer;
    ASSERT_TRUE(writer.open(path.c_str(), false));
    AXP::PackFile second;
    EXPECT_FALSE(second.open(path.c_str(), false));
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
    EXPECT_EQ(AXP::getLastErrorMessage(), inUse);
    EXPECT_FALSE(second.create(path.c_str()));
    EXPECT_EQ(AXP::getLastErrorMessage(), inUse);
    EXPECT_EQ(readPacked(&writer, "a.txt"), "abc") << "the refused create left the pack alone";
  }
  {
    AXP::PackFile reader;
    AXP::PackFile other;
    ASSERT_TRUE(reader.open(path.c_str(), true));
    ASSERT_TRUE(other.open(path.c_str(), true));
    AXP::PackFile writer;
    EXPECT_FALSE(writer.open(path.c_str(), false));
    EXPECT_EQ(AXP::getLastErrorMessage(), inUse);
  }
  AXP::PackHeader header = headerOnDisk(path);
  header.editFlag = 1;
  std::string bytes = readFile(path);
  std::memcpy(bytes.data(), &header, sizeof header);
  testing_support::writeFile(path, bytes);
  AXP::PackFile writer;
  EXPECT_TRUE(writer.open(path.c_str(), false)) << AXP::getLastErrorMessage();
}

// The slot a virtual member takes in its class's table, from the form the
// common C++ ABI gives a pointer to it: one plus the slot's byte offset.
template <typename Member>
size_t slotOf(Member member) {
  struct {
    uintptr_t pointer;
    ptrdiff_t adjustment;
  } form;
  static_assert(sizeof member == sizeof form);
  std::memcpy(&form, &member, sizeof form);
  return (form.pointer - 1) / sizeof(void*);
}

// Programs built against the interface call through fixed slots: the
// nineteen operations, then verifyList, then the destructor.
TEST(PackLifecycle, SlotOrder) {
  EXPECT_EQ(slotOf(&AXP::IPakFile::open), 0u);
  EXPECT_EQ(slotOf(&AXP::IPakFile::openFile), 8u);
  EXPECT_EQ(slotOf(&AXP::IPakFile::updatePackedFile), 18u);
  EXPECT_EQ(slotOf(&AXP::PackFile::updatePackedFile), 18u);
  EXPECT_EQ(slotOf(&AXP::PackFile::verifyList), 19u);
}

}  // namespace
