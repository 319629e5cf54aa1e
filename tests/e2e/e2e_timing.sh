#!/bin/bash
# End to end: the real program in a real X session with trayer's XEmbed notification area times
# two seconds of work from the icon's menu for the project made active in its window, the icon's
# pixels showing the running timing, stores exactly one period for it, and ends on "Quit".
# With "unended", on a StatusNotifierItem panel (where the tooltip can be read), a timing the
# program is killed in is asked about at the next start instead. The StatusNotifierItem road
# itself is e2e_away's; the item's calls and menu states are tst_StatusNotifierHost's.
# Usage: e2e_timing.sh PROGRAM SCHEMA xembed | e2e_timing.sh PROGRAM SCHEMA sni unended
set -u
export XS_TRAY=$3
# shellcheck source=tests/e2e/xsession.sh
source "$(cd "$(dirname "$0")" && pwd)/xsession.sh"
e2e_begin
db=$E2E_WORK/Tallyclock.mdb

# The program beside its database, as a portable copy is kept, with two projects; Beta is made
# active in the window, which is then minimised.
cp "$1" "$E2E_WORK/tallyclock"
sqlite3 "$db" <"$2" && sqlite3 "$db" "INSERT INTO tblProject(Name,Description) VALUES('Alpha','first'),('Beta','second')" \
    || fail "cannot make the database"
beta=$(sqlite3 "$db" "SELECT ProjectID FROM tblProject WHERE Name='Beta'")
start_program "$E2E_WORK/app.log" "$E2E_WORK/tallyclock"
# Client coordinates in pixels: the list starts at (8,32), the button is at (80,200) 81x25.
# Whichever row the click hit, Home and Down make it the second (the list is in name order).
retry 3 xs_x xdotool mousemove --window "$win" 60 75 click 1 sleep 0.2 key Home Down sleep 0.2 \
    mousemove --window "$win" 120 212 click 1 sleep 0.3 || fail "cannot press Set Active"

# stored PATTERN: the one stored period, "ProjectID|seconds", matches PATTERN.
stored() {
    local rows
    rows=$(sqlite3 -cmd ".timeout 5000" "$db" "SELECT ProjectID, ROUND((EndTime-StartTime)*86400) FROM tblTimePeriod")
    [[ $rows =~ ^$1$ ]] || fail "stored: $rows"
}

# end_and_restart SIGNAL|Quit [twice]: the program is ended so and started again; twice at once,
# one copy shows the other and goes.
end_and_restart() {
    if [[ $1 == Quit ]]; then quit_program; else kill -"$1" "$pid" && wait_exit "$pid" 10; fi
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

# tooltip TEXT: the item's tooltip holds TEXT.
tooltip() { [[ $(sni_item ToolTip) == *"$1"* ]] || fail "the tooltip lacks $1: $(sni_item ToolTip)"; }

# A timing the program was killed in, then started twice at once: asked once, and stored until
# it was last seen (its start, less than a minute before). Terminated: resumed as it was. Killed
# again: discarded. Quit while timing: nothing is asked at the next start. Only the first stored a
# period.
if [[ ${4:-} == unended ]]; then
    start_timer
    end_and_restart KILL twice
    answer alt+s
    stored "$beta\|[01]\.0"
    tooltip '"Tallyclock - Idle"'
    # The panel's icon, as the item offers it, shows the timing too.
    idle=$({ sni_item IconName && sni_item IconPixmap; } | md5sum)
    start_timer
    wait_until 5 eval '[[ $({ sni_item IconName && sni_item IconPixmap; } | md5sum) != "$idle" ]]' || fail "the panel's icon shows no timing"
    timing=$(sni_item ToolTip)
    end_and_restart TERM
    answer alt+r
    tooltip "$timing"
    end_and_restart KILL
    answer alt+d
    tooltip '"Tallyclock"'
    start_timer
    end_and_restart Quit
    ! wait_until 2 find_window "$pid" "Timing not ended" || fail "asked after Quit"
    stored "$beta\|[01]\.0"
    exit
fi

# The icon is the main window's: its pixels change with the timing.
icon() { xs_x import -window "$(tray_icon "$pid")" rgb:- | md5sum; }
idle=$(icon)
started_ms=$(now_ms)
start_timer
wait_until 5 eval '[[ $(icon) != "$idle" ]]' || fail "the icon shows no timing"
sleep 2
tray_menu "$pid" Down Down Return || fail "cannot choose End Timer"
ended_ms=$(now_ms)
wait_until 5 eval '[[ $(icon) == "$idle" ]]' || fail "the icon still shows a timing"
quit_program
# Two seconds or a little more: never more than the time from before Start to after End.
stored "$beta\|([2-9])\.0"
((BASH_REMATCH[1] <= (ended_ms - started_ms) / 1000 + 1)) || fail "stored longer than timed"
echo "e2e ($XS_TRAY): one period stored for Beta"
