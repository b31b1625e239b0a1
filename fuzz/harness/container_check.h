// Checks of the patch program's container reader on arbitrary program
// files: reading either fails, leaving no file behind in the temporary
// folder but the work folder, or gives a range of two short version texts
// and a package copy holding exactly the bytes after them; the release
// notes file never stays, and nothing is written anywhere else.
#pragma once

#include <optional>
#include <string>

#include "axp/common/format_names.h"
#include "frontend/embedded_container.h"
#include "fuzz/harness/sandbox.h"

namespace fuzzing {
namespace container {

constexpr char kWorkFolder[] = "QELT Patch";
constexpr size_t kLengthField = 4;

inline Finding checkRead(const std::string& program, const std::string& tempFolder, const std::string& bytes) {
  const qelt::PatchSettings settings{program, 0, tempFolder + "/", {}};
  qelt::PatchState state;
  std::optional<std::string> notes;
  const bool read = qelt::readEmbeddedContainer(settings, &state, &notes);
  TreeView expected;
  if (read) {
    if (state.fromVersion.size() >= 32 || state.toVersion.size() >= 32) {
      return fail("a version text of 32 bytes or more");
    }
    const std::string copyName =
        std::string(kWorkFolder) + "/QELT-" + state.fromVersion + "-" + state.toVersion + ".xzip";
    if (state.packagePath != tempFolder + "/" + copyName) {
      return fail("package copied to %s", state.packagePath.c_str());
    }
    const size_t packageStart = 2 * kLengthField + state.fromVersion.size() + state.toVersion.size();
    expected[copyName] = bytes.substr(std::min(packageStart, bytes.size()));
    if (notes && notes->size() > AXP::kMaxReleaseNotes) return fail("release notes beyond their limit");
  } else if (notes) {
    return fail("release notes from a container that failed");
  }
  TreeView found = viewTree(tempFolder);
  found.erase(kWorkFolder);  // made before the copy, and kept
  const std::string difference = treeDifference(expected, found);
  if (!difference.empty()) return fail("temporary folder after reading: %s", difference.c_str());
  return {};
}

}  // namespace container

// The input is a patch program whose container starts at its first byte.
inline Finding checkContainer(const uint8_t* data, size_t size) {
  static Sandbox sandbox;
  if (!sandbox.ready()) return fail("no sandbox");
  sandbox.clear();
  const std::string tempFolder = sandbox.file("tmp");
  TempFolderRedirect redirect(tempFolder);
  const std::string program = sandbox.file("program");
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (!writeFile(program, bytes)) return fail("cannot write the program");
  const int descriptors = openDescriptors();
  Finding found = container::checkRead(program, tempFolder, bytes);
  if (found.empty() && openDescriptors() != descriptors) found = fail("a file was left open");
  if (found.empty() && readFile(program) != bytes) found = fail("the program file changed");
  return found;
}

}  // namespace fuzzing
