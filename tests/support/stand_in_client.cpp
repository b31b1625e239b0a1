#include "support/stand_in_client.h"

#include "host/process.h"
#include "platform/system.h"

namespace testing_support {
namespace {

constexpr int kPatienceMilliseconds = 5000;
constexpr int kPollMilliseconds = 10;

}  // namespace

const char kClientWindowClass[] = "QELT WndClass";

bool StandInClient::seen() const {
  for (int waited = 0; waited < kPatienceMilliseconds; waited += kPollMilliseconds) {
    if (host::isClientRunning({kClientWindowClass, programFileName_})) return true;
    platform::sleepMilliseconds(kPollMilliseconds);
  }
  return false;
}

}  // namespace testing_support
