#include "app/usage.h"

namespace kestrune {

namespace {

const char kUsage[] =
    "usage:\n"
    "  kestrune                       run the agent (reports every 10 minutes, serves requests)\n"
    "  kestrune status                show the running agent's status panel\n"
    "  kestrune report                ask the agent for a daily report now; returns when it ran:\n"
    "                                 0 uploaded, 1 not uploaded (why on stderr), 3 no agent "
    "answers\n"
    "  kestrune send 0x488            ask the agent for an expense export; returns when done:\n"
    "                                 0 gider.dat uploaded, 1 not uploaded (why on stderr)\n"
    "  kestrune send 0x490            send the counter request\n"
    "  kestrune run daily|monthly|export|closed\n"
    "                                 do one job without an agent and exit (closed: the final\n"
    "                                 reports of the closed days and months not yet delivered):\n"
    "                                 0 uploaded, 1 not uploaded, 3 an agent is running\n"
    "  kestrune setup --ipno ADDRESS [--ftphost HOST[:PORT]] [--root DIR] | --show\n"
    "                                 write the settings below (other lines kept) or show them\n"
    "  kestrune --help | --version\n"
    "Settings: ${XDG_CONFIG_HOME:-$HOME/.config}/Ostrelian/Melrova.ini, section [Server]:\n"
    "  ipno=<database server>  ftphost=<host[:port]>  root=<local folder, default $HOME/Melrova>\n"
    "  ftpuser=, ftppassword=<FTP account>  ftptls=try|require|off  closedreports=0\n";

}  // namespace

const char* usageText() { return kUsage; }

}  // namespace kestrune
