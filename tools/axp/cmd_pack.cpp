// "axp pack": make, fill, list, read, check and repair .axp pack files.
// Edits keep the pack's (list) current unless told otherwise: the list is
// loaded, the edit runs with list tracking on, and the list is saved back.
#include <functional>
#include <string>
#include <vector>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/pack/pack_file.h"
#include "cli/error_report.h"
#include "command_groups.h"
#include "pack_build.h"
#include "pack_extract.h"
#include "pack_info.h"
#include "pack_list.h"
#include "packed_file_reader.h"
#include "plain_errors.h"
#include "platform/file.h"
#include "platform/system.h"
#include "standard_output.h"

namespace axptool {
namespace {

const char kNoList[] = "no-list";
const char kSourceIsFolder[] = "File=%s(is a folder)";

const bool kReadOnly = true;
const bool kReadWrite = false;
const bool kFlush = true;

using Edit = std::function<bool(AXP::PackFile* pack, const std::string& name)>;

const std::string& argumentAt(const cli::ParsedArguments& arguments, size_t index) {
  return arguments.positionals()[index];
}

// Opens the pack PACK, the first argument; a failure is told in plain words.
bool openPack(AXP::PackFile* pack, const cli::ParsedArguments& arguments, bool readOnly) {
  const std::string& path = argumentAt(arguments, 0);
  return pack->open(path.c_str(), readOnly) || explainPackFailure(path);
}

// Opens the pack PACK read-write and runs `edit` on NAME.
bool editPack(const cli::ParsedArguments& arguments, const Edit& edit) {
  std::string name = argumentAt(arguments, 1);
  const bool keepList = !arguments.has(kNoList);
  if (keepList && !checkPackableName(name)) return false;

  AXP::PackFile pack;
  if (!openPack(&pack, arguments, kReadWrite)) return false;
  if (keepList) {
    ListState state;
    if (!loadPackList(&pack, &state)) return false;
    // Rows are keyed by spelling; editing under the spelling the list
    // already uses keeps one row per packed file.
    name = listedSpelling(pack, name);
    pack.setListTracking(1);
  }
  if (!edit(&pack, name)) return false;
  if (keepList && !pack.saveList()) return false;
  return pack.close();
}

bool createPack(const cli::ParsedArguments& arguments) {
  AXP::PackFile pack;
  // A new pack starts with an empty (list), so that it lists and takes
  // edits with list upkeep at once.
  return pack.create(argumentAt(arguments, 0).c_str()) && pack.saveList() && pack.close();
}

bool addFile(const cli::ParsedArguments& arguments) {
  const std::string& source = argumentAt(arguments, 2);
  if (platform::isDirectory(source)) {
    AXP::reportError(AXP::BadArgument, kSourceIsFolder, source.c_str());
    return false;
  }
  return editPack(arguments, [&](AXP::PackFile* pack, const std::string& name) {
    return pack->insertContents(source.c_str(), 0, name.c_str(), false, kFlush);
  });
}

bool removeFile(const cli::ParsedArguments& arguments) {
  return editPack(arguments, [](AXP::PackFile* pack, const std::string& name) {
    return pack->removeContents(name.c_str(), kFlush);
  });
}

bool build(const cli::ParsedArguments& arguments) {
  return buildPack(argumentAt(arguments, 0), argumentAt(arguments, 1));
}

bool listRows(const cli::ParsedArguments& arguments) {
  AXP::PackFile pack;
  if (!openPack(&pack, arguments, kReadOnly)) return false;
  std::vector<std::string> rows;
  if (!readStoredRows(&pack, &rows)) return false;
  for (const std::string& row : rows) {
    if (!writeLine(row)) return false;
  }
  return flushOut();
}

bool cat(const cli::ParsedArguments& arguments) {
  AXP::PackFile pack;
  if (!openPack(&pack, arguments, kReadOnly)) return false;
  return readPackedFile(&pack, argumentAt(arguments, 1),
                        [](const char* data, uint32_t length) { return writeOut(data, length); }) &&
         flushOut();
}

bool extract(const cli::ParsedArguments& arguments) {
  AXP::PackFile pack;
  return openPack(&pack, arguments, kReadOnly) && extractPack(&pack, argumentAt(arguments, 1));
}

bool check(const cli::ParsedArguments& arguments) {
  AXP::PackFile pack;
  const std::string& path = argumentAt(arguments, 0);
  if (!openPack(&pack, arguments, kReadOnly)) return false;
  if (!pack.checkIntegrity()) return cli::explain("the files in " + path + " do not agree with its (list)");
  return printOk();
}

bool repair(const cli::ParsedArguments& arguments) {
  const std::string& masterList = argumentAt(arguments, 1);
  // The master list is read only when the pack's own (list) does not
  // verify, and an unreadable one then fails without a reason; it is
  // required up front instead.
  platform::File master;
  if (!master.open(masterList, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    AXP::reportError(AXP::OpenFailed, AXP::messages::kFileError, masterList.c_str(), platform::lastSystemError());
    return false;
  }
  master.close();
  AXP::PackFile pack;
  return openPack(&pack, arguments, kReadWrite) && pack.repairFromList(masterList.c_str()) && pack.close() &&
         printOk();
}

bool info(const cli::ParsedArguments& arguments) {
  AXP::PackFile pack;
  return openPack(&pack, arguments, kReadOnly) && writeOut(describePack(pack)) && flushOut();
}

const cli::Option kNoListOption{kNoList, '\0', false, false, "", "edit the tables only, leaving the (list) as it is"};

}  // namespace

cli::CommandGroup packCommands() {
  return {"pack",
          ".axp pack files: many named files in one, edited in place, with a (list) of contents",
          {
              {"create", "PACK", "create an empty pack (replacing any file there) with an empty (list)", {}, 1, 1,
               createPack},
              {"add", "PACK NAME FILE [--no-list]", "add FILE to the pack as NAME, or replace NAME with it",
               {kNoListOption}, 3, 3, addFile},
              {"rm", "PACK NAME [--no-list]", "remove NAME from the pack", {kNoListOption}, 2, 2, removeFile},
              {"build", "PACK DIR", "create a pack holding every file under DIR, named relative to DIR", {}, 2, 2,
               build},
              {"ls", "PACK", "print the rows of the pack's (list): NAME|SIZE|CRC", {}, 1, 1, listRows},
              {"cat", "PACK NAME", "write the bytes of packed file NAME to standard output", {}, 2, 2, cat},
              {"extract", "PACK DIR", "write every file the (list) names under DIR", {}, 2, 2, extract},
              {"check", "PACK", "check the pack's tables and files against its (list); print \"ok\"", {}, 1, 1,
               check},
              {"repair", "PACK MASTERLIST",
               "make the pack agree with its (list), rebuilding a broken (list) from MASTERLIST", {}, 2, 2, repair},
              {"info", "PACK", "print the header fields and what the tables hold", {}, 1, 1, info},
          }};
}

}  // namespace axptool
