// gider.dat's records as the tests expect them: built field by field at
// fixed offsets, without looking at the record type.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "db/expenses.h"

namespace kestrune::test {

// The expected bytes of a record.
struct Bytes {
  std::string b = std::string(544, '\0');
  void i32(size_t at, int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<char>((u >> (8 * k)) & 0xFF);
  }
  void i64(size_t at, int64_t v) {
    uint64_t u = static_cast<uint64_t>(v);
    for (int k = 0; k < 8; ++k) b[at + k] = static_cast<char>((u >> (8 * k)) & 0xFF);
  }
  void f32(size_t at, float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    i32(at, static_cast<int32_t>(u));
  }
  void text(size_t at, const std::string& s) { b.replace(at, s.size(), s); }
};

inline ExpenseMove fromBytes(const std::string& bytes, size_t index) {
  ExpenseMove m;
  std::memcpy(&m, bytes.data() + 544 * index, sizeof m);
  return m;
}

}  // namespace kestrune::test
