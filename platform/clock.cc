// The replaceable clock and sleeper; the real ones are per system.
#include "platform/clock.h"

#include <mutex>

namespace kestrune {

int64_t systemNowSeconds();
void systemSleepMillis(int ms);

namespace {
std::mutex gMutex;
ClockSource gClock;
Sleeper gSleeper;
}  // namespace

int64_t nowSeconds() {
  ClockSource clock;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    clock = gClock;
  }
  return clock ? clock() : systemNowSeconds();
}

std::tm localNow() { return localTimeOf(nowSeconds()); }

void sleepMillis(int ms) {
  Sleeper sleeper;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    sleeper = gSleeper;
  }
  if (sleeper)
    sleeper(ms);
  else
    systemSleepMillis(ms);
}

void setClockSource(ClockSource clock) {
  std::lock_guard<std::mutex> lock(gMutex);
  gClock = std::move(clock);
}

void setSleeper(Sleeper sleeper) {
  std::lock_guard<std::mutex> lock(gMutex);
  gSleeper = std::move(sleeper);
}

}  // namespace kestrune
