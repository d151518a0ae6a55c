#include <windows.h>

#include <ctime>

#include "platform/clock.h"

namespace kestrune {

int64_t systemNowSeconds() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  uint64_t ticks = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  // 100-ns ticks since 1601-01-01 to seconds since 1970-01-01
  return static_cast<int64_t>((ticks - 116444736000000000ULL) / 10000000ULL);
}

void systemSleepMillis(int ms) { Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0); }

std::tm localTimeOf(int64_t t) {
  __time64_t tt = static_cast<__time64_t>(t);
  std::tm out{};
  _localtime64_s(&out, &tt);
  return out;
}

}  // namespace kestrune
