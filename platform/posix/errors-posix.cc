#include <unistd.h>

#include <string>

namespace kestrune {

// One line "CAPTION: text" on standard error; never blocks.
void systemShowError(const std::string& caption, const std::string& text) {
  std::string line = caption + ": " + text;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  line += '\n';
  // one write per line, so that lines of two threads never mix
  ssize_t ignored = ::write(2, line.data(), line.size());
  (void)ignored;
}

}  // namespace kestrune
