// The manual page names every command, option and setting the program knows:
// the verbs and options of the usage text, the settings of kSettingNames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/usage.h"
#include "platform/settings.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

// The page's text with the roff escapes that split words (\- and font
// changes) taken out.
std::string manualText() {
  std::ifstream in(test::sourceDir() + "/doc/kestrune.1.in");
  std::stringstream raw;
  raw << in.rdbuf();
  std::string text = raw.str(), plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '-') {
      plain += '-';
      ++i;
    } else if (text[i] == '\\' && i + 2 < text.size() && text[i + 1] == 'f') {
      i += 2;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

// The part of the page from ".SH title" to the next section.
std::string section(const std::string& page, const std::string& title) {
  size_t start = page.find(".SH " + title + "\n");
  if (start == std::string::npos) return std::string();
  size_t end = page.find("\n.SH ", start + 1);
  return page.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool wordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; }

bool hasWord(const std::string& text, const std::string& word) {
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    bool before = at == 0 || !wordChar(text[at - 1]);
    size_t after = at + word.size();
    if (before && (after == text.size() || !wordChar(text[after]))) return true;
  }
  return false;
}

// The verbs and options of every "  kestrune ..." line of the usage text
// (up to its description): lower-case words, not the upper-case
// placeholders.
std::vector<std::string> usageWords() {
  std::vector<std::string> words;
  std::istringstream usage(usageText());
  std::string line;
  while (std::getline(usage, line)) {
    if (line.rfind("  kestrune", 0) != 0) continue;
    std::string command = line.substr(2, line.find("   ", 2) - 2);
    std::string word;
    for (char c : command + " ") {
      if (c == ' ' || c == '|' || c == '[' || c == ']') {
        bool plain = !word.empty() && word != "kestrune";
        for (char w : word)
          plain = plain && (std::islower(static_cast<unsigned char>(w)) ||
                            std::isdigit(static_cast<unsigned char>(w)) || w == '-');
        if (plain) words.push_back(word);
        word.clear();
      } else {
        word += c;
      }
    }
  }
  return words;
}

TEST(Manual, NamesEveryCommandOptionAndSetting) {
  const std::string page = manualText();
  const std::string synopsis = section(page, "SYNOPSIS");
  const std::string commands = section(page, "COMMANDS");
  const std::string settings = section(page, "SETTINGS");
  ASSERT_FALSE(synopsis.empty());
  ASSERT_FALSE(commands.empty());
  ASSERT_FALSE(settings.empty());

  std::vector<std::string> words = usageWords();
  for (const char* expected : {"status", "report", "send", "0x488", "run", "closed", "--ipno"})
    EXPECT_NE(std::find(words.begin(), words.end(), expected), words.end())
        << "not read from the usage text: " << expected;
  for (const std::string& word : words) {
    EXPECT_TRUE(hasWord(synopsis, word)) << word << " is not in the SYNOPSIS";
    EXPECT_TRUE(hasWord(commands, word)) << word << " is not under COMMANDS";
  }
  for (const char* name : kSettingNames)
    EXPECT_NE(settings.find(std::string(name) + "="), std::string::npos)
        << "setting " << name << " is not under SETTINGS";
}

}  // namespace
}  // namespace kestrune
