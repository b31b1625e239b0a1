// A program outside the project, built against the installed library only:
// it writes a pack, reads it back, checksums a text and makes an updater
// and a builder.
#include <cstdio>
#include <string>

#include "axp/common/checksum.h"
#include "axp/common/error_record.h"
#include "axp/pack/pack_file.h"
#include "axp/patchmaker/patch_maker.h"
#include "axp/updater/updater.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string path = std::string(argv[1]) + "/tiny.axp";
  AXP::PakFileHandle pack = AXP::makePakFile();
  if (!pack || !pack->create(path.c_str()) || !pack->insertContents("abc", 3, "a.txt", true, true) ||
      !pack->close() || !pack->open(path.c_str(), true)) {
    std::fprintf(stderr, "pack: code %d %s\n", AXP::getLastErrorCode(), AXP::getLastErrorMessage());
    return 1;
  }
  AXP::StreamHandle stream(pack->openFile("A.TXT"));
  char text[4] = {};
  if (!stream || stream->read(text, 3) != 3) return 1;
  if (!AXP::makeUpdater() || !AXP::makePatchMaker()) return 1;
  std::printf("%s %08X\n", text, AXP::crcBuffer(text, 3));
  return 0;
}
