#include <time.h>

#include <chrono>
#include <thread>

#include "platform/clock.h"

namespace kestrune {

int64_t systemNowSeconds() { return static_cast<int64_t>(::time(nullptr)); }

void systemSleepMillis(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::tm localTimeOf(int64_t t) {
  time_t tt = static_cast<time_t>(t);
  std::tm out{};
  ::localtime_r(&tt, &out);
  return out;
}

}  // namespace kestrune
