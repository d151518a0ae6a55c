// A job of the agent that must not take the agent down with it.
#pragma once

#include <exception>
#include <string>

#include "platform/errors.h"

namespace kestrune {

// Runs `job`; an unexpected exception is reported under `caption` and the
// caller goes on.
template <typename Job>
void guarded(const char* caption, Job job) {
  try {
    job();
  } catch (const std::exception& e) {
    showError(caption, std::string("unexpected error: ") + e.what());
  } catch (...) {
    showError(caption, "unexpected error");
  }
}

}  // namespace kestrune
