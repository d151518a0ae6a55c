#include "transfer/file_names.h"

#include <cctype>

namespace kestrune {

namespace {

// Device names that Windows finds in every folder, whatever the extension.
bool isDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

}  // namespace

bool isPlainRemoteName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

bool isPlainFileName(const std::string& name) {
  return isPlainRemoteName(name) && name.find(':') == std::string::npos && !isDeviceName(name);
}

std::string printableName(const std::string& name) {
  std::string out;
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    out += c < 0x20 || c == 0x7F ? '?' : ch;
  }
  return out;
}

}  // namespace kestrune
