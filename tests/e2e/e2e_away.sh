#!/bin/bash
# End to end: the real program, timing with its window hidden in a StatusNotifierItem panel,
# watches the X server's idle time (3 s through the test hook): after 5 quiet seconds the first
# input brings the question to the front, and Discard stores the time up to the quiet. The other
# answers, and what each stores, are tst_frmAway's.
# Usage: e2e_away.sh PROGRAM SCHEMA
set -u
export XS_TRAY=sni TALLYCLOCK_IDLE_SECONDS=3
# shellcheck source=tests/e2e/xsession.sh
source "$(cd "$(dirname "$0")" && pwd)/xsession.sh"
e2e_begin
db=$E2E_WORK/Tallyclock.mdb
cp "$1" "$E2E_WORK/tallyclock" && sqlite3 "$db" <"$2" || fail "cannot make the database"

# The focused window is the question, on screen, while the main window stays hidden.
question_in_front() {
    local id
    id=$(xs_x xdotool getactivewindow 2>/dev/null) && [[ $id != "$win" ]] && window_viewable "$id" && window_hidden "$win" \
        && [[ $(xs_x xdotool getwindowname "$id") == Tallyclock ]]
}

start_program "$E2E_WORK/app.log" "$E2E_WORK/tallyclock"
start_timer
start_ms=$(now_ms)
# Six seconds of input at times, then quiet: the absence starts at the last input.
for _ in 1 2 3; do
    sleep 2
    xs_x xdotool mousemove_relative 3 3
done
quiet_ms=$(now_ms)
sleep 5
xs_x xdotool mousemove_relative 9 9
wait_until 10 question_in_front || fail "no question in front after an absence"
# Discard, the default button: stored up to the quiet, the timing goes on from the input.
xs_x xdotool key Return && wait_until 5 eval '! question_in_front' || fail "no answer"
stored=$(sqlite3 "$db" "SELECT CAST(ROUND((EndTime-StartTime)*86400000) AS INTEGER) FROM tblTimePeriod")
((stored > quiet_ms - start_ms - 2500 && stored < quiet_ms - start_ms + 2500)) \
    || fail "stored $stored ms, not $((quiet_ms - start_ms))"
[[ $(sni_item ToolTip) == *"Timing since"* ]] || fail "not timing after Discard"
quit_program
echo "e2e (away): the X server's idle time made an absence, and Discard stored up to its start"
