// Bounded copies into the fixed-size text fields of the agent's records.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace kestrune {

// Copies at most N - 1 bytes of `source` and zero-fills the rest of `field`.
template <size_t N>
void copyText(char (&field)[N], const char* source) {
  size_t n = std::strlen(source);
  if (n > N - 1) n = N - 1;
  std::memcpy(field, source, n);
  std::memset(field + n, 0, N - n);
}

template <size_t N>
void copyText(char (&field)[N], const std::string& source) {
  size_t n = source.size() < N - 1 ? source.size() : N - 1;
  std::memcpy(field, source.data(), n);
  std::memset(field + n, 0, N - n);
}

// Copies up to N bytes: a text as long as the field fills it with no
// terminating zero. Shorter texts are zero-padded.
template <size_t N>
void copyTextFilling(char (&field)[N], const std::string& source) {
  size_t n = source.size() < N ? source.size() : N;
  std::memcpy(field, source.data(), n);
  std::memset(field + n, 0, N - n);
}

// Appends as much of `source` as fits behind the text in `field`.
template <size_t N>
void appendText(char (&field)[N], const char* source) {
  size_t used = strnlen(field, N - 1);
  size_t n = std::strlen(source);
  if (n > N - 1 - used) n = N - 1 - used;
  std::memcpy(field + used, source, n);
  field[used + n] = '\0';
}

// A text field read up to its first zero or its full size.
template <size_t N>
std::string fieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

}  // namespace kestrune
