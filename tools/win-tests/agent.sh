# The whole Kestrune.exe under Wine, sourced by tools/test-windows (which
# provides build, bin, work, artifacts, address, python, top, run_group,
# winpath, db_dirs and pids).
#
# Data: one demo restaurant (tools/pos-demo-data.py) loaded into two private
# MariaDB servers, one for the Windows agent and one for the Linux agent, so
# that the export of each starts from the same rows. "Now" is pinned for both
# agents with libfaketime to the moment the data was made for: the reports'
# period and time stamp are then the same, and the files can be compared byte
# for byte. (Wine reads the system time through the C library, as Linux
# programs do; the monotonic clock, which Sleep and the time-outs use, runs on.)
#
# Groups:
#   agent          registry "ipno"/"ftphost" → the start-up report on the FTP
#                  server, byte-identical to the Linux agent's; tray icon; a
#                  second copy exits 1; the closed day's final report, as
#                  the Linux agent's "run closed" made it; WM_USER + 136 → gider.dat, images and
#                  marks as the Linux export made them; WM_USER + 144 counted;
#                  the tray menu's "Reporting Now" → a daily report at once
#                  (a second click meanwhile dropped); the restored status
#                  panel's screenshot; WM_CLOSE → exit 0, tray icon gone
#   agent-db-down  nothing listens at "ipno" at the start: one message box per
#                  caption, none pressed, and the agent goes on; the database
#                  comes back and the next scheduled daily report (the
#                  scheduler run fast) arrives, byte-identical to the Linux
#                  agent's; WM_CLOSE ends it with the boxes still up
#   installer      Kestrune-setup.exe /S: refused settings, the installed
#                  agent started as at log-on, a silent update while the agent
#                  is held in a report run, the uninstaller

agent_moment="$(date +%F) 13:47:12"
agent_db_windows=$net.0.240
agent_db_linux=$net.0.241
agent_db_down=$net.0.249     # loaded, then stopped until agent-db-down brings it back
declare -A agent_port=([agent]=2131 [linux]=2132 [installer]=2133 [db-down]=2134)
agent_key='HKCU\SOFTWARE\Ostrelian\Melrova\Server'
agent_run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

# A program with the clock stopped at $agent_moment.
pinned() {
  local lib
  lib=$(ls /usr/lib/*/faketime/libfaketimeMT.so.1 2>/dev/null | head -1)
  FAKETIME="$agent_moment" FAKETIME_DONT_FAKE_MONOTONIC=1 LD_PRELOAD=$lib "$@"
}

# The step programs print with "\r\n" under Wine. Their output goes through a
# file, not a pipe: when a step is the first program to need the desktop, the
# explorer.exe that Wine starts for it inherits its output and keeps it open
# for as long as the prefix lives.
driver() {
  local rc=0 file=$work/agent-driver.out
  wine "$bin/agent_driver.exe" "$@" >"$file" 2>&1 || rc=$?
  tr -d '\r' <"$file"
  return $rc
}

agent_failures=0
check() { # what command...: one line per check; the command's status
  if "${@:2}"; then
    echo "ok   $1"
  else
    echo "FAIL $1"
    agent_failures=$((agent_failures + 1))
    return 1
  fi
}
has_line() { grep -qxF -- "$2" <<<"$1"; }
no_agent_window() { ! driver status >/dev/null 2>&1; }
same_files() { cmp -s "$1" "$2"; }
same_but_dots() { [ -f "$1" ] && cmp -s <(tr -d . <"$1") <(tr -d . <"$2"); }

agent_sql() { # server-dir statement; UTF-8 whatever the locale
  mariadb --no-defaults --default-character-set=utf8mb4 -S "$1/sock" -uroot --batch --skip-column-names -e "$2"
}

# ---- made once: servers, data and what the Linux agent writes ---------------
agent_setup() {
  local data=$work/agent-data started=$SECONDS
  mkdir -p "$data"
  "$python" "$top/tools/pos-demo-data.py" --now "$agent_moment" --images "$data/images" >"$data/pos.sql"
  local side pids_load=()
  for side in windows linux down; do
    local dir=$work/db-$side server=agent_db_$side
    db_dirs+=("$dir")
    "$top/tools/mariadb-server" start "$dir" "${!server}" >/dev/null
    mariadb --no-defaults -S "$dir/sock" -uroot <"$data/pos.sql" &
    pids_load+=($!)
  done
  local pid
  for pid in "${pids_load[@]}"; do wait "$pid"; done
  "$top/tools/mariadb-server" stop "$work/db-down"
  IFS=$'\t' read -r agent_folder agent_hash \
    < <(agent_sql "$work/db-windows" "SELECT compfolder, raporlamahash FROM company.maininfo LIMIT 1")

  local name
  for name in agent linux installer db-down; do
    mkdir -p "$work/ftp-$name"
    "$python" "$top/tools/ftp-server.py" --root "$work/ftp-$name" --address "$address" \
      --port "${agent_port[$name]}" --folder "$agent_folder" >"$work/ftp-$name.out" 2>&1 &
    pids+=($!)
  done
  for name in agent linux installer db-down; do
    for _ in $(seq 100); do grep -q ready "$work/ftp-$name.out" 2>/dev/null && break; sleep 0.1; done
    grep -q ready "$work/ftp-$name.out" || { cat "$work/ftp-$name.out" >&2; return 1; }
  done

  # The Linux agent, one job at a time, same data, same moment, same locale.
  local linux=$work/linux-agent
  mkdir -p "$linux/config/Ostrelian" "$linux/home" "$linux/run" "$linux/Melrova/giderler"
  chmod 700 "$linux/run"
  cp "$data/images/"* "$linux/Melrova/giderler/"
  printf '[Server]\nipno=%s\nftphost=%s:%s\nroot=%s\n' "$agent_db_linux" "$address" \
    "${agent_port[linux]}" "$linux/Melrova" >"$linux/config/Ostrelian/Melrova.ini"
  local job
  for job in daily closed export; do
    if ! pinned env -u XDG_DESKTOP_DIR HOME="$linux/home" XDG_CONFIG_HOME="$linux/config" \
           XDG_RUNTIME_DIR="$linux/run" LANG=tr_TR.UTF-8 LC_ALL=tr_TR.UTF-8 \
           "$build/linux/kestrune" run "$job" >>"$artifacts/agent-setup.log" 2>&1; then
      echo "tools/test-windows: the Linux agent's $job run failed (see agent-setup.log)" >&2
      return 1
    fi
  done
  agent_remote_linux=$work/ftp-linux/httpdocs/customer_yedek/$agent_folder
  agent_sql "$work/db-linux" "SELECT Id, islendi FROM expenses.moves ORDER BY Id" >"$data/marks-linux"
  echo "tools/test-windows: agent data, servers and the Linux agent's files in $((SECONDS - started)) s" \
       "(now pinned at $agent_moment)"
}

agent_group() {
  agent_failures=0
  local remote=$work/ftp-agent/httpdocs/customer_yedek/$agent_folder
  wine reg add "$agent_key" /v ipno /t REG_SZ /d "$agent_db_windows" /f
  wine reg add "$agent_key" /v ftphost /t REG_SZ /d "$address:${agent_port[agent]}" /f
  # The agent's root folder is C:\Melrova; the receipts' images lie in giderler.
  mkdir -p "$WINEPREFIX/drive_c/Melrova/giderler"
  cp "$work/agent-data/images/"* "$WINEPREFIX/drive_c/Melrova/giderler/"
  wineserver -p  # not under the pinned clock
  pinned wine "$build/Kestrune.exe" &
  local agent=$!

  check "the agent's window appears (hidden)" driver wait-window 120 || { kill "$agent"; return 1; }
  # The start-up report is made before the window.
  local report=${agent_hash}_gunluk.html
  check "daily report on the FTP server, byte-identical to the Linux agent's" \
    same_files "$remote/$report" "$agent_remote_linux/$report"
  # The day before closed at 06:00: its final report follows the first daily one.
  local closed_day
  closed_day=${agent_hash}_gunluk_$(date -d "${agent_moment% *} -1 day" +%Y%m%d).html
  check "the closed day's report ($closed_day), byte-identical to the Linux agent's" \
    same_files "$remote/$closed_day" "$agent_remote_linux/$closed_day"
  # The owner's pages beside them format their own numbers: byte-identical,
  # also the closed month's (no system grouping).
  local owner_page
  for owner_page in "${agent_hash}_gunluk_ozet.html" "${closed_day/_gunluk_/_gunluk_ozet_}"; do
    check "the owner's page $owner_page, byte-identical to the Linux agent's" \
      same_files "$remote/$owner_page" "$agent_remote_linux/$owner_page"
  done
  check "tray icon shown" driver tray
  local second
  second=$(wine "$build/Kestrune.exe" >/dev/null 2>&1; echo $?)
  check "a second Kestrune.exe exits 1" test "$second" = 1

  check "WM_USER + 136 answered when the export is done" driver export
  check "gider.dat byte-identical to the Linux export's" \
    same_files "$remote/gider.dat" "$agent_remote_linux/gider.dat"
  # The closed month passes a million: Wine 8 groups only the last three
  # digits (1240.460,00, where Windows and Linux write 1.240.460,00; see
  # tests/platform/win32/text_test.cc), so it is compared without the dots.
  local closed_month
  closed_month=${agent_hash}_aylik_$(date -d "${agent_moment:0:8}01 -1 month" +%Y%m).html
  check "the same files on both FTP servers (reports, gider.dat, images)" \
    diff -r -x "$closed_month" "$remote" "$agent_remote_linux"
  check "the closed month's report ($closed_month) the same but for Wine's grouping" \
    same_but_dots "$remote/$closed_month" "$agent_remote_linux/$closed_month"
  owner_page=${closed_month/_aylik_/_aylik_ozet_}
  check "the closed month's owner's page ($owner_page), byte-identical to the Linux agent's" \
    same_files "$remote/$owner_page" "$agent_remote_linux/$owner_page"
  echo "     $(find "$remote" -type f | wc -l) files, gider.dat $(stat -c %s "$remote/gider.dat") bytes," \
       "$(find "$remote" -type f -name '*.png' | wc -l) images"
  agent_sql "$work/db-windows" "SELECT Id, islendi FROM expenses.moves ORDER BY Id" \
    >"$work/agent-data/marks-windows"
  check "the same movements marked processed as by the Linux export" \
    same_files "$work/agent-data/marks-windows" "$work/agent-data/marks-linux"
  check "some movements marked" grep -q $'\t1$' "$work/agent-data/marks-windows"

  check "WM_USER + 144 answered" driver count
  local status
  status=$(driver status)
  printf '%s\n' "$status" | sed 's/^/     /'
  check "status: company"           has_line "$status" "Firma: Demo Lokanta Çınaraltı"
  check "status: company folder"    has_line "$status" "company_folder: $agent_folder"
  check "status: one daily report"  has_line "$status" "Success_Daily Report: 1"
  check "status: the export counted" has_line "$status" "Export requests: 1, completed: 1"
  check "status: WM_USER + 144 counted" has_line "$status" "Counter requests: 1"

  # The next scheduled report is ten minutes away: a report now comes from the menu.
  rm -f "$remote/$report"
  check "Reporting Now: a daily report at once, the second click dropped" driver report-now
  check "its report on the FTP server, byte-identical to the Linux agent's" \
    same_files "$remote/$report" "$agent_remote_linux/$report"

  check "RESTORE shows the status panel" driver restore
  import -window root "$artifacts/agent-status-panel.png"
  echo "     screenshot: $artifacts/agent-status-panel.png"
  check "WM_CLOSE destroys the window and removes the tray icon" driver close
  local code=0
  wait "$agent" || code=$?
  check "the agent exits with 0 (exit $code)" test "$code" = 0
  return $((agent_failures > 0))
}

# The captions of the message boxes on the screen, one line.
box_captions() { driver boxes | sed -n 's/^caption: //p' | tr '\n' ' '; }

agent_db_down_group() {
  agent_failures=0
  local remote=$work/ftp-db-down/httpdocs/customer_yedek/$agent_folder
  local report=${agent_hash}_gunluk.html
  local all_four="READ_COMPANY READ_GUNLUK_SATIS_OZET READ_STOK_TANIMLARI_BY_NAME READ_URUN_SATISLARI_UNION "
  wine reg add "$agent_key" /v ipno /t REG_SZ /d "$agent_db_down" /f
  wine reg add "$agent_key" /v ftphost /t REG_SZ /d "$address:${agent_port[db-down]}" /f
  wineserver -p
  # Ticks of 5 ms: a daily run every 3 s or so instead of every 10 minutes.
  KESTRUNE_TICK_MS=5 pinned wine "$build/Kestrune.exe" &
  local agent=$!
  # Nobody presses OK on any box from here on.
  check "the window appears with the start-up's boxes up" driver wait-window 120 \
    || { kill "$agent"; return 1; }
  for _ in $(seq 100); do [[ $(box_captions) == "$all_four" ]] && break; sleep 0.2; done
  local boxes
  boxes=$(driver boxes)
  printf '%s\n' "$boxes" | sed 's/^/     /'
  # Start-up alone reports eight errors: the company, the stock lists twice,
  # then the first daily report's run the company and stock lists again and
  # its two queries.
  check "one box per caption, none stacked" test "$(box_captions)" = "$all_four"
  check "READ_COMPANY's text: the connector's" \
    grep -qF "text: Can't connect to server on '$agent_db_down'" <<<"$boxes"
  local status
  status=$(driver status)
  check "status answered while the boxes are up" has_line "$status" "Success_Daily Report: 0"
  check "status: no company" has_line "$status" "Firma: "
  sleep 8  # two scheduled runs or more, the database still away
  check "later runs' errors add no box" test "$(box_captions)" = "$all_four"
  # Without the company record a report has no folder of its own: nothing may
  # land in the folder all restaurants share.
  check "nothing on the FTP server while the database is away" \
    test -z "$(find "$work/ftp-db-down" -type f)"

  "$top/tools/mariadb-server" resume "$work/db-down" "$agent_db_down" >/dev/null
  local back=$SECONDS
  for _ in $(seq 60); do
    status=$(driver status)
    has_line "$status" "Success_Daily Report: 0" || break
    sleep 1
  done
  check "the database back, a scheduled daily report uploaded ($((SECONDS - back)) s)" \
    test -f "$remote/$report"
  printf '%s\n' "$status" | sed 's/^/     /'
  check "status: the company read again" has_line "$status" "Firma: Demo Lokanta Çınaraltı"
  check "the boxes still up: nobody pressed OK" test "$(box_captions)" = "$all_four"
  check "WM_CLOSE ends it with its boxes up" driver close
  local code=0
  wait "$agent" || code=$?
  check "the agent exits with 0 (exit $code)" test "$code" = 0
  check "no box left" test -z "$(box_captions)"
  # Compared once the agent is gone: every run uploads the report again.
  check "the report byte-identical to the Linux agent's" \
    same_files "$remote/$report" "$agent_remote_linux/$report"
  return $((agent_failures > 0))
}

# The installed agent's path as the Run key names it, for Linux.
installed_agent() {
  local value
  value=$(wine reg query "$agent_run_key" /v Kestrune 2>/dev/null | tr -d '\r' \
          | sed -n 's/^ *Kestrune *REG_SZ *//p')
  value=${value#\"}
  echo "${value%\"}"
}

installer_group() {
  agent_failures=0
  local setup=$build/Kestrune-setup.exe code
  local forty=abcdefghijabcdefghijabcdefghijabcdefghij
  code=$(wine "$setup" /S >>"$artifacts/installer-runs.log" 2>&1; echo $?)
  check "silent install without /IPNO refused (exit $code)" test "$code" = 2
  code=$(wine "$setup" /S "/IPNO=$forty" >>"$artifacts/installer-runs.log" 2>&1; echo $?)
  check "silent install with a 40-character /IPNO refused (exit $code)" test "$code" = 2
  check "nothing installed after refusals" test -z "$(installed_agent)"

  code=$(wine "$setup" /S "/IPNO=$agent_db_windows" "/FTPHOST=$address:${agent_port[installer]}" \
           >>"$artifacts/installer-runs.log" 2>&1; echo $?)
  check "silent install (exit $code)" test "$code" = 0
  local settings
  settings=$(wine reg query "$agent_key" | tr -d '\r')
  check "ipno written"    grep -qE "^ +ipno +REG_SZ +$agent_db_windows\$" <<<"$settings"
  check "ftphost written" grep -qE "^ +ftphost +REG_SZ +$address:${agent_port[installer]}\$" <<<"$settings"
  local exe unix_exe
  exe=$(installed_agent)
  echo "     Run key: $exe"
  check "started at log-on: Run key names Kestrune.exe" test -n "$exe"
  unix_exe=$(winepath -u "$exe" 2>/dev/null | tr -d '\r')
  check "Kestrune.exe installed there" test -f "$unix_exe"

  # The log-on: the Run key's command (ticks of 20 ms: a daily run every 12 s
  # or so, for the update below).
  wineserver -p
  KESTRUNE_TICK_MS=20 pinned wine "$exe" &
  local agent=$!
  check "the installed agent's window appears" driver wait-window 120 || { kill "$agent"; return 1; }
  local report=${agent_hash}_gunluk.html
  local remote=$work/ftp-installer/httpdocs/customer_yedek/$agent_folder
  check "its daily report arrived, byte-identical to the Linux agent's" \
    same_files "$remote/$report" "$agent_remote_linux/$report"
  check "status: one daily report" has_line "$(driver status)" "Success_Daily Report: 1"

  # An update while it runs, held in a report run by a table another session
  # locked: its window goes at once, its process only a few seconds later.
  # The update waits for the process, replaces the file and starts it again.
  mariadb --no-defaults -S "$work/db-windows/sock" -uroot \
    -e "LOCK TABLES satislar.shopcharts WRITE; DO SLEEP(600)" &
  local lock=$!
  local held=0
  for _ in $(seq 300); do
    held=$(agent_sql "$work/db-windows" "SELECT COUNT(*) FROM information_schema.PROCESSLIST
             WHERE ID <> CONNECTION_ID() AND INFO LIKE '%shopcharts%'")
    [[ $held != 0 ]] && break
    sleep 0.1
  done
  check "the agent held in a report run" test "$held" != 0
  local update_started=$SECONDS
  code=$(pinned wine "$setup" /S >>"$artifacts/installer-runs.log" 2>&1; echo $?)
  check "silent update over the running agent (exit $code, $((SECONDS - update_started)) s)" test "$code" = 0
  kill "$lock"; wait "$lock" 2>/dev/null || true
  code=0; wait "$agent" || code=$?
  check "the old agent was closed with exit 0 (exit $code)" test "$code" = 0
  check "the file was replaced, not renamed aside" test ! -e "$unix_exe.old"
  check "the updated agent runs again" driver wait-window 120
  check "the update kept the settings" test "$(wine reg query "$agent_key" | tr -d '\r')" = "$settings"

  local folder uninstaller
  folder=${exe%\\*}
  uninstaller="$folder\\Uninstall.exe"
  # _?= runs it in place (and waits), instead of from a copy in the temp folder.
  code=$(wine "$uninstaller" /S "_?=$folder" >>"$artifacts/installer-runs.log" 2>&1; echo $?)
  check "silent uninstall (exit $code)" test "$code" = 0
  check "the uninstaller closed the agent" no_agent_window
  check "Run key value removed" test -z "$(installed_agent)"
  check "Kestrune.exe removed" test ! -e "$unix_exe"
  return $((agent_failures > 0))
}
