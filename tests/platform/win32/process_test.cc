// The process list: copies of a small program under the names
// "Kestrune.exe" and "kestrune.exe" (see instance_probe.cc).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/process.h"

namespace kestrune {
namespace {

std::string ownFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path);
  return text.substr(0, text.rfind('\\'));
}

// A copy of the probe as `folder`\`name`.
std::string probeCopy(const std::string& folder, const std::string& name) {
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string target = folder + "\\" + name;
  std::string source = ownFolder() + "\\instance_probe.exe";
  EXPECT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE)) << source << " " << GetLastError();
  return target;
}

HANDLE start(const std::string& exe, const std::string& arguments) {
  std::string command = "\"" + exe + "\" " + arguments;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  if (!CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

DWORD exitCodeOf(HANDLE process) {
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 60000));
  DWORD code = 999;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return code;
}

// A copy that keeps running until released.
struct HeldCopy {
  HANDLE process = nullptr;
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "KestruneProbeReady");
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "KestruneProbeRelease");

  explicit HeldCopy(const std::string& exe) {
    process = start(exe, "hold KestruneProbeReady KestruneProbeRelease");
    HANDLE both[2] = {ready, process};
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, both, FALSE, 60000)) << "never got ready";
  }
  DWORD finish() {
    SetEvent(release);
    DWORD code = exitCodeOf(process);
    CloseHandle(ready);
    CloseHandle(release);
    return code;
  }
};

TEST(Processes, OwnProcessIsFoundByItsExactName) {
  EXPECT_EQ(1, countProcessesNamed("win32_platform_test.exe"));
  EXPECT_EQ(0, countProcessesNamed("WIN32_PLATFORM_TEST.EXE"));
  EXPECT_EQ(0, countProcessesNamed("Kestrune.exe"));
  EXPECT_STREQ("Kestrune.exe", agentExecutableName());
}

TEST(Processes, SecondCopyNamedKestruneEndsWithOne) {
  std::string first = probeCopy("C:\\first", "Kestrune.exe");
  std::string second = probeCopy("C:\\second", "Kestrune.exe");
  EXPECT_EQ(0u, exitCodeOf(start(second, "")));  // alone, it may start

  HeldCopy running(first);
  EXPECT_EQ(1, countProcessesNamed("Kestrune.exe"));
  EXPECT_EQ(1u, exitCodeOf(start(second, "")));
  EXPECT_EQ(0u, running.finish());
  EXPECT_EQ(0, countProcessesNamed("Kestrune.exe"));
}

TEST(Processes, CopyNamedInOtherLetterCaseDoesNotCount) {
  std::string lower = probeCopy("C:\\lower", "kestrune.exe");
  std::string agent = probeCopy("C:\\agent", "Kestrune.exe");
  HeldCopy running(lower);
  EXPECT_EQ(1, countProcessesNamed("kestrune.exe"));
  EXPECT_EQ(0, countProcessesNamed("Kestrune.exe"));
  EXPECT_EQ(0u, exitCodeOf(start(agent, "")));
  EXPECT_EQ(0u, running.finish());
}

}  // namespace
}  // namespace kestrune
