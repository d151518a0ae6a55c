// The single-instance rule of the agent's start, in a program of its own so
// that the test can run copies of it under the names that matter:
//   instance_probe                      exit 1 when another process carries
//                                       this program's agent name, else 0
//   instance_probe hold READY RELEASE   the same check; then, as a running
//                                       copy, set event READY and wait for
//                                       event RELEASE (at most a minute)
#include <windows.h>

#include <cstring>

#include "platform/process.h"

int main(int argc, char** argv) {
  // As the agent does: the list unreadable, or a second match, ends the start.
  int running = kestrune::countProcessesNamed(kestrune::agentExecutableName());
  if (running < 0 || running >= 2) return 1;
  if (argc == 4 && std::strcmp(argv[1], "hold") == 0) {
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (!ready || !release) return 3;
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
  }
  return 0;
}
