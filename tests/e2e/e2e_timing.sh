#!/bin/bash
# End to end: the real program in a real X session times two seconds of work from the icon's
# menu for the project made active in its window, its icons showing the running timing, stores
# exactly one period for it, and ends on "Quit". With "unended", a timing the program is killed
# in instead is asked about at the next start.
# Usage: e2e_timing.sh PROGRAM SCHEMA [xembed|sni] [unended]   (the notification area; xembed by
# default; unended needs sni, where the tooltip can be read)
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

# A hash of the tray icon's image: on sni the item's IconName and IconPixmap, on xembed the
# pixels of its window. The icon is the main window's, so that changes with it.
icons() {
    if [[ $XS_ROAD == sni ]]; then
        sni_item IconName && sni_item IconPixmap
    else
        xs_x import -window "$(tray_icon "$pid")" rgb:-
    fi | md5sum
}

# Each choice is timed from before the keys to after the menu closed, which bounds the
# moments the program read, however slow the machine. The icons show the running timing.
time_two_seconds() {
    local idle
    idle=$(icons)
    before_start=$(now_ms)
    tray_menu "$pid" Down Down Return || fail "cannot choose Start Timer"
    after_start=$(now_ms)
    wait_until 5 eval '[[ $(icons) != "$idle" ]]' || fail "the icon shows no timing"
    sleep 2
    before_end=$(now_ms)
    tray_menu "$pid" Down Down Return || fail "cannot choose End Timer"
    after_end=$(now_ms)
    wait_until 5 eval '[[ $(icons) == "$idle" ]]' || fail "the icon still shows a timing"
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

start_timer() {
    minimise_window "$win" || fail "the window did not hide on minimising"
    tray_menu "$pid" Down Down Return || fail "cannot choose Start Timer"
}

# end_and_restart SIGNAL|Quit [twice]: the program is ended so and started again; twice at once,
# one copy shows the other and goes.
end_and_restart() {
    if [[ $1 == Quit ]]; then quit; else kill -"$1" "$pid" && wait_exit "$pid" 10; fi
    LANG=en_US.UTF-8 launch "$E2E_WORK/app.log" "$E2E_WORK/tallyclock"
    pid=$LAUNCHED_PID
    if [[ ${2:-} == twice ]]; then
        LANG=en_US.UTF-8 launch "$E2E_WORK/second.log" "$E2E_WORK/tallyclock"
        wait_until 15 eval '! xs_running $pid || ! xs_running $LAUNCHED_PID' || fail "two copies run"
        xs_running "$pid" || pid=$LAUNCHED_PID
    fi
    program_up
}

# answer KEY: the question about the timing that was not ended shows, and KEY answers it.
answer() {
    local box
    wait_until 15 eval 'box=$(find_window '"$pid"' "Timing not ended")' || fail "no question at the start"
    xs_x xdotool windowactivate --sync "$box" key "$1" || fail "cannot answer $1"
    wait_until 5 eval '! find_window '"$pid"' "Timing not ended" >/dev/null' || fail "the question stays"
}

# A timing the program was killed in, then started twice at once: asked once, and stored until
# it was last seen (its start, less than a minute before). Terminated: resumed as it was. Killed
# again: discarded. Quit while timing: nothing is asked at the next start. Only the first stored a
# period.
unended() {
    local timing stored
    start_program "$E2E_WORK/app.log" "$E2E_WORK/tallyclock"
    make_beta_active_and_minimise
    tray_menu "$pid" Down Down Return || fail "cannot choose Start Timer"
    end_and_restart KILL twice
    answer alt+s
    # One period, from the timing's start until it was last seen, the same second or the next.
    stored=$(sqlite3 -cmd ".timeout 5000" "$db" "SELECT ProjectID, ROUND((EndTime-StartTime)*86400) FROM tblTimePeriod")
    [[ $stored =~ ^$beta\|[01]\.0$ ]] || fail "stored: $stored"
    [[ $(sni_item ToolTip) == *'"Tallyclock - Idle"'* ]] || fail "not idle after storing: $(sni_item ToolTip)"
    start_timer
    timing=$(sni_item ToolTip)
    end_and_restart TERM
    answer alt+r
    [[ $(sni_item ToolTip) == "$timing" ]] || fail "resumed as $(sni_item ToolTip), not $timing"
    end_and_restart KILL
    answer alt+d
    [[ $(sni_item ToolTip) == *'"Tallyclock"'* ]] || fail "not idle after discarding: $(sni_item ToolTip)"
    start_timer
    end_and_restart Quit
    ! wait_until 2 find_window "$pid" "Timing not ended" || fail "asked after Quit"
    [[ $(sqlite3 "$db" "SELECT COUNT(*) FROM tblTimePeriod") == 1 ]] || fail "more periods stored"
}

copy_beside_database
if [[ ${4:-} == unended ]]; then
    unended
    exit
fi
start_program "$E2E_WORK/app.log" "$E2E_WORK/tallyclock"
make_beta_active_and_minimise
time_two_seconds
quit
check_one_period_for_beta
