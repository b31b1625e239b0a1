// What the Windows Env does with the system's own rules: names in the ANSI
// code page reach the file system unchanged, open files share, the
// temporary folder comes from TMP.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/system.h"
#include "support/scoped_environment.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using platform::Access;
using platform::Disposition;
using testing_support::TempDir;

constexpr UINT kChineseCodePage = 936;
// "中文.txt" in GBK, and as the file system keeps it.
const std::string kGbkName = "\xd6\xd0\xce\xc4.txt";
const std::wstring kWideName = L"\u4e2d\u6587.txt";

TEST(Win32Env, GbkNamesKeepTheirCharactersUnderAChineseCodePage) {
  if (::GetACP() != kChineseCodePage) GTEST_SKIP() << "the ANSI code page is " << ::GetACP() << ", not GBK";
  TempDir dir;
  platform::File file;
  ASSERT_TRUE(file.open(dir.file(kGbkName), Access::ReadWrite, Disposition::CreateNew));
  ASSERT_TRUE(file.close());
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_TRUE(platform::listDirectory(dir.path(), &entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, kGbkName);
  // The characters themselves, as any program of the system sees them.
  WIN32_FIND_DATAW found;
  std::wstring pattern(dir.path().begin(), dir.path().end());
  HANDLE search = ::FindFirstFileW((pattern + L"\\*.txt").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  ::FindClose(search);
  EXPECT_TRUE(std::wstring(found.cFileName) == kWideName);
  EXPECT_TRUE(platform::moveFile(dir.file(kGbkName), dir.path() + "\\" + kGbkName + ".old"));
  EXPECT_EQ(platform::fileSize(dir.file(kGbkName + ".old")), 0);
}

TEST(Win32Env, OpenFilesShareReadingAndWriting) {
  TempDir dir;
  platform::File writer;
  platform::File reader;
  ASSERT_TRUE(writer.open(dir.file("shared.bin"), Access::ReadWrite, Disposition::CreateNew));
  ASSERT_TRUE(reader.open(dir.file("shared.bin"), Access::Read, Disposition::ExistingOnly));
  uint32_t done = 0;
  ASSERT_TRUE(writer.write("abc", 3, &done));
  char bytes[4] = {};
  ASSERT_TRUE(reader.read(bytes, 3, &done));
  EXPECT_EQ(std::string(bytes, done), "abc");
  // A read-only file refuses writers, whoever asks.
  ASSERT_TRUE(writer.close());
  ASSERT_TRUE(::SetFileAttributesA(dir.file("shared.bin").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(writer.open(dir.file("shared.bin"), Access::ReadWrite, Disposition::ExistingOnly));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::AccessDenied);
  ::SetFileAttributesA(dir.file("shared.bin").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32Env, TheTemporaryFolderComesFromTmp) {
  TempDir dir;
  testing_support::ScopedEnvironment tmp(testing_support::kTempFolderVariable, dir.path().c_str());
  const std::string folder = platform::tempFolder();
  EXPECT_EQ(folder.back(), '\\');
  const std::string name = platform::createUniqueTempFile(folder, "~axp");
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(name.substr(0, folder.size() + 4), folder + "~axp");
  EXPECT_TRUE(platform::sameFile(name, dir.file(name.substr(folder.size()))));
}

}  // namespace
