// The real clock and sleeper under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "platform/clock.h"

namespace kestrune {
namespace {

TEST(Clock, LocalTimeAgreesWithTheSystemsLocalTime) {
  // Retry when a minute boundary falls between the two readings.
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::tm mine = localNow();
    SYSTEMTIME system;
    GetLocalTime(&system);
    if (mine.tm_min != system.wMinute) continue;
    EXPECT_EQ(system.wYear, mine.tm_year + 1900);
    EXPECT_EQ(system.wMonth, mine.tm_mon + 1);
    EXPECT_EQ(system.wDay, mine.tm_mday);
    EXPECT_EQ(system.wHour, mine.tm_hour);
    return;
  }
  FAIL() << "minutes never agreed";
}

TEST(Clock, SleepWaitsOnTheCallingThread) {
  ULONGLONG start = GetTickCount64();
  std::thread worker([] {
    for (int i = 0; i < 3; ++i) sleepMillis(100);
  });
  worker.join();
  EXPECT_GE(GetTickCount64() - start, 290u);
}

}  // namespace
}  // namespace kestrune
