// Between the agent's UTF-16 texts (char16_t) and the system's (wchar_t,
// also 16 bits on Windows).
#pragma once

#include <string>

namespace kestrune {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

inline std::wstring toWide(const std::u16string& text) {
  return std::wstring(text.begin(), text.end());
}

inline std::u16string fromWide(const wchar_t* text) {
  std::u16string out;
  for (; *text; ++text) out.push_back(static_cast<char16_t>(*text));
  return out;
}

}  // namespace kestrune
