// Code pages and the number format, as the system does them.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/wide-win32.h"

namespace kestrune {

std::u16string utf8ToUtf16(const std::string& text) {
  if (text.empty()) return std::u16string();
  int length = static_cast<int>(text.size());
  int units = MultiByteToWideChar(65001, 0, text.data(), length, nullptr, 0);
  if (units <= 0) return std::u16string();
  std::vector<wchar_t> wide(units);
  MultiByteToWideChar(65001, 0, text.data(), length, wide.data(), units);
  return std::u16string(wide.begin(), wide.end());
}

std::string utf16ToAnsi(const std::u16string& text, size_t maxBytes) {
  if (text.empty()) return std::string();
  std::wstring wide = toWide(text);
  int length = static_cast<int>(wide.size());
  // No "best fit": a character the code page lacks becomes its default
  // character ('?') instead of a look-alike letter. A system whose ANSI code
  // page is UTF-8 lacks no character, and refuses that flag for it (the
  // conversion would then give nothing at all).
  const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int bytes = WideCharToMultiByte(CP_ACP, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.data(), length, &out[0], bytes, nullptr, nullptr);
  if (maxBytes && out.size() > maxBytes - 1) out.resize(maxBytes - 1);
  return out;
}

std::string formatUserNumber(const std::string& plain) {
  // Grouping makes a large amount longer than any small fixed buffer, so the
  // buffer grows until the text fits. (Asking for the size first with an
  // empty buffer is not answered correctly everywhere.)
  for (size_t size = 64; size <= 65536; size *= 2) {
    std::vector<char> out(size, '\0');
    if (GetNumberFormatA(LOCALE_USER_DEFAULT, 0, plain.c_str(), nullptr, out.data(),
                         static_cast<int>(size)) > 0)
      return std::string(out.data());
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
  }
  return plain;  // not a number the system can format ("inf", "nan")
}

}  // namespace kestrune
