// Plain decimal texts ("[-]digits[.digits]", the server's form of DOUBLE and
// DECIMAL values) read exactly as the connector's getDouble would read them,
// without its string stream per value.
#pragma once

#include <cstddef>

namespace kestrune {

// The value strtold gives for `text`, when the text is a plain decimal of at
// most 19 digits whose value long double can reach with one exact division;
// false for any other text (the caller falls back to the connector then).
bool readPlainDecimal(const char* text, size_t length, long double& value);

// An x87 unit told to round to double precision (some Windows libraries do)
// rounds the division differently: readPlainDecimal must not be used then.
bool longDoubleAtFullPrecision();

}  // namespace kestrune
