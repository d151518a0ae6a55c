// UTF-8 -> UTF-16 with U+FFFD for invalid bytes, in the manner of
// MultiByteToWideChar(65001) on Windows.
#include <cstdint>

#include "platform/text.h"

namespace kestrune {

namespace {

void appendUtf16(std::u16string& out, uint32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

}  // namespace

std::u16string utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size(), i = 0;
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int len;
    uint32_t cp, min;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2, cp = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, cp = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, cp = b & 0x07, min = 0x10000;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    int k = 1;
    while (k < len && i + k < n && (s[i + k] & 0xC0) == 0x80) {
      cp = (cp << 6) | (s[i + k] & 0x3F);
      ++k;
    }
    if (k < len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(0xFFFD);
      i += k;  // skip the lead byte and the continuation bytes it claimed
      continue;
    }
    appendUtf16(out, cp);
    i += len;
  }
  return out;
}

}  // namespace kestrune
