// The owner's pages of the demo restaurant in a real browser: headless
// Chromium takes screenshots of the daily and the monthly page at a phone's
// and a desktop's size (kept in the build folder, owner-page-screens/) and
// measures the page's width at 360 px: no horizontal scroll.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/agent.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

std::string shell(const std::string& command, int* status) {
  std::string out;
  std::FILE* p = ::popen(("{ " + command + "; } 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  *status = ::pclose(p);
  return out;
}

// Chromium on its own: no sandbox (root), no network of its own, a fresh profile.
std::string chromium(const std::string& profile, const std::string& size) {
  return "timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic "
         "--no-first-run --disable-background-networking --disable-component-update "
         "--disable-sync --hide-scrollbars --user-data-dir='" +
         profile + "' --window-size=" + size + " ";
}

TEST(OwnerPageScreens, DemoPagesAreDrawnAndFitAPhone) {
  test::MariaDb& db = test::database();
  db.resetData();
  test::FtpServer& ftp = test::ftpServer(2121, "normal");
  std::string root = test::freshFolder("root");
  ::setenv("XDG_RUNTIME_DIR", test::freshFolder("run").c_str(), 1);
  test::writeSettings(
      {{"ipno", test::testAddress()}, {"ftphost", ftp.settingValue()}, {"root", root}});
  int status = -1;
  std::string out =
      shell("/usr/bin/python3 '" + test::sourceDir() +
                "/tools/pos-demo-data.py' --days 35 --hash h1 | mariadb --no-defaults -S '" +
                db.dir + "/sock' -uroot",
            &status);
  ASSERT_EQ(0, status) << out;
  ASSERT_EQ(0, test::runCli({"run", "daily"}));
  ASSERT_EQ(0, test::runCli({"run", "monthly"}));

  std::string shots = std::string(std::getenv("KESTRUNE_BINARY_DIR")) + "/owner-page-screens";
  ASSERT_EQ(0, (shell("rm -rf '" + shots + "' && mkdir -p '" + shots + "'", &status), status));
  for (const char* kind : {"gunluk", "aylik"}) {
    std::string page = root + "/satislar/" + kind + "_ozet.html";
    ASSERT_GT(test::readFile(page).size(), 1000u) << page;
    for (const char* size : {"360,800", "1280,900"}) {
      std::string png = shots + "/" + kind + "_" + size + ".png";
      std::string profile = test::freshFolder(std::string("chromium-") + kind);
      out = shell(chromium(profile, size) + "--screenshot='" + png + "' 'file://" + page + "'",
                  &status);
      EXPECT_EQ(0, status) << out;
      // a blank or one-colour picture compresses to a few kilobytes
      EXPECT_GT(test::readFile(png).size(), 15000u) << png;
    }
    // The headless window is never narrower than 500 px: the page goes into
    // a frame 360 px wide of a test-only page that writes the frame's width
    // into its DOM.
    std::string html = test::readFile(page), quoted;
    for (char c : html) quoted += c == '&' ? "&amp;" : c == '"' ? "&quot;" : std::string(1, c);
    std::string probe = shots + "/" + kind + "_width.html";
    test::writeFile(probe,
                    "<!DOCTYPE html><html><body style=\"margin:0\"><iframe id=\"f\" "
                    "style=\"border:0\" width=\"360\" height=\"800\" srcdoc=\"" +
                        quoted +
                        "\"></iframe><script>onload=function(){document.body.setAttribute("
                        "'data-width',document.getElementById('f').contentDocument."
                        "documentElement.scrollWidth)}</script></body></html>");
    out = shell(chromium(test::freshFolder("chromium-dom"), "360,800") + "--dump-dom 'file://" +
                    probe + "'",
                &status);
    size_t at = out.find("data-width=\"");
    ASSERT_NE(std::string::npos, at) << out.substr(0, 2000);
    EXPECT_LE(std::stoi(out.substr(at + 12)), 360) << kind;
  }
}

}  // namespace
}  // namespace kestrune
