// Waiting for something another process or thread does, in 50 ms steps.
#pragma once

#include <windows.h>

template <typename Condition>
bool waitFor(Condition condition, int ms) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}
