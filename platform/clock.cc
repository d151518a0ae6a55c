// The replaceable clock and sleeper; the real ones are per system.
#include "platform/clock.h"

#include <chrono>
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

bool sleepMillisUnlessWoken(int ms, WakeSignal& wake) {
  bool replaced;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    replaced = static_cast<bool>(gSleeper);
  }
  if (replaced) {
    sleepMillis(ms);
    std::lock_guard<std::mutex> lock(wake.mutex);
    wake.pending = false;
    return false;
  }
  std::unique_lock<std::mutex> lock(wake.mutex);
  bool woken =
      wake.raised.wait_for(lock, std::chrono::milliseconds(ms), [&] { return wake.pending; });
  wake.pending = false;
  return woken;
}

void raiseWake(WakeSignal& wake) {
  {
    std::lock_guard<std::mutex> lock(wake.mutex);
    wake.pending = true;
  }
  wake.raised.notify_all();
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
