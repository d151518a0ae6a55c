// Random groups, definitions, notes and movements through the expense join
// and gider.dat: every record 544 bytes, every text bounded by its field and
// a prefix of what the database held, never a UTF-8 character cut in two,
// the first match in database order.
//   expense_join_fuzz [libFuzzer options] [corpus folder]   (tools/fuzz)
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>
#include <vector>

#include "db/expenses.h"
#include "db/text.h"
#include "tests/fuzz/fuzz_support.h"
#include "transfer/expense_file.h"

using namespace kestrune;
using fuzz::require;

namespace {

// Texts with many multi-byte characters, some broken.
std::string text(FuzzedDataProvider& in, size_t maxPieces) {
  static const char* pieces[] = {"a",    "Z",    "ş",    "İ", "€", "😀",
                                 "\xC3", "\x80", "\xFF", " ", "<", "&"};
  std::string out;
  size_t n = in.ConsumeIntegralInRange<size_t>(0, maxPieces);
  for (size_t i = 0; i < n; ++i)
    out += pieces[in.ConsumeIntegralInRange<size_t>(0, sizeof pieces / sizeof pieces[0] - 1)];
  return out;
}

bool validUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// A name field: the whole text when it fits `room`, else the longest prefix
// that fits without cutting a character, at most 3 bytes shorter.
void checkField(const std::string& field, const std::string& source, size_t room) {
  require(field.size() <= room, "text within its field");
  require(source.compare(0, field.size(), field) == 0, "text is a prefix of the source");
  if (source.size() <= room) {
    require(field == source || (field.size() < source.size() && source[field.size()] == '\0'),
            "a text that fits is whole");
    return;
  }
  require(field.size() + 3 >= room, "cut no shorter than needed");
  if (validUtf8(source)) require(validUtf8(field), "no character cut in two");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  ExpenseStore store;
  store.expenseGroups.resize(in.ConsumeIntegralInRange<size_t>(0, 8));
  for (ExpenseGroup& g : store.expenseGroups) {
    g.bcode = in.ConsumeIntegralInRange<int32_t>(0, 4);
    g.name = text(in, 80);
  }
  store.expenseDefinitions.resize(in.ConsumeIntegralInRange<size_t>(0, 8));
  for (ExpenseDefinition& d : store.expenseDefinitions) {
    d.code = in.ConsumeIntegralInRange<int32_t>(-1, 4);
    d.bcode = in.ConsumeIntegralInRange<int32_t>(0, 4);
    d.name = text(in, 80);
  }
  store.expenseNotes.resize(in.ConsumeIntegralInRange<size_t>(0, 8));
  for (ExpenseNote& n : store.expenseNotes) {
    n.trid = in.ConsumeIntegralInRange<int64_t>(-1, 4);
    n.note = text(in, 300);
  }
  store.expenseMoves.resize(in.ConsumeIntegralInRange<size_t>(0, 12));
  for (ExpenseMove& m : store.expenseMoves) {
    m.Id = in.ConsumeIntegral<int32_t>();
    m.transid = in.ConsumeBool() ? in.ConsumeIntegral<int64_t>()
                                 : in.ConsumeIntegralInRange<int64_t>(-1, 4);
    m.giderkodu = in.ConsumeIntegralInRange<int32_t>(-1, 4);
    m.amount = in.ConsumeFloatingPoint<float>();
    m.islendi = in.ConsumeIntegral<int8_t>();
    copyTextFilling(m.imgfilename, text(in, 70));
  }
  const std::vector<ExpenseMove> before = store.expenseMoves;

  joinExpenseTexts(store);
  ExpenseFile written = writeExpenseFile(fuzz::scratch() + "/giderler", store.expenseMoves);
  require(written.result == 0, "gider.dat written");
  std::string file = fuzz::readWhole(written.localPath);
  require(file.size() == 544 * before.size(), "544 bytes a record");

  for (size_t i = 0; i < before.size(); ++i) {
    ExpenseMove r;
    std::memcpy(&r, file.data() + 544 * i, sizeof r);
    const ExpenseMove& m = before[i];
    require(r.Id == m.Id && r.transid == m.transid && r.giderkodu == m.giderkodu &&
                std::memcmp(&r.amount, &m.amount, sizeof r.amount) == 0 && r.islendi == m.islendi,
            "numbers unchanged");
    require(std::memcmp(r.imgfilename, m.imgfilename, sizeof r.imgfilename) == 0,
            "image name unchanged");
    for (char p : r.padding) require(p == 0, "padding zero");
    require(std::memchr(r.groupName, 0, sizeof r.groupName) != nullptr, "group name terminated");
    require(std::memchr(r.expenseName, 0, sizeof r.expenseName) != nullptr,
            "expense name terminated");

    // the first match in database order, by plain scans
    std::string group, name, note;
    for (const ExpenseDefinition& d : store.expenseDefinitions) {
      if (d.code != m.giderkodu) continue;
      name = d.name;
      for (const ExpenseGroup& g : store.expenseGroups)
        if (g.bcode == d.bcode) {
          group = g.name;
          break;
        }
      break;
    }
    for (const ExpenseNote& n : store.expenseNotes)
      if (n.trid == m.transid) {
        note = n.note;
        break;
      }
    checkField(fieldText(r.groupName), group, 63);
    checkField(fieldText(r.expenseName), name, 63);
    checkField(fieldText(r.note), note, 255);
  }
  return 0;
}
