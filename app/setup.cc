#include "app/setup.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <utility>

#include "db/connection.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "transfer/upload.h"

namespace kestrune {

namespace {

const char kSetupUsage[] =
    "usage: kestrune setup --ipno ADDRESS [--ftphost HOST[:PORT]] [--root DIR]\n"
    "       kestrune setup --show\n";

const char* const kCheckedNames[] = {kSettingIpno, kSettingFtpHost, kSettingRoot};

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string hostProblem(const std::string& host) {
  for (char c : host) {
    if (c == ' ' || c == '\t') return "holds a blank";
    if (c == '"' || c == '\'') return "holds a quote";
    if (c == ';') return "holds ';'";
  }
  return std::string();
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The line a setting comes from, or that it is the built-in one.
std::string origin(const SettingsFile& file, const char* name) {
  for (const SettingLine& setting : file.values)
    if (lowerCase(setting.name) == name)
      return " (" + std::string(name) + ", line " + std::to_string(setting.line) + ")";
  return " (no " + std::string(name) + ": built in)";
}

int showSettings(std::ostream& out) {
  SettingsFile file = readSettingsFile();
  out << "Settings file:   " << (file.path.empty() ? "none on this system" : file.path)
      << (file.found || file.path.empty() ? "" : " (missing)") << "\n";
  DatabaseConnection db;
  if (readServerAddress(db) == 0)
    out << "Database server: " << db.serverAddress << " port 3306, user " << kDatabaseUser
        << origin(file, "ipno") << "\n";
  else
    out << "Database server: none (no ipno that the agent can read)\n";
  FtpAccount ftp = uploadAccount();
  out << "FTP server:      " << ftp.host << " port " << ftp.port << ", user " << ftp.user
      << origin(file, "ftphost") << "\n";
  out << "Local folder:    " << agentRootFolder() << origin(file, "root") << "\n";
  std::vector<std::string> findings = settingsFindings(file);
  if (findings.empty()) {
    out << "No findings.\n";
    return 0;
  }
  out << "Findings:\n";
  for (const std::string& finding : findings) out << "  " << finding << "\n";
  return 1;
}

}  // namespace

std::string settingProblem(const std::string& name, const std::string& value) {
  for (unsigned char c : value)
    if (c < 0x20 || c == 0x7f) return "holds a control character";
  if (name == "ipno") {
    if (value.empty()) return "is empty";
    std::string problem = hostProblem(value);
    if (!problem.empty()) return problem;
    if (value.find(':') != std::string::npos)
      return "holds ':' (the database server is always asked on port 3306)";
    if (value.size() >= sizeof DatabaseConnection::serverAddress)
      return "is " + std::to_string(value.size()) + " characters long; the agent reads at most " +
             std::to_string(sizeof DatabaseConnection::serverAddress - 1);
  } else if (name == "ftphost") {
    if (value.empty()) return std::string();  // the built-in server
    size_t colon = value.find(':');
    std::string host = value.substr(0, colon);
    if (host.empty()) return "has no host name before ':'";
    std::string problem = hostProblem(host);
    if (!problem.empty()) return problem;
    if (colon == std::string::npos) return std::string();
    std::string port = value.substr(colon + 1);
    bool number = !port.empty() && port.size() <= 5;
    for (char c : port) number = number && c >= '0' && c <= '9';
    if (!number || std::atoi(port.c_str()) < 1 || std::atoi(port.c_str()) > 65535)
      return "has the port " + quoted(port) + ", not a number from 1 to 65535";
  } else if (name == "root") {
    if (!value.empty() && value.compare(0, std::strlen(kPathSeparator), kPathSeparator) != 0)
      return "is not an absolute path";
  }
  return std::string();
}

std::vector<std::string> settingsFindings(const SettingsFile& file) {
  std::vector<std::string> findings;
  if (file.path.empty()) return findings;
  const std::string noAddress =
      ": the agent has no database address (kestrune setup --ipno ADDRESS writes one)";
  if (!file.found) {
    findings.push_back("no settings file " + file.path + noAddress);
    return findings;
  }
  if (!file.sectionLine) {
    findings.push_back(file.path + " has no [Server] section" + noAddress);
    return findings;
  }
  std::vector<std::string> seen;
  for (const SettingLine& setting : file.values) {
    std::string name = lowerCase(setting.name);
    bool checked = false;
    for (const char* known : kCheckedNames) checked = checked || name == known;
    // The agent reads the first of several lines with one name.
    if (!checked || std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
    seen.push_back(name);
    std::string problem = settingProblem(name, setting.value);
    if (!problem.empty())
      findings.push_back(file.path + " line " + std::to_string(setting.line) + ": " + name + " " +
                         quoted(setting.value) + " " + problem);
  }
  if (std::find(seen.begin(), seen.end(), "ipno") == seen.end())
    findings.push_back(file.path + ": its [Server] section (line " +
                       std::to_string(file.sectionLine) + ") has no ipno" + noAddress);
  return findings;
}

void reportSettingsFindings() {
  for (const std::string& finding : settingsFindings(readSettingsFile()))
    showError("SETTINGS", finding);
}

int runSetup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && args[0] == "--show") return showSettings(out);
  std::vector<std::pair<std::string, std::string>> values;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string option = args[i], value;
    size_t eq = option.find('=');
    if (eq != std::string::npos) option.resize(eq);
    if (option != "--ipno" && option != "--ftphost" && option != "--root") {
      err << "kestrune setup: unknown option " << args[i] << "\n" << kSetupUsage;
      return 2;
    }
    if (eq != std::string::npos) {
      value = args[i].substr(eq + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      err << "kestrune setup: " << option << " needs a value\n" << kSetupUsage;
      return 2;
    }
    std::string name = option.substr(2);
    auto same = [&name](const auto& entry) { return entry.first == name; };
    values.erase(std::remove_if(values.begin(), values.end(), same), values.end());
    values.emplace_back(name, value);
  }
  if (std::none_of(values.begin(), values.end(),
                   [](const auto& entry) { return entry.first == "ipno"; })) {
    err << "kestrune setup: --ipno is needed: the address of the point-of-sale database server\n"
        << kSetupUsage;
    return 2;
  }
  bool refused = false;
  for (const auto& [name, value] : values) {
    std::string problem = settingProblem(name, value);
    if (problem.empty()) continue;
    err << "kestrune setup: --" << name << " " << quoted(value) << " " << problem << "\n";
    refused = true;
  }
  if (refused) {
    err << "Nothing was written.\n";
    return 2;
  }
  std::string path, error;
  if (!writeServerSettings(values, &path, &error)) {
    err << "kestrune setup: " << error << "\n";
    return 1;
  }
  out << "Wrote " << path << ", section [Server]:\n";
  for (const auto& [name, value] : values) out << "  " << name << "=" << value << "\n";
  for (const std::string& finding : settingsFindings(readSettingsFile()))
    out << "Still to put right: " << finding << "\n";
  out << "Next: systemctl --user enable --now kestrune\n"
         "(an agent that runs already reads the new settings once restarted:\n"
         " systemctl --user restart kestrune)\n";
  return 0;
}

int runSetupCommand(int argc, char** argv) {
  return runSetup(std::vector<std::string>(argv, argv + argc), std::cout, std::cerr);
}

}  // namespace kestrune
