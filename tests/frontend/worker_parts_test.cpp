#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "frontend/apply_progress.h"
#include "frontend/dialog_channel.h"
#include "frontend/display_text.h"
#include "frontend/start_signal.h"
#include "frontend/text_format.h"

namespace {

std::vector<int> percentsFor(uint32_t count) {
  std::vector<int> percents;
  for (int32_t counter = 0; counter < static_cast<int32_t>(count); ++counter) {
    percents.push_back(qelt::progressPercent(counter, count));
  }
  return percents;
}

TEST(ApplyProgress, CountsBeforeEachOperationRoundingHalfUp) {
  EXPECT_EQ(percentsFor(4), (std::vector<int>{0, 25, 50, 75}));
  EXPECT_EQ(percentsFor(3), (std::vector<int>{0, 33, 67}));
  EXPECT_EQ(percentsFor(8), (std::vector<int>{0, 13, 25, 38, 50, 63, 75, 88}));
  EXPECT_EQ(qelt::progressPercent(199, 200), 100) << "99.5 rounds up";
  // A miscount never leaves the bar's range, nor divides by zero.
  EXPECT_EQ(qelt::progressPercent(0, 0), 0);
  EXPECT_EQ(qelt::progressPercent(9, 4), 100);
  EXPECT_EQ(qelt::progressPercent(-3, 4), 0);
}

TEST(ApplyProgress, StatusTextNamesTheFileAndWhatHappens) {
  EXPECT_EQ(qelt::progressText(0, "data/a.txt"), "更新文件data/a.txt");
  EXPECT_EQ(qelt::progressText(1, "old.txt"), "删除文件old.txt");
  EXPECT_EQ(qelt::progressText(5, "odd.txt"), "odd.txt");
}

TEST(FormatText, CutsAt259BytesWithoutSplittingACharacter) {
  EXPECT_EQ(qelt::formatText("%s", std::string(300, 'a').c_str()), std::string(259, 'a'));
  // 258 ASCII bytes and a three-byte character: the character goes whole.
  std::string text = std::string(258, 'a') + "错" + "b";
  EXPECT_EQ(qelt::formatText("%s", text.c_str()), std::string(258, 'a'));
  text = std::string(256, 'a') + "错" + "b";
  EXPECT_EQ(qelt::formatText("%s", text.c_str()), std::string(256, 'a') + "错");
  EXPECT_EQ(qelt::formatText("更新错误(code=%d,%s)", 3, "Const Mode"), "更新错误(code=3,Const Mode)");
}

TEST(DisplayText, NoControlCharacterReachesTheTerminal) {
  EXPECT_EQ(qelt::displayLine("1.0\x1b[2J\n"), "1.0 [2J ");
  EXPECT_EQ(qelt::displayLines("a\r\nb\rc\n\x1b]0;title\x07\td"), "a\nb\nc\n]0;title\td");
  // GBK names and notes of the target systems read as UTF-8, beside the
  // program's own UTF-8 texts; bytes that are neither become "?".
  const std::string gbkName = "\xB5\xD8\xCD\xBC.dat";  // 地图.dat
  EXPECT_EQ(qelt::displayLine("更新文件" + gbkName), "更新文件地图.dat");
  EXPECT_EQ(qelt::displayLines("\xB8\xFC\xD0\xC2\r\n"), "更新\n");
  // Notes are GBK as a whole: a pair that could pass for UTF-8 is GBK too.
  EXPECT_EQ(qelt::displayLines("1.0\r\n\xD2\xBB\xA1\xA2\xD0\xC2"), "1.0\n一、新");
  EXPECT_EQ(qelt::displayLine("a\x80" "b"), "a?b");
}

TEST(StartSignal, SettlesOnceEitherWay) {
  qelt::StartSignal started;
  std::thread waiter([&] { EXPECT_TRUE(started.wait()); });
  started.start();
  started.abandon();
  waiter.join();
  EXPECT_TRUE(started.wait());

  qelt::StartSignal abandoned;
  abandoned.abandon();
  abandoned.start();
  EXPECT_FALSE(abandoned.wait());
}

// Handles what arrives on the dialog thread and records the order.
class OrderHandler : public qelt::IDialogHandler {
 public:
  void onCommand(qelt::DialogCommand command) override {
    events.push_back(command == qelt::DialogCommand::Start ? "start" : "other");
  }
  qelt::WorkerReply onMessage(const qelt::WorkerMessage& message) override {
    events.push_back(message.text);
    return {true, message.text + " handled"};
  }
  std::vector<std::string> events;
};

TEST(DialogChannel, SendWaitsForItsAnswerAndCloseReleasesSenders) {
  qelt::DialogChannel channel;
  OrderHandler handler;
  std::atomic<bool> answered{false};
  channel.post(qelt::DialogCommand::Start);
  std::thread worker([&] {
    qelt::WorkerReply reply = channel.send({qelt::WorkerMessageKind::Status, "first", 0, {}});
    answered = true;
    EXPECT_EQ(reply.folder, "first handled");
  });
  ASSERT_TRUE(channel.dispatchNext(&handler));
  EXPECT_EQ(handler.events, std::vector<std::string>{"start"});
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(answered) << "the sender waits until its message is handled";
  ASSERT_TRUE(channel.dispatchNext(&handler));
  worker.join();
  EXPECT_TRUE(answered);
  EXPECT_EQ(handler.events, (std::vector<std::string>{"start", "first"}));

  // A send left waiting when the dialog ends comes back empty, and so does
  // every later one; the dialog side stops.
  std::thread late([&] {
    EXPECT_FALSE(channel.send({qelt::WorkerMessageKind::PickFolder, "picker", 0, {}}).accepted);
  });
  // Give the sender time to queue its message (if it has not, its send
  // meets a closed channel, which must answer just the same).
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  channel.close();
  late.join();
  EXPECT_FALSE(channel.send({qelt::WorkerMessageKind::Status, "after", 0, {}}).accepted);
  EXPECT_FALSE(channel.dispatchNext(&handler));
}

}  // namespace
