#include <gtest/gtest.h>

#include <thread>

#include "axp/common/checksum.h"
#include "axp/common/error_record.h"
#include "axp/pack/data_stream.h"
#include "pack_test_support.h"

namespace {

using namespace pack_testing;
using testing_support::TempDir;

std::string patterned(size_t length, uint32_t seed) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 131 + seed) >> 3);
  return bytes;
}

class DataStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    buildPack(dir_.file("p.axp"), {{"crlf.txt", "a\r\nb\n"},
                                   {"blank.txt", "x\n\ny"},
                                   {"long.txt", "0123456789"},
                                   {"nul.txt", std::string("ab\0cd", 5)},
                                   {"empty", ""},
                                   {"at_limit", patterned(512000, 1)},
                                   {"over_limit", patterned(512001, 2)},
                                   {"huge", patterned(3000000, 3)}});
    ASSERT_TRUE(pack_.open(dir_.file("p.axp").c_str(), true));
  }

  std::vector<std::string> lines(const char* name, uint32_t capacity) {
    AXP::IStream* stream = pack_.openFile(name);
    std::vector<std::string> result;
    char buffer[1024];
    while (!stream->eof()) {
      const uint32_t length = stream->readLine(buffer, capacity);
      EXPECT_EQ(std::strlen(buffer), length);
      result.emplace_back(buffer, length);
    }
    EXPECT_EQ(stream->readLine(buffer, capacity), 0u);
    stream->close();
    return result;
  }

  TempDir dir_;
  AXP::PackFile pack_;
};

TEST_F(DataStreamTest, ReadLine) {
  EXPECT_EQ(lines("crlf.txt", 1024), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(lines("blank.txt", 1024), (std::vector<std::string>{"x", "", "y"}));
  EXPECT_EQ(lines("long.txt", 4), (std::vector<std::string>{"012", "345", "678", "9"}));
  EXPECT_EQ(lines("nul.txt", 1024), (std::vector<std::string>{"ab", "cd"}));

  AXP::IStream* stream = pack_.openFile("blank.txt");
  EXPECT_EQ(stream->skipLine(), 2u);
  EXPECT_EQ(stream->skipLine(), 1u);
  EXPECT_EQ(stream->tell(), 3u);
  EXPECT_EQ(stream->skipLine(), 1u);  // "y" runs to the end
  EXPECT_TRUE(stream->eof());
  EXPECT_EQ(stream->skipLine(), 0u);
  stream->close();
}

TEST_F(DataStreamTest, PreloadLimitAndReads) {
  for (const auto& [name, preloaded] :
       {std::pair{"at_limit", true}, std::pair{"over_limit", false}, std::pair{"huge", false}}) {
    AXP::IStream* stream = pack_.openFile(name);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(static_cast<AXP::DataStream*>(stream)->isPreloaded(), preloaded) << name;
    const std::string whole = readPacked(&pack_, name);
    EXPECT_EQ(stream->crc(), AXP::crcBuffer(whole.data(), whole.size()));
    // Random positioning with reads that cross the end.
    std::string piece(1000, '\0');
    stream->seek(stream->size() - 600);
    EXPECT_EQ(stream->read(piece.data(), 1000), 600u);
    EXPECT_EQ(piece.substr(0, 600), whole.substr(whole.size() - 600));
    EXPECT_TRUE(stream->eof());
    stream->seek(stream->size() + 5);
    EXPECT_EQ(stream->read(piece.data(), 10), 0u);
    stream->seek(123);
    EXPECT_EQ(stream->read(piece.data(), 10), 10u);
    EXPECT_EQ(piece.substr(0, 10), whole.substr(123, 10));
    EXPECT_EQ(stream->tell(), 133u);
    stream->close();
  }
  EXPECT_EQ(readPacked(&pack_, "huge"), patterned(3000000, 3));

  AXP::IStream* empty = pack_.openFile("empty");
  EXPECT_EQ(empty->size(), 0u);
  EXPECT_TRUE(empty->eof());
  EXPECT_EQ(empty->crc(), 0u);
  empty->close();
}

// Two threads stream the same packed files at once, read on demand; each
// reads through its own handle, so the positions never interfere.
TEST_F(DataStreamTest, TwoThreadsReadOnePack) {
  const std::string huge = patterned(3000000, 3);
  const std::string over = patterned(512001, 2);
  auto reader = [&](int seed, bool* same) {
    *same = true;
    for (int round = 0; round < 20; ++round) {
      AXP::IStream* a = pack_.openFile("huge");
      AXP::IStream* b = pack_.openFile("over_limit");
      if (a == nullptr || b == nullptr) {
        *same = false;
        return;
      }
      std::string piece(4093, '\0');
      for (uint32_t at = (seed * 977 + round * 31) % 100000; at < 2900000; at += 150001) {
        a->seek(at);
        b->seek(at % 500000);
        *same = *same && a->read(piece.data(), 4093) == 4093 && piece == huge.substr(at, 4093);
        *same = *same && b->read(piece.data(), 4093) == 4093 &&
                piece == over.substr(at % 500000, 4093);
      }
      a->close();
      b->close();
    }
  };
  bool first = false, second = false;
  std::thread one(reader, 1, &first);
  std::thread two(reader, 2, &second);
  one.join();
  two.join();
  EXPECT_TRUE(first);
  EXPECT_TRUE(second);
}

}  // namespace
