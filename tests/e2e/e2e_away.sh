#!/bin/bash
# End to end: the real program, timing with its window hidden in a StatusNotifierItem panel,
# sees the X server's idle time (a threshold of 3 s through the test hook): after a quiet
# stretch the first input brings the question to the front, and Keep, Discard and Stop each
# store what they say.
# Usage: e2e_away.sh PROGRAM SCHEMA
set -u
export XS_TRAY=sni TALLYCLOCK_IDLE_SECONDS=3
# shellcheck source=tests/e2e/xsession.sh
source "$(cd "$(dirname "$0")" && pwd)/xsession.sh"
e2e_begin
db=$E2E_WORK/Tallyclock.mdb
cp "$1" "$E2E_WORK/tallyclock" && sqlite3 "$db" <"$2" || fail "cannot make the database"

# The item's tooltip as the panel reads it.
tooltip() {
    local item
    item=$(xs_watcher RegisteredStatusNotifierItems | grep -o '"[^"]*"' | tr -d '"')
    xs_x dbus-send --session --print-reply --dest="${item%%/*}" "/${item#*/}" org.freedesktop.DBus.Properties.Get \
        string:org.kde.StatusNotifierItem string:ToolTip
}

# The question on screen and focused, while the main window stays hidden.
question_in_front() {
    local id
    id=$(xs_x xdotool getactivewindow 2>/dev/null) && [[ $(xs_x xdotool getwindowname "$id") == Tallyclock ]] \
        && [[ $id != "$win" ]] && window_viewable "$id" && window_hidden "$win"
}

# A quiet stretch of 5 s (quiet_ms: its start), then input; the question comes, takes KEYS.
away_and_answer() {
    quiet_ms=$(now_ms)
    sleep 5
    back_ms=$(now_ms)
    xs_x xdotool mousemove_relative 9 9
    wait_until 10 question_in_front || fail "no question in front after an absence"
    xs_x xdotool key --delay 150 "$@" || fail "cannot answer"
    wait_until 5 eval '! question_in_front' || fail "the question stayed after $*"
}

# periods EXPECTED...: the stored periods' lengths in ms, each within 2.5 s of what is expected.
periods() {
    local got want i
    mapfile -t got < <(sqlite3 "$db" "SELECT CAST(ROUND((EndTime-StartTime)*86400000) AS INTEGER) FROM tblTimePeriod
        ORDER BY StartTime")
    ((${#got[@]} == $#)) || fail "expected $# periods, found ${got[*]}"
    for ((i = 1; i <= $#; i++)); do
        want=${!i}
        ((got[i - 1] > want - 2500 && got[i - 1] < want + 2500)) || fail "period $i lasted ${got[i - 1]} ms, not $want"
    done
}

start_program "$E2E_WORK/app.log" "$E2E_WORK/tallyclock"
minimise_window "$win" || fail "the window did not hide on minimising"
tray_menu "$pid" Down Down Return || fail "cannot choose Start Timer"
start_ms=$(now_ms)
away_and_answer shift+Tab space # Keep
periods
away_and_answer Return # Discard: the period up to the quiet stretch; timing goes on from the input
first=$((quiet_ms - start_ms)) resumed_ms=$back_ms
periods $first
[[ $(tooltip) == *"Timing since"* ]] || fail "not timing after Discard: $(tooltip)"
away_and_answer Tab space # Stop: the period up to this quiet stretch; the timing ends
periods $first $((quiet_ms - resumed_ms))
[[ $(tooltip) == *"Tallyclock - Idle"* ]] || fail "still timing after Stop: $(tooltip)"
tray_menu "$pid" Up Return || fail "cannot choose Quit"
wait_exit "$pid" 10 || fail "the program exited with status $?"
echo "e2e (away): Keep, Discard and Stop stored what they say"
