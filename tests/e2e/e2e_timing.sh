#!/bin/bash
# End to end: the real program in a real X session times two seconds of work from the icon's
# menu for the project made active in its window, stores exactly one period for it, and ends
# on "Quit".
# Usage: e2e_timing.sh PROGRAM SCHEMA [xembed|sni]   (the notification area; xembed by default)
set -u
program=$1
schema=$2
export XS_TRAY=${3:-xembed}
# shellcheck source=tests/e2e/xsession.sh
source "$(cd "$(dirname "$0")" && pwd)/xsession.sh"
e2e_begin
db=$E2E_WORK/Tallyclock.mdb

# The program beside its database, as a portable copy is kept, with two projects.
copy_beside_database() {
    cp "$program" "$E2E_WORK/tallyclock"
    sqlite3 "$db" <"$schema" || fail "cannot make the database"
    sqlite3 "$db" "INSERT INTO tblProject(Name,Description) VALUES('Alpha','first'),('Beta','second');" \
        || fail "cannot add the projects"
    beta=$(sqlite3 "$db" "SELECT ProjectID FROM tblProject WHERE Name='Beta'")
}

make_beta_active_and_minimise() {
    # Client coordinates in pixels: the list starts at (8,32), the button is at (80,200) 81x25.
    # Whichever row the click hit, Home and Down make it the second (the list is in name order).
    retry 3 xs_x xdotool mousemove --window "$win" 60 75 click 1 sleep 0.2 key Home Down sleep 0.2 \
        mousemove --window "$win" 120 212 click 1 sleep 0.3 || fail "cannot press Set Active"
    minimise_window "$win" || fail "the window did not hide on minimising"
}

# Each choice is timed from before the keys to after the menu closed, which bounds the
# moments the program read, however slow the machine.
time_two_seconds() {
    before_start=$(now_ms)
    tray_menu "$pid" Down Down Return || fail "cannot choose Start Timer"
    after_start=$(now_ms)
    sleep 2
    before_end=$(now_ms)
    tray_menu "$pid" Down Down Return || fail "cannot choose End Timer"
    after_end=$(now_ms)
}

quit() {
    tray_menu "$pid" Up Return || fail "cannot choose Quit"
    wait_exit "$pid" 10 || fail "the program exited with status $?"
}

check_one_period_for_beta() {
    local rows project ms
    rows=$(sqlite3 -separator ' ' "$db" \
        "SELECT ProjectID, CAST(ROUND((EndTime-StartTime)*86400000) AS INTEGER) FROM tblTimePeriod")
    read -r project ms <<<"$rows"
    [[ $(wc -l <<<"$rows") == 1 && -n $rows ]] || fail "expected one period, found: $rows"
    [[ $project == "$beta" ]] || fail "the period belongs to project $project, not Beta ($beta)"
    # Stored moments have whole seconds: allow one second each way.
    ((ms >= before_end - after_start - 1000 && ms <= after_end - before_start + 1000)) \
        || fail "the period lasted $ms ms, not $((before_end - after_start))-$((after_end - before_start)) ms"
    echo "e2e ($XS_TRAY): one period of $ms ms stored for Beta"
}

copy_beside_database
start_program "$E2E_WORK/app.log" "$E2E_WORK/tallyclock"
make_beta_active_and_minimise
time_two_seconds
quit
check_one_period_for_beta
