#!/bin/bash
# End to end: the real program, timing with its window hidden in a StatusNotifierItem panel,
# watches the X server's idle time (3 s through the test hook): after 5 quiet seconds the first
# input brings the question to the front, and Keep, Discard and Stop each store what they say.
# Usage: e2e_away.sh PROGRAM SCHEMA
set -u
export XS_TRAY=sni TALLYCLOCK_IDLE_SECONDS=3
# shellcheck source=tests/e2e/xsession.sh
source "$(cd "$(dirname "$0")" && pwd)/xsession.sh"
e2e_begin
db=$E2E_WORK/Tallyclock.mdb
cp "$1" "$E2E_WORK/tallyclock" && sqlite3 "$db" <"$2" || fail "cannot make the database"

# tooltip TEXT: the item's tooltip, as the panel reads it, holds TEXT.
tooltip() {
    local item
    item=$(xs_watcher RegisteredStatusNotifierItems | grep -o '"[^"]*"' | tr -d '"')
    [[ $(xs_x dbus-send --session --print-reply --dest="${item%%/*}" "/${item#*/}" \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierItem string:ToolTip) == *"$1"* ]]
}

# The focused window is the question, on screen, while the main window stays hidden.
question_in_front() {
    local id
    id=$(xs_x xdotool getactivewindow 2>/dev/null) && [[ $id != "$win" ]] && window_viewable "$id" && window_hidden "$win" \
        && [[ $(xs_x xdotool getwindowname "$id") == Tallyclock ]]
}

# away_and_answer KEYS...: quiet from quiet_ms, input at back_ms; the question takes the keys.
away_and_answer() {
    quiet_ms=$(now_ms)
    sleep 5
    back_ms=$(now_ms)
    xs_x xdotool mousemove_relative 9 9
    wait_until 10 question_in_front || fail "no question in front after an absence"
    xs_x xdotool key --delay 150 "$@" && wait_until 5 eval '! question_in_front' || fail "no answer $*"
}

# periods MS...: the stored periods last these times, give or take 2.5 s.
periods() {
    local got i
    mapfile -t got < <(sqlite3 "$db" "SELECT ROUND((EndTime-StartTime)*86400000) FROM tblTimePeriod ORDER BY StartTime")
    ((${#got[@]} == $#)) || fail "expected $# periods, found ${got[*]}"
    for ((i = 1; i <= $#; i++)); do
        ((${got[i - 1]%.*} > ${!i} - 2500 && ${got[i - 1]%.*} < ${!i} + 2500)) || fail "not ${!i} ms: ${got[*]}"
    done
}

start_program "$E2E_WORK/app.log" "$E2E_WORK/tallyclock"
minimise_window "$win" || fail "the window did not hide on minimising"
tray_menu "$pid" Down Down Return || fail "cannot choose Start Timer"
start_ms=$(now_ms)
away_and_answer shift+Tab space # Keep
periods
away_and_answer Return # Discard: stored up to the quiet; timing goes on from the input
first=$((quiet_ms - start_ms)) resumed_ms=$back_ms
periods $first
tooltip "Timing since" || fail "not timing after Discard"
away_and_answer Tab space # Stop: stored from the last input up to this quiet
periods $first $((quiet_ms - resumed_ms))
tooltip "Tallyclock - Idle" || fail "still timing after Stop"
tray_menu "$pid" Up Return || fail "cannot choose Quit"
wait_exit "$pid" 10 || fail "the program exited with status $?"
echo "e2e (away): Keep, Discard and Stop stored what they say"
