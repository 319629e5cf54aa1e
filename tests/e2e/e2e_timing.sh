#!/bin/bash
# End to end: the real program in a real X session times two seconds of work for the
# project made active from the icon's menu, and stores exactly one period for it; "View
# Projects" brings the window back, the icon opens no menu of the program's while the window
# is on screen, and "Quit" ends the program.
# Usage: e2e_timing.sh PROGRAM SCHEMA [xembed|sni]   (the notification area; xembed by default)
set -u
here=$(cd "$(dirname "$0")" && pwd)
program=$1
schema=$2
export XS_TRAY=${3:-xembed}
# shellcheck source=tests/e2e/xsession.sh
source "$here/xsession.sh"

work=$(mktemp -d)
keep_work=${E2E_KEEP:-0}
cleanup() {
    stop_session
    if [[ $keep_work == 1 ]]; then
        echo "e2e: evidence kept in $work" >&2
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

fail() {
    echo "e2e: FAILED: $*" >&2
    screenshot "$work/failure.png" || true
    [[ -f $work/app.log ]] && sed 's/^/e2e: app: /' "$work/app.log" >&2
    keep_work=1
    exit 1
}

# The program beside its database, as a user installs it.
cp "$program" "$work/tallyclock"
sqlite3 "$work/Tallyclock.mdb" < "$schema" || fail "cannot make the database"
sqlite3 "$work/Tallyclock.mdb" \
    "INSERT INTO tblProject(Name,Description) VALUES('Alpha','first'),('Beta','second');" \
    || fail "cannot add the projects"
beta=$(sqlite3 "$work/Tallyclock.mdb" "SELECT ProjectID FROM tblProject WHERE Name='Beta'")

start_session || fail "no X session"
LANG=en_US.UTF-8 launch "$work/app.log" "$work/tallyclock"
pid=$LAUNCHED_PID
wait_until 15 tray_icon_ready "$pid" || fail "no tray icon"
win=""
wait_until 15 eval 'win=$(find_window '"$pid"' Tallyclock)' || fail "no main window"

# Select the second row (Beta: the list is in name order) and press "Set Active".
# Client coordinates in pixels: the list starts at (8,32), the button is at (80,200) 81x25.
select_beta() {
    xdotool mousemove --window "$win" 60 75 click 1 >/dev/null 2>&1 || return 1
    sleep 0.2
    # Whichever row the click hit, Home and Down make it the second.
    xdotool key Home Down >/dev/null 2>&1 || return 1
    sleep 0.2
    xdotool mousemove --window "$win" 120 212 click 1 >/dev/null 2>&1 || return 1
    sleep 0.3
}
retry 3 select_beta || fail "cannot press Set Active"
screenshot "$work/active.png"

minimise_window "$win" || fail "the window did not hide on minimising"

# Each choice is timed from before the keys to after the menu closed, which bounds the
# moments the program read, however slow the machine.
choose() { # WHAT KEY...
    local what=$1; shift
    open_tray_menu "$pid" || fail "no popup menu for $what"
    menu_choose "$pid" "$@" || fail "cannot choose $what"
}
before_start=$(now_ms); choose "Start Timer" Down Down Return; after_start=$(now_ms)
sleep 2
before_end=$(now_ms); choose "End Timer" Down Down Return; after_end=$(now_ms)
wait_until 5 bash -c "[ \"\$(sqlite3 '$work/Tallyclock.mdb' 'SELECT COUNT(*) FROM tblTimePeriod')\" = 1 ]" \
    || fail "End Timer stored no period"

choose "View Projects" Down Return
wait_until 5 window_state_is "$win" viewable || fail "View Projects did not bring the window back"
# While the window is on screen the icon opens no menu of the program's (on sni the panel
# may open its own menu instead: closed again with Escape).
tray_right_click "$pid" || fail "cannot click the icon"
! wait_until 1.5 program_menu_is_open "$pid" || fail "the icon opened the program's menu while the window was on screen"
[[ $XS_TRAY == sni ]] && xdotool key Escape
minimise_window "$win" || fail "the window did not hide on minimising again"
choose "Quit" Up Return

rc=0
wait_exit "$pid" 10 || rc=$?
[[ $rc == 0 ]] || fail "the program exited with status $rc"

rows=$(sqlite3 -separator ' ' "$work/Tallyclock.mdb" \
    "SELECT ProjectID, CAST(ROUND((EndTime-StartTime)*86400000) AS INTEGER) FROM tblTimePeriod")
read -r project ms <<<"$rows"
[[ $(wc -l <<<"$rows") == 1 ]] || fail "expected one period, found: $rows"
[[ $project == "$beta" ]] || fail "the period belongs to project $project, not Beta ($beta)"
# Stored moments have whole seconds: allow one second each way.
(( ms >= before_end - after_start - 1000 && ms <= after_end - before_start + 1000 )) \
    || fail "the period lasted $ms ms, outside the $((before_end - after_start))-$((after_end - before_start)) ms the test measured"
echo "e2e ($XS_TRAY): one period of $ms ms stored for Beta; View Projects, the shown window's icon and Quit behaved"
