// kestrune — the reporting agent and its small command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/agent.h"
#include "app/app_state.h"
#include "app/one_shot.h"
#include "app/setup.h"
#include "app/usage.h"
#include "platform/control.h"

namespace {

kestrune::AppState& app() {
  static kestrune::AppState state;
  return state;
}

int ask(const std::string& request) {
  std::string answer;
  int code = kestrune::sendToAgent(request, &answer);
  std::fputs(answer.c_str(), code == 0 ? stdout : stderr);
  if (!answer.empty() && answer.back() != '\n') std::fputc('\n', code == 0 ? stdout : stderr);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return kestrune::runAgent(app());
  std::string verb = argv[1];
  if (verb == "--help" || verb == "-h" || verb == "help") {
    std::fputs(kestrune::usageText(), stdout);
    return 0;
  }
  if (verb == "--version") {
    std::puts("kestrune " KESTRUNE_VERSION);
    return 0;
  }
  if (verb == "setup") return kestrune::runSetupCommand(argc - 2, argv + 2);
  if (verb == "status" && argc == 2) return ask("status");
  if (verb == "report" && argc == 2) {
    int code = ask("report");
    return code == 2 ? 3 : code;  // 2: no agent answers
  }
  if (verb == "send" && argc == 3) {
    std::string message = argv[2];
    if (message != "0x488" && message != "0x490") {
      std::fprintf(stderr, "kestrune: unknown message %s (0x488 or 0x490)\n", argv[2]);
      return 2;
    }
    return ask(message);
  }
  if (verb == "run" && argc == 3) {
    int code = kestrune::runOneShot(app(), argv[2]);
    if (code == 2)
      std::fprintf(stderr, "kestrune: unknown job %s (daily, monthly, export or closed)\n",
                   argv[2]);
    return code;
  }
  std::fputs(kestrune::usageText(), stderr);
  return 2;
}
