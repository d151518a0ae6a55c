// Text conversions and the user's number format.
#pragma once

#include <cstddef>
#include <string>

namespace kestrune {

// UTF-8 to UTF-16; invalid bytes become U+FFFD (MultiByteToWideChar(65001)).
std::u16string utf8ToUtf16(const std::string& text);

// UTF-16 to the system's 8-bit code page (1254 on Turkish systems, CP1254
// elsewhere); characters without an equivalent become '?'. At most
// `maxBytes` - 1 bytes come out (room for a terminator, as the Windows
// buffers have); 0 means no limit.
std::string utf16ToAnsi(const std::u16string& text, size_t maxBytes = 0);

// UTF-16 to code page 1254, the code page the report pages declare, on
// every system whatever its own code page; characters without an
// equivalent become '?'. `maxBytes` as above.
std::string utf16ToPageText(const std::u16string& text, size_t maxBytes = 0);

// UTF-16 to UTF-8 (for messages and the status text); lone surrogates become U+FFFD.
std::string utf16ToUtf8(const std::u16string& text);

// A number printed with "%.2f" (point as decimal separator, optional leading
// minus) in the current user's number format: decimal separator, grouping,
// negative style. With tr_TR 1234.50 gives "1.234,50"; in the C locale it is
// unchanged. Any size of number is formatted in full. The result is page
// text (code page 1254), like utf16ToPageText's.
std::string formatUserNumber(const std::string& plain);

}  // namespace kestrune
