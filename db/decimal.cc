#include "db/decimal.h"

#include <cstdint>
#include <limits>

namespace kestrune {

namespace {

// Powers of ten that long double holds exactly: 10^k = 2^k * 5^k is exact
// while 5^k fits the significand (k <= 27 with x87's 64 bits, 22 with 53).
constexpr int kExactPowers = std::numeric_limits<long double>::digits >= 64 ? 27 : 22;

struct PowersOfTen {
  long double value[kExactPowers + 1];
  constexpr PowersOfTen() : value() {
    value[0] = 1;
    for (int k = 1; k <= kExactPowers; ++k) value[k] = value[k - 1] * 10;
  }
};
constexpr PowersOfTen kPowersOfTen;
constexpr int kSignificand = std::numeric_limits<long double>::digits;
constexpr uint64_t kLargestExactInteger =
    kSignificand >= 64 ? ~uint64_t(0) : (uint64_t(1) << (kSignificand % 64)) - 1;

}  // namespace

// "[-]digits[.digits]" with at most 19 digits is an integer m below 10^19
// over 10^k; when both are exact in long double, one IEEE division rounds
// the quotient correctly, so the result equals strtold's (which the
// connector's stream uses). False for any other text.
bool readPlainDecimal(const char* text, size_t length, long double& value) {
  size_t i = 0;
  bool negative = length > 0 && text[0] == '-';
  if (negative) ++i;
  uint64_t mantissa = 0;
  int digits = 0;
  int fraction = 0;
  bool point = false;
  for (; i < length; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      if (++digits > 19) return false;
      mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
      if (point) ++fraction;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (digits == 0 || fraction > kExactPowers) return false;
  if (mantissa > kLargestExactInteger) return false;
  long double quotient = static_cast<long double>(mantissa) / kPowersOfTen.value[fraction];
  value = negative ? -quotient : quotient;
  return true;
}

bool longDoubleAtFullPrecision() {
  volatile long double one = 1;
  volatile long double epsilon = std::numeric_limits<long double>::epsilon();
  return one + epsilon != one;
}

}  // namespace kestrune
