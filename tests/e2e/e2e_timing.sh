#!/bin/bash
# End to end: the real program in a real X session times two seconds of work for the
# project made active, and stores exactly one period for it.
# Usage: e2e_timing.sh PROGRAM SCHEMA
set -u
here=$(cd "$(dirname "$0")" && pwd)
program=$1
schema=$2
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
wait_until 15 tray_icon_window "$pid" >/dev/null || fail "no tray icon"
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

started_before=$(now_ms)
open_tray_menu "$pid" || fail "no popup menu for Start Timer"
menu_choose "$pid" Down Down Return || fail "cannot choose Start Timer"
started_after=$(now_ms)
sleep 2
ended_before=$(now_ms)
open_tray_menu "$pid" || fail "no popup menu for End Timer"
menu_choose "$pid" Down Down Return || fail "cannot choose End Timer"
wait_until 5 bash -c "[ \"\$(sqlite3 '$work/Tallyclock.mdb' 'SELECT COUNT(*) FROM tblTimePeriod')\" = 1 ]" \
    || fail "End Timer stored no period"
ended_after=$(now_ms)
open_tray_menu "$pid" || fail "no popup menu for Quit"
menu_choose "$pid" Up Return || fail "cannot choose Quit"

rc=0
wait_exit "$pid" 10 || rc=$?
[[ $rc == 0 ]] || fail "the program exited with status $rc"

rows=$(sqlite3 -separator ' ' "$work/Tallyclock.mdb" \
    "SELECT ProjectID, CAST(ROUND((EndTime-StartTime)*86400) AS INTEGER) FROM tblTimePeriod")
read -r project seconds <<<"$rows"
[[ $(wc -l <<<"$rows") == 1 ]] || fail "expected one period, found: $rows"
[[ $project == "$beta" ]] || fail "the period belongs to project $project, not Beta ($beta)"
# The program stores whole seconds of the moments it read between these timestamps.
shortest=$(( ended_before / 1000 - started_after / 1000 ))
longest=$(( ended_after / 1000 - started_before / 1000 ))
(( seconds >= shortest && seconds <= longest )) \
    || fail "the period lasted $seconds s, expected $shortest to $longest s"
echo "e2e: one period of $seconds s stored for Beta; the program exited cleanly"
