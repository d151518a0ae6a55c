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

namespace {

constexpr UINT kPageCodePage = 1254;

std::string toCodePage(UINT codePage, const std::wstring& wide, size_t maxBytes) {
  if (wide.empty()) return std::string();
  int length = static_cast<int>(wide.size());
  // No "best fit": a character the code page lacks becomes its default
  // character ('?') instead of a look-alike letter. UTF-8 lacks no
  // character, and refuses that flag (the conversion would then give
  // nothing at all).
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int bytes =
      WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), length, &out[0], bytes, nullptr, nullptr);
  if (maxBytes && out.size() > maxBytes - 1) out.resize(maxBytes - 1);
  return out;
}

}  // namespace

std::string utf16ToAnsi(const std::u16string& text, size_t maxBytes) {
  return toCodePage(GetACP(), toWide(text), maxBytes);
}

std::string utf16ToPageText(const std::u16string& text, size_t maxBytes) {
  return toCodePage(kPageCodePage, toWide(text), maxBytes);
}

std::string formatUserNumber(const std::string& plain) {
  // Grouping makes a large amount longer than any small fixed buffer, so the
  // buffer grows until the text fits. (Asking for the size first with an
  // empty buffer is not answered correctly everywhere.)
  // The separators come as UTF-16 and go into the page's code page, whatever
  // the system's.
  std::wstring number(plain.begin(), plain.end());
  for (size_t size = 64; size <= 65536; size *= 2) {
    std::vector<wchar_t> out(size, L'\0');
    if (GetNumberFormatW(LOCALE_USER_DEFAULT, 0, number.c_str(), nullptr, out.data(),
                         static_cast<int>(size)) > 0) {
      // The narrow no-break space some locales group digits with has no
      // place in 1254; its plain no-break space means the same.
      std::wstring text(out.data());
      for (wchar_t& c : text)
        if (c == L'\u202F') c = L'\u00A0';
      return toCodePage(kPageCodePage, text, 0);
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
  }
  return plain;  // not a number the system can format ("inf", "nan")
}

}  // namespace kestrune
