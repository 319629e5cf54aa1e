#!/bin/bash
# End to end: the program installed into a temporary prefix keeps its data in the user's data
# folder, times one period from the tray, and a second start hands over to the running copy.
# Usage: e2e_install.sh CMAKE BUILD_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
cmake=$1
build=$2
id=io.github.tallyclock.Tallyclock
# shellcheck source=tests/e2e/xsession.sh
source "$here/xsession.sh"

work=$(mktemp -d)
prefix=$work/prefix
failed=0
finish() {
    stop_session
    if [[ $failed == 1 ]]; then echo "e2e: evidence kept in $work" >&2; else rm -rf "$work"; fi
}
trap finish EXIT
fail() {
    echo "e2e: FAILED: $*" >&2
    failed=1
    [[ -n ${DISPLAY:-} ]] && screenshot "$work/failure.png"
    cat "$work"/*.log >&2 2>/dev/null
    exit 1
}

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install failed"
[[ $(ls "$prefix/bin" | tr '\n' ' ') == "tallyclock tallyclock-report " ]] \
    || fail "bin/ holds other than the two programs: $(ls "$prefix/bin")"
for file in applications/$id.desktop metainfo/$id.metainfo.xml icons/hicolor/scalable/apps/$id.svg \
    man/man1/tallyclock.1.gz; do
    [[ -s $prefix/share/$file ]] || fail "not installed: share/$file"
done
for size in 16 22 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
    [[ $(identify -format %wx%h "$png" 2>/dev/null) == "${size}x$size" ]] || fail "no ${size} px icon"
done

export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
data=$XDG_DATA_HOME/tallyclock

start_session || fail "no X session"
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime
LANG=en_US.UTF-8 launch "$work/app.log" "$prefix/bin/tallyclock"
pid=$LAUNCHED_PID
wait_until 15 tray_icon_window "$pid" >/dev/null || fail "no tray icon"
win=""
wait_until 15 eval 'win=$(find_window '"$pid"' Tallyclock)' || fail "no main window"
[[ -f $data/Tallyclock.mdb ]] || fail "no database in $data"
[[ -f $data/backups/Tallyclock-$(date +%F).mdb ]] || fail "no backup of today in $data/backups"
# The scalable icon built into the program: Qt gives the window manager a 64 px picture too.
xs_has "Icon (64 x 64)" xprop -id "$win" _NET_WM_ICON || fail "the window lacks the scalable icon"

minimise_window "$win" || fail "the window did not hide on minimising"
open_tray_menu "$pid" || fail "no popup menu for Start Timer"
before=$(date +%s)
menu_choose "$pid" Down Down Return || fail "cannot choose Start Timer"
sleep 2
open_tray_menu "$pid" || fail "no popup menu for End Timer"
menu_choose "$pid" Down Down Return || fail "cannot choose End Timer"
periods() { sqlite3 -separator ' ' "$data/Tallyclock.mdb" \
    "SELECT ProjectID, CAST(ROUND((EndTime-StartTime)*86400) AS INTEGER) FROM tblTimePeriod"; }
wait_until 5 eval '[[ -n $(periods) ]]' || fail "End Timer stored no period"
# On a loaded machine a menu takes seconds to open: the period is as long as the test's steps.
longest=$(( $(date +%s) - before + 1 ))

# A second start hands over to the running copy: it ends at once, the first window comes back.
launch "$work/second.log" "$prefix/bin/tallyclock"
rc=0
wait_exit "$LAUNCHED_PID" 10 || rc=$?
[[ $rc == 0 ]] || fail "the second start exited with status $rc"
wait_until 5 window_state_is "$win" viewable || fail "the first window is not back on screen"
icons=$(xs_x xwininfo -tree -id "$XS_TRAY_PANEL" | grep -c '("tallyclock" ')
[[ $icons == 1 ]] || fail "$icons tray icons after the second start"
minimise_window "$win" || fail "the window did not hide again"

open_tray_menu "$pid" || fail "no popup menu for Quit"
menu_choose "$pid" Up Return || fail "cannot choose Quit"
rc=0
wait_exit "$pid" 10 || rc=$?
[[ $rc == 0 ]] || fail "the program exited with status $rc"
read -r project seconds <<<"$(periods)"
[[ $(periods | wc -l) == 1 && $project == 0 ]] || fail "expected one period of project 0: $(periods)"
(( seconds >= 2 && seconds <= longest )) || fail "the period lasted $seconds s, expected 2 to $longest"
# The installed report reads the same data folder.
exported=$("$prefix/bin/tallyclock-report" periods --format csv) || fail "the installed report failed"
[[ $(wc -l <<<"$exported") == 2 && $exported == *$'\n'0,* ]] || fail "the report exported: $exported"
echo "e2e: installed program stored one period of $seconds s in $data; the installed report exports it"
