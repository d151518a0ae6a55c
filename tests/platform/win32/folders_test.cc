// Folders and files under Wine: drive C, the prefix's own desktop.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/folders.h"
#include "platform/output_file.h"
#include "platform/text.h"

namespace kestrune {
namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

TEST(Folders, RootIsTheWindowsDriveAndMelrova) {
  char windows[512];
  ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
  EXPECT_EQ(std::string(1, windows[0]) + ":\\Melrova", agentRootFolder());
  EXPECT_STREQ("\\", kPathSeparator);
}

TEST(Folders, DesktopGetsItsGetirFolderOnceAndAgainWithoutComplaint) {
  std::u16string desktop = desktopFolder();
  ASSERT_FALSE(desktop.empty());
  std::string ansi = utf16ToAnsi(desktop);
  EXPECT_EQ("\\Desktop", ansi.substr(ansi.size() - 8));
  EXPECT_TRUE(pathExists(ansi));
  std::u16string getir = desktop + u"\\getir";
  EXPECT_FALSE(pathExists(utf16ToAnsi(getir)));
  EXPECT_TRUE(createFolder(getir));
  EXPECT_TRUE(pathExists(utf16ToAnsi(getir)));
  EXPECT_TRUE(createFolder(getir));  // the second start
}

TEST(Folders, CreatesOneLevelOnly) {
  std::string root = agentRootFolder();
  EXPECT_TRUE(createFolder(root));
  EXPECT_TRUE(createFolder(root + "\\giderler"));
  EXPECT_TRUE(createFolder(root + "\\giderler"));
  EXPECT_TRUE(pathExists(root + "\\giderler"));
  EXPECT_FALSE(createFolder(root + "\\missing\\deeper"));
  EXPECT_FALSE(pathExists(root + "\\missing"));
  // A file in the way is not a folder.
  writeAll(root + "\\satislar", "a file");
  EXPECT_FALSE(createFolder(root + "\\satislar"));
}

TEST(Folders, WideFolderNamesWithTurkishLetters) {
  std::u16string name =
      utf8ToUtf16(agentRootFolder()) + u"\\\u015Eube \u00C7\u0131kt\u0131lar\u0131";
  createFolder(utf8ToUtf16(agentRootFolder()));
  EXPECT_TRUE(createFolder(name));
  DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(name.c_str()));
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Folders, ReplaceFileInOneStepAndKeepTheTargetOnFailure) {
  std::string root = agentRootFolder();
  createFolder(root);
  std::string from = root + "\\new.html", to = root + "\\report.html";
  writeAll(to, "old report");
  writeAll(from, "new report");
  std::string error;
  ASSERT_TRUE(replaceFile(from, to, &error)) << error;
  EXPECT_EQ("new report", readAll(to));
  EXPECT_FALSE(pathExists(from));

  // Nothing to move: the old file stays and the error names it.
  EXPECT_FALSE(replaceFile(from, to, &error));
  EXPECT_NE(std::string::npos, error.find(to)) << error;
  EXPECT_EQ("new report", readAll(to));

  removeFile(to);
  EXPECT_FALSE(pathExists(to));
  removeFile(to);  // already gone: no complaint
}

TEST(Folders, OutputFileAppearsOnlyWhenCommitted) {
  std::string root = agentRootFolder();
  createFolder(root);
  std::string path = root + "\\gider.dat";
  writeAll(path, "previous");
  OutputFile out;
  ASSERT_TRUE(openOutputFile(out, path));
  std::string record(544, '\0');
  record[0] = '\x01';
  record[543] = '\x0A';  // binary: no line-end translation
  ASSERT_TRUE(writeOutput(out, record));
  EXPECT_EQ("previous", readAll(path));
  ASSERT_TRUE(commitOutputFile(out)) << out.error;
  EXPECT_EQ(record, readAll(path));
  EXPECT_FALSE(pathExists(out.tempPath));

  OutputFile dropped;
  ASSERT_TRUE(openOutputFile(dropped, path));
  writeOutput(dropped, "half");
  EXPECT_NE(out.tempPath, dropped.tempPath);
  discardOutputFile(dropped);
  EXPECT_EQ(record, readAll(path));
  EXPECT_FALSE(pathExists(dropped.tempPath));
}

}  // namespace
}  // namespace kestrune
