// Shell-style name patterns, matched the same way on every system.
#pragma once

#include <string>

namespace cli {

// True when `text` matches `pattern`, ignoring ASCII letter case: "*"
// matches any run of characters ("/" included), "?" any one character,
// "[abc]", "[a-z]" and "[!a-z]" (or "[^a-z]") one character of a set; "\"
// is an ordinary character, since paths use it as a separator. A "[" without
// its "]" is an ordinary character. Bytes are compared as they are, so names in any
// code page match themselves.
bool globMatches(const std::string& pattern, const std::string& text);

}  // namespace cli
