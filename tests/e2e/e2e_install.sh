#!/bin/bash
# End to end: the program installed into a temporary prefix: its files, its data folder with
# today's backup, its window's icon, a second start that hands over to the running copy, and
# the installed report over the same data.
# Usage: e2e_install.sh CMAKE BUILD_DIR
set -u
id=io.github.tallyclock.Tallyclock
# shellcheck source=tests/e2e/xsession.sh
source "$(cd "$(dirname "$0")" && pwd)/xsession.sh"
e2e_begin
prefix=$E2E_WORK/prefix
export XDG_DATA_HOME=$E2E_WORK/data
data=$XDG_DATA_HOME/tallyclock

"$1" --install "$2" --prefix "$prefix" >"$E2E_WORK/install.log" || fail "cmake --install failed"
[[ $(ls "$prefix/bin" | tr '\n' ' ') == "tallyclock tallyclock-report " ]] \
    || fail "bin/ holds other than the two programs: $(ls "$prefix/bin")"
for file in applications/$id.desktop metainfo/$id.metainfo.xml icons/hicolor/scalable/apps/$id.svg \
    man/man1/tallyclock.1.gz; do
    [[ -s $prefix/share/$file ]] || fail "not installed: share/$file"
done
for size in 16 22 24 32 48 64 128 256; do
    file=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
    [[ $(identify -format %wx%h "$file" 2>/dev/null) == "${size}x$size" ]] || fail "no ${size} px icon"
done

# The first start makes the data folder with the database and today's backup. The window
# bears the scalable icon built into the program, which Qt hands on at 64 px too.
start_program "$E2E_WORK/app.log" "$prefix/bin/tallyclock"
[[ -f $data/Tallyclock.mdb ]] || fail "no database in $data"
[[ -f $data/backups/Tallyclock-$(date +%F).mdb ]] || fail "no backup of today in $data/backups"
xs_has "Icon (64 x 64)" xprop -id "$win" _NET_WM_ICON || fail "the window lacks the scalable icon"

# Stored before the second start, the period also shows that start left the data alone.
sqlite3 "$data/Tallyclock.mdb" "INSERT INTO tblTimePeriod(ProjectID,StartTime,EndTime) VALUES(0,46000.5,46000.75)" \
    || fail "cannot add a period"

# A second start over the same data ends at once, and the first copy's window comes back.
minimise_window "$win" || fail "the window did not hide on minimising"
launch "$E2E_WORK/second.log" "$prefix/bin/tallyclock"
wait_exit "$LAUNCHED_PID" 10 || fail "the second start exited with status $?"
wait_until 5 window_viewable "$win" || fail "the first window is not back on screen"

# The installed report finds the data folder by itself.
exported=$("$prefix/bin/tallyclock-report" periods --all --format csv) || fail "the installed report failed"
[[ $exported == *$'\n0,(no project),2025-12-09T12:00:00,2025-12-09T18:00:00,360\r' ]] \
    || fail "the report exported: $exported"
echo "e2e: the installed program keeps its data in $data, hands over, and its report reads it"
