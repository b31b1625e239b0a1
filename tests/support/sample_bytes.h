// Sample data for tests: the same bytes on every run.
#pragma once

#include <random>
#include <string>

namespace testing_support {

// `length` bytes from a fixed seed.
inline std::string randomBytes(size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(length, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

}  // namespace testing_support
