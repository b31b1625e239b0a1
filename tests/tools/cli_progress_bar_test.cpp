#include "cli/progress_bar.h"

#include <gtest/gtest.h>

namespace {

using cli::ProgressBar;
using cli::renderProgressLine;
using namespace std::chrono_literals;

TEST(CliProgressBar, LineShowsLabelBarCountAndPercentage) {
  EXPECT_EQ(renderProgressLine("build", 12, 40, 80),
            "build [===========>                          ] 12/40  30%");
  EXPECT_EQ(renderProgressLine("build", 40, 40, 80),
            "build [======================================] 40/40 100%");
  // Nothing to do counts as done; a count past the total does not overflow the bar.
  EXPECT_EQ(renderProgressLine("x", 0, 0, 30), "x [================] 0/0 100%");
  EXPECT_EQ(renderProgressLine("x", 9, 3, 30), "x [================] 9/3 100%");
}

TEST(CliProgressBar, LineNeverFillsTheLastColumn) {
  std::string label(50, 'L');
  for (int columns = 0; columns <= 120; ++columns) {
    for (uint64_t count : {0ull, 7ull, 1000000ull}) {
      std::string line = renderProgressLine(label, count, 1000000, columns);
      EXPECT_LE(line.size(), static_cast<size_t>(columns > 0 ? columns - 1 : 0))
          << "columns " << columns << ": " << line;
    }
  }
  // A narrow terminal keeps the counter and cuts the label first.
  EXPECT_EQ(renderProgressLine("extracting", 1, 2, 30), "extractin [====>   ] 1/2  50%");
  EXPECT_EQ(renderProgressLine("extracting", 1, 2, 15), "extra 1/2  50%");
}

struct Recorder {
  std::vector<std::string> writes;
  std::chrono::steady_clock::time_point now{};
};

TEST(CliProgressBar, RedrawsAtMostTenTimesASecondAndWipesItself) {
  Recorder recorder;
  {
    ProgressBar bar(
        "copy", 100, [&](const std::string& text) { recorder.writes.push_back(text); }, 40,
        [&] { return recorder.now; });
    bar.update(1);
    recorder.now += 50ms;
    bar.update(2);  // too soon
    recorder.now += 50ms;
    bar.update(3);
    recorder.now += 99ms;
    bar.update(4);  // too soon
    ASSERT_EQ(recorder.writes.size(), 2u);
    EXPECT_EQ(recorder.writes[0], "\r" + renderProgressLine("copy", 1, 100, 40));
    EXPECT_EQ(recorder.writes[1], "\r" + renderProgressLine("copy", 3, 100, 40));
    bar.finish();
    ASSERT_EQ(recorder.writes.size(), 3u);
    EXPECT_EQ(recorder.writes[2], "\r" + std::string(renderProgressLine("copy", 3, 100, 40).size(), ' ') + "\r");
    recorder.now += 1s;
    bar.update(5);  // finished bars stay quiet, also when destroyed
  }
  EXPECT_EQ(recorder.writes.size(), 3u);
}

TEST(CliProgressBar, ShorterLineOverwritesTheOldTail) {
  Recorder recorder;
  ProgressBar bar(
      "n", 0, [&](const std::string& text) { recorder.writes.push_back(text); }, 200, [&] { return recorder.now; });
  bar.update(123456);  // past a total of 0: the counter is long
  recorder.now += 1s;
  bar.update(1);
  ASSERT_EQ(recorder.writes.size(), 2u);
  std::string shorter = renderProgressLine("n", 1, 0, 200);
  ASSERT_LT(shorter.size() + 1, recorder.writes[0].size());
  EXPECT_EQ(recorder.writes[1], "\r" + shorter + std::string(recorder.writes[0].size() - 1 - shorter.size(), ' '));
}

TEST(CliProgressBar, NewLabelShowsAtTheNextDrawingAndClearsALongerOne) {
  Recorder recorder;
  ProgressBar bar(
      "add textures/very/long/name.dds", 4, [&](const std::string& text) { recorder.writes.push_back(text); }, 100,
      [&] { return recorder.now; });
  bar.update(0);
  bar.setLabel("delete a");
  bar.update(1);  // too soon: the new label waits
  recorder.now += 1s;
  bar.update(2);
  ASSERT_EQ(recorder.writes.size(), 2u);
  std::string first = renderProgressLine("add textures/very/long/name.dds", 0, 4, 100);
  std::string second = renderProgressLine("delete a", 2, 4, 100);
  EXPECT_EQ(recorder.writes[0], "\r" + first);
  ASSERT_LT(second.size(), first.size());
  EXPECT_EQ(recorder.writes[1], "\r" + second + std::string(first.size() - second.size(), ' '));
}

TEST(CliProgressBar, BarNeverDrawnWritesNothingAtTheEnd) {
  Recorder recorder;
  {
    ProgressBar bar(
        "idle", 10, [&](const std::string& text) { recorder.writes.push_back(text); }, 40,
        [&] { return recorder.now; });
  }
  EXPECT_TRUE(recorder.writes.empty());
}

}  // namespace
