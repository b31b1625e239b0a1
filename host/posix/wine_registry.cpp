// Reading string values from the registry files of a Wine prefix.
//
// A registry file is text: the header line, then one section per key, its
// name relative to the hive in brackets with an optional time stamp after
// them, followed by the key's values, one a line:
//
//   [Software\\Brindell\\QELT] 1700000000
//   "InstallPath"="C:\\Games\\QELT"
//   @="the key's default value"
//
// Names and strings share one escaping: a backslash before a backslash or
// the closing character, C escapes, and octal and "x" hex escapes of UTF-16
// code units.
#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/registry.h"
#include "platform/path.h"
#include "platform/system.h"
#include "wine_prefix.h"

namespace host {
namespace {

constexpr const char* kHeader = "WINE REGISTRY Version 2";
constexpr const char* kSoftwareKey = "Software\\";
constexpr const char* kWow64Node = "Wow6432Node\\";
constexpr const char* kExpandStringType = "str(2):";
constexpr char kDefaultValueName = '@';
// The C escapes the files use, as pairs of escape letter and character.
constexpr const char* kCharacterEscapes = "a\ab\bt\tn\nv\vf\fr\re\x1b";
constexpr int kLongestHexEscape = 4;
constexpr int kLongestOctalEscape = 3;

struct Hive {
  const char* name;
  const char* file;
};
constexpr Hive kHives[] = {
    {"HKEY_LOCAL_MACHINE", "system.reg"},
    {"HKEY_CURRENT_USER", "user.reg"},
};

// Reads a text file line by line, line ends removed.
class LineReader {
 public:
  explicit LineReader(const std::string& path) : file_(std::fopen(path.c_str(), "re")) {}
  ~LineReader() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(buffer_);
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool isOpen() const { return file_ != nullptr; }
  bool failed() const { return std::ferror(file_) != 0; }
  // False at the end of the file or on a read error (see failed()).
  bool next(std::string* line) {
    ssize_t length = ::getline(&buffer_, &capacity_, file_);
    if (length < 0) return false;
    line->assign(buffer_, static_cast<size_t>(length));
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
    return true;
  }

 private:
  std::FILE* file_;
  char* buffer_ = nullptr;
  size_t capacity_ = 0;
};

bool fail(int error) {
  platform::setLastSystemError(error);
  return false;
}

const char* hiveFile(const std::string& hive) {
  for (const Hive& known : kHives) {
    if (::strcasecmp(known.name, hive.c_str()) == 0) return known.file;
  }
  return nullptr;
}

void appendUtf8(std::string* text, unsigned codeUnit) {
  if (codeUnit < 0x80) {
    *text += static_cast<char>(codeUnit);
  } else if (codeUnit < 0x800) {
    *text += static_cast<char>(0xC0 | (codeUnit >> 6));
    *text += static_cast<char>(0x80 | (codeUnit & 0x3F));
  } else {
    *text += static_cast<char>(0xE0 | (codeUnit >> 12));
    *text += static_cast<char>(0x80 | ((codeUnit >> 6) & 0x3F));
    *text += static_cast<char>(0x80 | (codeUnit & 0x3F));
  }
}

// The value of a hex digit; 16 for any other character.
unsigned digitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  char lower = static_cast<char>(c | 0x20);
  if (lower >= 'a' && lower <= 'f') return static_cast<unsigned>(lower - 'a' + 10);
  return 16;
}

// Reads digits of `base` at `*pos`, at most `longest` of them.
unsigned readNumber(const std::string& line, size_t* pos, unsigned base, int longest) {
  unsigned number = 0;
  for (int i = 0; i < longest && *pos < line.size(); ++i, ++*pos) {
    unsigned digit = digitValue(line[*pos]);
    if (digit >= base) break;
    number = number * base + digit;
  }
  return number;
}

// Decodes the escape whose letter is at `*pos` and moves past it.
void decodeEscape(const std::string& line, size_t* pos, std::string* text) {
  char letter = line[*pos];
  if (letter == 'x') {
    ++*pos;
    appendUtf8(text, readNumber(line, pos, 16, kLongestHexEscape));
    return;
  }
  if (letter >= '0' && letter <= '7') {
    appendUtf8(text, readNumber(line, pos, 8, kLongestOctalEscape));
    return;
  }
  ++*pos;
  for (const char* escape = kCharacterEscapes; *escape != '\0'; escape += 2) {
    if (escape[0] == letter) {
      *text += escape[1];
      return;
    }
  }
  *text += letter;
}

// Reads an escaped text from `*pos` up to the unescaped `closing` character
// and moves past that; false when the line ends first.
bool readEscaped(const std::string& line, size_t* pos, char closing, std::string* text) {
  text->clear();
  while (*pos < line.size()) {
    char c = line[(*pos)++];
    if (c == closing) return true;
    if (c != '\\') {
      *text += c;
    } else if (*pos < line.size()) {
      decodeEscape(line, pos, text);
    }
  }
  return false;
}

// The keys to look in, the preferred first: a 32-bit program's view of a
// 64-bit prefix, then the key as written.
std::vector<std::string> candidateKeys(std::string key) {
  while (!key.empty() && platform::isSeparator(key.front())) key.erase(0, 1);
  while (!key.empty() && platform::isSeparator(key.back())) key.pop_back();
  for (char& c : key) {
    if (c == '/') c = '\\';
  }
  std::vector<std::string> keys;
  const size_t softwareLength = std::char_traits<char>::length(kSoftwareKey);
  if (::strncasecmp(key.c_str(), kSoftwareKey, softwareLength) == 0) {
    keys.push_back(key.substr(0, softwareLength) + kWow64Node + key.substr(softwareLength));
  }
  keys.push_back(key);
  return keys;
}

// Which of `keys` a section line names; keys.size() for none.
size_t sectionIndex(const std::string& line, const std::vector<std::string>& keys) {
  size_t pos = 1;
  std::string name;
  if (!readEscaped(line, &pos, ']', &name)) return keys.size();
  size_t index = 0;
  while (index < keys.size() && ::strcasecmp(keys[index].c_str(), name.c_str()) != 0) ++index;
  return index;
}

enum class Found { Nothing, String, OtherType };

// Examines one value line of a wanted key; a string value of `valueName` is
// stored in `*value`.
Found readValueLine(const std::string& line, const std::string& valueName, std::string* value) {
  size_t pos = 1;
  std::string name;
  bool named = line[0] == '"' && readEscaped(line, &pos, '"', &name);
  if (!named && line[0] != kDefaultValueName) return Found::Nothing;
  if (::strcasecmp(name.c_str(), valueName.c_str()) != 0) return Found::Nothing;
  if (pos >= line.size() || line[pos] != '=') return Found::Nothing;
  ++pos;
  if (line.compare(pos, std::char_traits<char>::length(kExpandStringType), kExpandStringType) == 0) {
    pos += std::char_traits<char>::length(kExpandStringType);
  }
  if (pos >= line.size() || line[pos] != '"') return Found::OtherType;
  ++pos;
  return readEscaped(line, &pos, '"', value) ? Found::String : Found::OtherType;
}

}  // namespace

bool readRegistryValue(const std::string& hive, const std::string& key, const std::string& valueName,
                       std::string* value) {
  const char* fileName = hiveFile(hive);
  if (fileName == nullptr) return fail(EINVAL);
  const std::string prefix = winePrefix();
  if (prefix.empty()) return fail(ENOENT);
  LineReader file(platform::resolvePath(platform::pathAppend(prefix, fileName)));
  if (!file.isOpen()) return fail(errno);
  std::string line;
  if (!file.next(&line) || line != kHeader) return fail(file.failed() ? errno : EINVAL);

  const std::vector<std::string> keys = candidateKeys(key);
  std::vector<Found> found(keys.size(), Found::Nothing);
  std::vector<std::string> values(keys.size());
  size_t section = keys.size();
  // The preferred key's value ends the search; the others are kept until
  // the end of the file shows the preferred one has none.
  while (found[0] == Found::Nothing && file.next(&line)) {
    if (line.empty()) continue;
    if (line[0] == '[') {
      section = sectionIndex(line, keys);
    } else if (section < keys.size() && found[section] == Found::Nothing) {
      found[section] = readValueLine(line, valueName, &values[section]);
    }
  }
  if (file.failed()) return fail(errno);
  for (size_t i = 0; i < keys.size(); ++i) {
    if (found[i] == Found::Nothing) continue;
    if (found[i] == Found::OtherType) return fail(EINVAL);
    *value = values[i];
    return true;
  }
  return fail(ENOENT);
}

}  // namespace host
