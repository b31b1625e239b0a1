// Files a POSIX folder can hold that a scan cannot catalogue: a name with
// "|", a link to nothing, a socket. Each fails the scan rather than leave a
// made-up row in the catalogue.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "axp/common/error_record.h"
#include "axp/patchmaker/patch_maker.h"
#include "support/temp_dir.h"
#include "version_fixture.h"

namespace {

using patchmaker_testing::expectFailure;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(CatalogueTest, FilesACatalogueCannotNameOrReadFailTheScan) {
  TempDir dir;
  const std::string empty = dir.file("empty");
  std::filesystem::create_directories(empty);
  AXP::PatchMakerHandle maker(AXP::createPatchMaker());

  // A file whose name a catalogue line cannot hold.
  writeFile(empty + "/a|b.txt", "x");
  expectFailure(maker->addVersion(empty.c_str(), "1"), AXP::BadData, empty + "/a|b.txt");
  std::filesystem::remove(empty + "/a|b.txt");

  // A file that vanished since the folder was listed (here: a link to
  // nothing), and one that exists but cannot be read (a socket).
  std::filesystem::create_symlink(dir.file("nowhere"), empty + "/gone.txt");
  expectFailure(maker->addVersion(empty.c_str(), "1"), AXP::NotFound, empty + "/gone.txt");
  std::filesystem::remove(empty + "/gone.txt");
  const std::string socketPath = empty + "/locked.txt";
  const int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  expectFailure(maker->addVersion(empty.c_str(), "1"), AXP::ReadFailed);
  close(socketFd);
  std::filesystem::remove(socketPath);
  ASSERT_TRUE(maker->addVersion(empty.c_str(), "1"));
}

}  // namespace
