#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <string>
#include <vector>

#include "platform/process.h"

namespace kestrune {

const char* agentExecutableName() { return "Kestrune.exe"; }

namespace {

// Ids of all processes; false when the list cannot be read. The list grows
// until it holds every id (1024 are usually plenty).
bool processIds(std::vector<DWORD>& ids) {
  ids.assign(1024, 0);
  for (;;) {
    DWORD bytes = 0;
    DWORD room = static_cast<DWORD>(ids.size() * sizeof(DWORD));
    if (!EnumProcesses(ids.data(), room, &bytes)) return false;
    if (bytes < room) {
      ids.resize(bytes / sizeof(DWORD));
      return true;
    }
    ids.assign(ids.size() * 2, 0);
  }
}

// Base name of the process's first module, "<unknown>" when it cannot be read.
std::wstring moduleBaseName(DWORD id) {
  std::wstring name = L"<unknown>";
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
  if (!process) return name;
  HMODULE module;
  DWORD needed;
  if (EnumProcessModules(process, &module, sizeof module, &needed)) {
    wchar_t base[MAX_PATH] = {};
    if (GetModuleBaseNameW(process, module, base, MAX_PATH) > 0) name = base;
  }
  CloseHandle(process);
  return name;
}

}  // namespace

int countProcessesNamed(const char* name) {
  wchar_t wanted[MAX_PATH] = {};
  if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wanted, MAX_PATH)) return -1;
  std::vector<DWORD> ids;
  if (!processIds(ids)) return -1;
  int count = 0;
  for (DWORD id : ids) {
    if (id == 0) continue;
    if (moduleBaseName(id) == wanted) ++count;  // exact, case-sensitive
  }
  return count;
}

int takeAgentLock(std::string* why) {
  // "Local\\": one per logon session. The handle stays open until the end;
  // taken once per process.
  static bool taken = false;
  if (taken) return 1;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\Kestrune-agent");
  DWORD code = GetLastError();
  if (mutex && code == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    *why = "another agent of this user runs in this session";
    return 0;
  }
  if (mutex) {
    taken = true;
    return 1;
  }
  *why = "cannot make the agent's mutex: error " + std::to_string(code);
  return -1;
}

}  // namespace kestrune
