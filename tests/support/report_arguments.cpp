// A program for the tests of starting programs: writes its current folder
// and its arguments, one a line, to "report.txt" in that folder.
#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
  std::FILE* report = std::fopen("report.txt", "wb");
  if (report == nullptr) return 1;
  std::fprintf(report, "%s\n", std::filesystem::current_path().string().c_str());
  for (int i = 1; i < argc; ++i) std::fprintf(report, "%s\n", argv[i]);
  std::fprintf(report, "end\n");
  return std::fclose(report) == 0 ? 0 : 1;
}
