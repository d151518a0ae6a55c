#include "tests/support/files.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/process.h"

namespace kestrune::test {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  return !out.fail();
}

bool fileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void createFolderTree(const std::string& path) { shell("mkdir -p " + quote(path)); }

std::string fileTail(const std::string& path, int lines) {
  std::string text = readFile(path);
  // Where each line starts; a break at the very end starts none.
  std::vector<size_t> starts = {0};
  for (size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '\n') starts.push_back(i + 1);
  if (lines <= 0) return std::string();
  size_t keep = static_cast<size_t>(lines);
  return keep >= starts.size() ? text : text.substr(starts[starts.size() - keep]);
}

std::string awkwardBytes(size_t size) {
  std::string bytes = std::string("line one\r\nline two\n\r\0\0end\x1a\xff\xfe", 27);
  for (size_t i = 0; bytes.size() < size; ++i) bytes += static_cast<char>((i * 131 + 7) & 0xFF);
  return bytes;
}

}  // namespace kestrune::test
