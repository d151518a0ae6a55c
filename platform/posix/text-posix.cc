// The Windows code page and number format, as Linux offers them: iconv for
// CP1254, the user's locale (read, never installed process-wide) for numbers.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/text.h"

namespace kestrune {

namespace {

// Code points of CP1254's bytes 0x80..0xFF, learnt once from iconv.
struct AnsiTable {
  std::map<uint32_t, char> byCodePoint;
};

const AnsiTable& ansiTable() {
  static const AnsiTable table = [] {
    AnsiTable t;
    iconv_t cd = iconv_open("UTF-32LE", "CP1254");
    if (cd == (iconv_t)-1) return t;
    for (int b = 0x80; b <= 0xFF; ++b) {
      char in = static_cast<char>(b);
      unsigned char out[4];
      char* ip = &in;
      char* op = reinterpret_cast<char*>(out);
      size_t il = 1, ol = 4;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &ip, &il, &op, &ol) != (size_t)-1 && ol == 0) {
        uint32_t cp = out[0] | (out[1] << 8) | (out[2] << 16) | (uint32_t(out[3]) << 24);
        t.byCodePoint.emplace(cp, in);
      }
    }
    iconv_close(cd);
    return t;
  }();
  return table;
}

struct NumberStyle {
  std::string key;
  std::string decimalPoint = ".";
  std::string thousandsSep;
  std::string grouping;
};

std::string localeKey() {
  const char* names[] = {"LC_ALL", "LC_NUMERIC", "LANG"};
  for (const char* n : names) {
    const char* v = std::getenv(n);
    if (v && *v) return v;
  }
  return "C";
}

// A separator of the locale, in the locale's own character set (UTF-8 in
// every current locale), as page text in code page 1254. The narrow no-break
// space some locales group digits with has no place in that code page; its
// plain no-break space means the same.
std::string separatorText(const char* text, const char* codeset) {
  std::string raw(text);
  bool ascii = true;
  for (unsigned char c : raw)
    if (c >= 0x80) ascii = false;
  if (ascii) return raw;
  iconv_t cd = iconv_open("UTF-8", codeset ? codeset : "");
  if (cd == (iconv_t)-1) return "?";
  char out[64] = {};
  char* ip = &raw[0];
  char* op = out;
  size_t il = raw.size(), ol = sizeof out - 1;
  bool ok = iconv(cd, &ip, &il, &op, &ol) != (size_t)-1;
  iconv_close(cd);
  if (!ok) return "?";
  std::u16string wide = utf8ToUtf16(std::string(out, static_cast<size_t>(op - out)));
  for (char16_t& c : wide)
    if (c == u'\u202F') c = u'\u00A0';
  return utf16ToAnsi(wide);
}

NumberStyle currentStyle() {
  static std::mutex mutex;
  static NumberStyle cached;
  static bool haveCached = false;
  std::string key = localeKey();
  std::lock_guard<std::mutex> lock(mutex);
  if (haveCached && cached.key == key) return cached;
  NumberStyle style;
  style.key = key;
  // The numeric locale named by the environment, with the character set of
  // that same locale (not of LC_CTYPE) to read its separators in.
  locale_t loc = newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, key.c_str(), (locale_t)0);
  if (loc != (locale_t)0) {
    const char* dp = nl_langinfo_l(RADIXCHAR, loc);
    const char* ts = nl_langinfo_l(THOUSEP, loc);
    const char* gr = nl_langinfo_l(GROUPING, loc);
    const char* codeset = nl_langinfo_l(CODESET, loc);
    if (dp && *dp) style.decimalPoint = separatorText(dp, codeset);
    if (ts) style.thousandsSep = separatorText(ts, codeset);
    if (gr) style.grouping = gr;
    freelocale(loc);
  }
  cached = style;
  haveCached = true;
  return style;
}

}  // namespace

std::string utf16ToAnsi(const std::u16string& text, size_t maxBytes) {
  const AnsiTable& table = ansiTable();
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (maxBytes && out.size() + 1 >= maxBytes) break;
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
      out.push_back('?');
      continue;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    auto it = table.byCodePoint.find(cp);
    out.push_back(it == table.byCodePoint.end() ? '?' : it->second);
  }
  return out;
}

std::string utf16ToPageText(const std::u16string& text, size_t maxBytes) {
  return utf16ToAnsi(text, maxBytes);  // the 8-bit code page here is 1254
}

std::string formatUserNumber(const std::string& plain) {
  NumberStyle style = currentStyle();
  std::string sign, intPart, fraction;
  size_t i = 0;
  if (i < plain.size() && plain[i] == '-') sign = "-", ++i;
  size_t dot = plain.find('.', i);
  intPart = plain.substr(i, dot == std::string::npos ? std::string::npos : dot - i);
  if (dot != std::string::npos) fraction = plain.substr(dot + 1);

  std::string grouped;
  if (style.thousandsSep.empty() || style.grouping.empty()) {
    grouped = intPart;
  } else {
    // Walk from the right, taking group sizes from `grouping` (the last one repeats).
    std::string rev;
    size_t g = 0, inGroup = 0;
    int size = static_cast<unsigned char>(style.grouping[0]);
    for (size_t k = intPart.size(); k-- > 0;) {
      if (size > 0 && size != CHAR_MAX && inGroup == static_cast<size_t>(size)) {
        rev.append(style.thousandsSep.rbegin(), style.thousandsSep.rend());
        inGroup = 0;
        if (g + 1 < style.grouping.size()) size = static_cast<unsigned char>(style.grouping[++g]);
      }
      rev.push_back(intPart[k]);
      ++inGroup;
    }
    grouped.assign(rev.rbegin(), rev.rend());
  }
  std::string out = sign + grouped;
  if (!fraction.empty()) out += style.decimalPoint + fraction;
  return out;
}

}  // namespace kestrune
