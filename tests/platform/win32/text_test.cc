// Code pages and number formats as the system gives them. TurkishLocale runs
// with the Wine user locale tr-TR (LANG=tr_TR.UTF-8: ANSI code page 1254);
// OtherLocale with the default en-US one (code page 1252).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/text.h"

namespace kestrune {
namespace {

// "Şişli Köftecisi Ğ İ ı Ç Ö Ü" in UTF-8 and in code page 1254.
const char kNameUtf8[] =
    "\xC5\x9E"
    "i"
    "\xC5\x9F"
    "li K"
    "\xC3\xB6"
    "ftecisi "
    "\xC4\x9E \xC4\xB0 \xC4\xB1 \xC3\x87 \xC3\x96 \xC3\x9C";
const char16_t kNameUtf16[] =
    u"\u015Ei\u015Fli K\u00F6ftecisi \u011E \u0130 \u0131 \u00C7 \u00D6 \u00DC";
const char kNameCp1254[] =
    "\xDE"
    "i"
    "\xFE"
    "li K"
    "\xF6"
    "ftecisi \xD0 \xDD \xFD \xC7 \xD6 \xDC";

TEST(Text, Utf8ToUtf16ByTheSystem) {
  EXPECT_EQ(kNameUtf16, utf8ToUtf16(kNameUtf8));
  EXPECT_EQ(u"", utf8ToUtf16(""));
  // a character outside the basic plane becomes a surrogate pair
  EXPECT_EQ(u"\U0001F600", utf8ToUtf16("\xF0\x9F\x98\x80"));
  EXPECT_EQ(kNameUtf8, utf16ToUtf8(utf8ToUtf16(kNameUtf8)));
}

TEST(Text, InvalidUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(u"a\uFFFDb", utf8ToUtf16("a\xFF"
                                     "b"));
  EXPECT_EQ(u"K\u00F6fte\uFFFD", utf8ToUtf16("K\xC3\xB6"
                                             "fte\xC3"));  // cut off
  EXPECT_EQ(u"\uFFFDx", utf8ToUtf16("\xB6x"));             // lone continuation
  std::u16string latin5 = utf8ToUtf16(
      "\xDE"
      "ube");  // already 8-bit text
  EXPECT_EQ(u'\uFFFD', latin5[0]);
  EXPECT_EQ(u"ube", latin5.substr(latin5.size() - 3));
}

TEST(TurkishLocale, AnsiCodePageIs1254) {
  EXPECT_EQ(1254u, GetACP());
  EXPECT_EQ(MAKELANGID(LANG_TURKISH, SUBLANG_TURKISH_TURKEY), LANGIDFROMLCID(GetUserDefaultLCID()));
}

TEST(TurkishLocale, TurkishNamesFromUtf8ToCodePage1254) {
  EXPECT_EQ(kNameCp1254, utf16ToAnsi(utf8ToUtf16(kNameUtf8)));
  EXPECT_EQ("\x80", utf16ToAnsi(u"\u20AC"));  // the euro sign has a place in 1254
  // Letters 1254 lacks become '?', never a look-alike.
  EXPECT_EQ("a?b?c?", utf16ToAnsi(u"a\u0101b\u03A9c\u4E2D"));
}

TEST(TurkishLocale, ConversionStopsBeforeTheBufferLimit) {
  std::u16string title = u"G\u00DCNL\u00DCK SATI\u015E \u00D6ZET\u0130";
  EXPECT_EQ(
      "G\xDCNL\xDC"
      "K SATI\xDE \xD6ZET\xDD",
      utf16ToAnsi(title, 100));
  std::u16string longName(80, u'\u015E');
  std::string cell = utf16ToAnsi(longName, 60);
  EXPECT_EQ(std::string(59, '\xDE'), cell);
}

// The text without its thousands separators.
std::string ungrouped(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '.'), text.end());
  return text;
}

TEST(TurkishLocale, NumbersInTheTurkishFormat) {
  EXPECT_EQ("1.234,50", formatUserNumber("1234.50"));
  EXPECT_EQ("0,00", formatUserNumber("0.00"));
  EXPECT_EQ("-1.234,50", formatUserNumber("-1234.50"));
  EXPECT_EQ("999,99", formatUserNumber("999.99"));
  EXPECT_EQ("123.456,78", formatUserNumber("123456.78"));
}

// Amounts longer than the eleven characters a small buffer holds come out
// whole. (Windows groups every three digits: 1.000.000,00. Wine 8 puts only
// the last separator, 1000.000,00; so the digits are compared without them.)
TEST(TurkishLocale, LargeAmountsComeOutWhole) {
  std::string million = formatUserNumber("1000000.00");
  EXPECT_EQ("1000000,00", ungrouped(million));
  EXPECT_EQ(".000,00", million.substr(million.size() - 7));
  EXPECT_EQ("-123456789012,34", ungrouped(formatUserNumber("-123456789012.34")));
  char largest[400];
  std::snprintf(largest, sizeof largest, "%.2f", 3.4028234663852886e38);  // FLT_MAX
  EXPECT_EQ("340282346638528859811704183484516925440,00", ungrouped(formatUserNumber(largest)));
}

TEST(TurkishLocale, WhatIsNoNumberStaysAsItIs) {
  EXPECT_EQ("inf", formatUserNumber("inf"));
  EXPECT_EQ("-nan", formatUserNumber("-nan"));
}

TEST(OtherLocale, WesternCodePageAndNumbers) {
  EXPECT_EQ(1252u, GetACP());
  EXPECT_EQ(
      "K\xF6"
      "fte ?i?",
      utf16ToAnsi(u"K\u00F6fte \u015Fi\u015F"));
  // report pages are code page 1254 whatever the system's
  EXPECT_EQ(
      "K\xF6"
      "fte \xFEi\xFE \xDD\xD0",
      utf16ToPageText(u"K\u00F6fte \u015Fi\u015F \u0130\u011E"));
  EXPECT_EQ("1,234.50", formatUserNumber("1234.50"));
  EXPECT_EQ("-1,234.50", formatUserNumber("-1234.50"));
}

}  // namespace
}  // namespace kestrune
