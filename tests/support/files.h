// Files for the test programs and the benchmark. Like process.h, nothing
// here starts a server or touches a test's folder.
#pragma once

#include <string>
#include <vector>

namespace kestrune::test {

// The whole file; empty when it cannot be read.
std::string readFile(const std::string& path);
// Replaces the file's bytes; whether all of them were written.
bool writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> filesIn(const std::string& folder);
// mkdir -p; throws std::runtime_error when it fails.
void createFolderTree(const std::string& path);
// The file's last `lines` lines; empty when it cannot be read.
std::string fileTail(const std::string& path, int lines);
// `size` bytes that an ASCII-mode transfer or a text-mode file would change.
std::string awkwardBytes(size_t size);

}  // namespace kestrune::test
