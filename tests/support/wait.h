// Waiting in tests for something another thread or process does.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace kestrune::test {

// Checks `condition` every few milliseconds until it holds or `limit` has
// passed; whether it held.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace kestrune::test
