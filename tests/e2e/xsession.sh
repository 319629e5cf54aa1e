# shellcheck shell=bash
# A throwaway X session for end-to-end tests of a desktop program: Xvfb, the openbox window
# manager (so that minimising is real) and a notification area, driven with xdotool. The
# notification area is chosen by XS_TRAY: xembed (the default: trayer, icons are embedded
# windows), sni (xfce4-panel's Status Tray on a private D-Bus session bus: icons are
# StatusNotifierItems and the panel draws their menus) or none. Source it from bash, then:
#
#   trap stop_session EXIT           # first: a half-started session is ended too
#   start_session || exit 1          # exports DISPLAY (and DBUS_SESSION_BUS_ADDRESS for sni)
#   launch "$log" ./tallyclock       # sets LAUNCHED_PID (not in $(...): it must be our child)
#   tray_menu "$LAUNCHED_PID" Down Return
#   ...
#
# Every wait is bounded; a function that fails returns non-zero and says why on stderr.
# Needs: xvfb openbox trayer xdotool x11-utils imagemagick (import), coreutils (timeout); for
# sni also dbus (dbus-daemon, dbus-send), xfce4-panel and xfconf.

XS_LIBRARY_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
XS_DIR=""
XS_PIDS=()       # everything started here, oldest first
XS_TRAY_PANEL="" # the notification area's panel window (trayer's, or xfce4-panel's)
XS_ROAD=""       # the notification area of the running session: xembed, sni or none

xs_log() { printf '[xsession %s] %s\n' "$(date +%T.%3N)" "$*" >&2; }

# Runs an X client with a time limit: a stuck server must not stall the test.
xs_x() { timeout 10 "$@"; }

# xs_has TEXT COMMAND...: whether the X client's output contains TEXT. No pipes in here: a
# caller's pipefail would turn `client | grep -q` into a failure whenever grep quits early.
xs_has() {
    local text=$1 out
    shift
    out=$(xs_x "$@" 2>/dev/null) || return 1
    [[ $out == *"$text"* ]]
}

now_ms() { date +%s%3N; }

# wait_until SECONDS COMMAND...: polls COMMAND every 0.1 s until it succeeds or time is up.
wait_until() {
    local deadline=$(($(now_ms) + $1 * 1000))
    shift
    until "$@"; do
        (($(now_ms) >= deadline)) && return 1
        sleep 0.1
    done
}

# retry TIMES COMMAND...: runs COMMAND up to TIMES times until it succeeds.
retry() {
    local times=$1 attempt
    shift
    for ((attempt = 1; attempt <= times; attempt++)); do
        "$@" && return 0
        xs_log "attempt $attempt of $times failed: $*"
    done
    return 1
}

# True while PID runs; an exited child that nobody has waited for yet does not count.
xs_running() {
    local state
    state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
    [[ -n $state && $state != Z && $state != X ]]
}

# launch LOGFILE COMMAND...: starts COMMAND in the session with its output in LOGFILE;
# stop_session ends it if it still runs then (newest first). Sets LAUNCHED_PID.
launch() {
    "${@:2}" >"$1" 2>&1 &
    LAUNCHED_PID=$!
    XS_PIDS+=("$LAUNCHED_PID")
}

# wait_exit PID SECONDS: waits for a process started by launch to end and returns its exit
# status; 124 when it is still running after SECONDS.
wait_exit() {
    wait_until "$2" eval '! xs_running '"$1" || return 124
    wait "$1"
}

start_session() {
    XS_DIR=$(mktemp -d /tmp/xsession.XXXXXX) || return 1
    mkdir -m 700 "$XS_DIR/runtime"
    export XDG_RUNTIME_DIR=$XS_DIR/runtime
    # Only a bus of this session's own may be seen: on another, a StatusNotifier host would
    # take the icon away from trayer.
    unset DBUS_SESSION_BUS_ADDRESS

    # -displayfd makes the server pick a free display and tell it once it accepts clients.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3>"$XS_DIR/display" >"$XS_DIR/Xvfb.log" 2>&1 &
    local server=$! owner=$BASHPID
    # Killed outright (a test runner's time limit sends SIGKILL), this shell runs no trap; a
    # guard then ends the X server, and every client of the session goes with it.
    # The bus daemon of an sni session is not a client of the X server: it is listed too.
    : >"$XS_DIR/guarded"
    (
        while kill -0 "$owner" 2>/dev/null; do sleep 1; done
        kill -TERM "$server" $(cat "$XS_DIR/guarded" 2>/dev/null)
    ) >/dev/null 2>&1 &
    XS_PIDS+=($! "$server")
    xs_up 15 Xvfb test -s "$XS_DIR/display" || return 1
    DISPLAY=":$(head -n1 "$XS_DIR/display")"
    export DISPLAY

    launch "$XS_DIR/openbox.log" openbox --sm-disable
    xs_up 15 openbox xs_has "window id" xprop -root _NET_SUPPORTING_WM_CHECK || return 1

    XS_ROAD=${XS_TRAY:-xembed}
    case $XS_ROAD in
        none) ;;
        sni) xs_start_sni || return 1 ;;
        *)
            XS_ROAD=xembed
            # A fixed panel in the bottom-right corner; the icons sit in it from its right end.
            launch "$XS_DIR/trayer.log" trayer --edge bottom --align right --widthtype pixel --width 96 \
                --heighttype pixel --height 32 --expand false --SetDockType true --SetPartialStrut true \
                --transparent false --monitor 0
            xs_up 15 trayer xs_trayer_mapped || return 1
            ;;
    esac
    xs_log "session up on $DISPLAY, notification area: $XS_ROAD"
}

# xs_up SECONDS NAME COMMAND...: waits until COMMAND tells that NAME has started, or shows
# NAME's log.
xs_up() {
    wait_until "$1" "${@:3}" && return 0
    xs_log "$2 did not start"
    cat "$XS_DIR/$2.log" >&2
    return 1
}

# A private session bus, and on it xfce4-panel with one panel that holds the Status Tray
# alone (xfce4-panel.xml): bottom centre, as long as its icons, so one icon sits in the
# panel's middle.
xs_start_sni() {
    local config=$XS_DIR/config/xfce4/xfconf/xfce-perchannel-xml
    mkdir -p "$config" "$XS_DIR/cache"
    cp "$XS_LIBRARY_DIR/xfce4-panel.xml" "$config/"
    # The bus starts xfconfd on demand with the bus's own environment: set it first.
    export XDG_CONFIG_HOME=$XS_DIR/config XDG_CACHE_HOME=$XS_DIR/cache
    local bus
    bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || return 1
    export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
    XS_PIDS+=("${bus##*$'\n'}")
    echo "${bus##*$'\n'}" >>"$XS_DIR/guarded"
    launch "$XS_DIR/panel.log" xfce4-panel --disable-wm-check
    xs_up 20 panel xs_sni_host_ready
}

# xs_watcher PROPERTY: the StatusNotifierWatcher's property, as dbus-send prints it.
xs_watcher() {
    xs_x dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher "string:$1" 2>/dev/null
}

# The panel is mapped and its Status Tray is registered as the StatusNotifier host. Before the
# program starts, the panel is the window manager's only client.
xs_sni_host_ready() {
    [[ $(xs_watcher IsStatusNotifierHostRegistered) == *'boolean true'* ]] || return 1
    XS_TRAY_PANEL=$(xs_x xprop -root _NET_CLIENT_LIST 2>/dev/null) || return 1
    XS_TRAY_PANEL=${XS_TRAY_PANEL##* }
    [[ $XS_TRAY_PANEL == 0x* ]] && window_viewable "$XS_TRAY_PANEL"
}

# Now and then (about one start in ten with four sessions at once on two cores) openbox,
# just started, misses trayer's request to map its panel, which then stays unmapped for
# good: ask again every two seconds.
xs_trayer_mapped() {
    local tree
    tree=$(xs_x xwininfo -root -tree 2>/dev/null) || return 1
    XS_TRAY_PANEL=$(awk '/\("panel" "trayer"\)/ {print $1; exit}' <<<"$tree")
    [[ -n $XS_TRAY_PANEL ]] || return 1
    xs_has IsViewable xwininfo -id "$XS_TRAY_PANEL" && return 0
    if (($(now_ms) - ${XS_MAPPED_MS:=$(now_ms)} >= 2000)); then
        xs_log "trayer's panel is not mapped; mapping it"
        xs_x xdotool windowmap "$XS_TRAY_PANEL"
        XS_MAPPED_MS=$(now_ms)
    fi
    return 1
}

# Ends, newest first, everything start_session and launch started; safe to call twice and
# from a trap.
stop_session() {
    local i pid
    for ((i = ${#XS_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${XS_PIDS[i]}
        xs_running "$pid" && kill -TERM "$pid" 2>/dev/null
        wait_until 5 eval '! xs_running '"$pid" || kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null || true
    done
    XS_PIDS=()
    [[ -n $XS_DIR ]] && rm -rf "$XS_DIR"
    XS_DIR=""
    return 0
}

# sni_item PROPERTY: the property of the session's one StatusNotifierItem, as dbus-send prints it.
sni_item() {
    local item
    item=$(xs_watcher RegisteredStatusNotifierItems) && [[ $item =~ \"([^\"/]*)(/[^\"]*)\" ]] || return 1
    # Without the reply's first line, which names its time.
    xs_x dbus-send --session --print-reply --dest="${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierItem "string:$1" 2>/dev/null | tail -n +2
}

# tray_icon PID: the window that shows the icon of process PID: on xembed its own window
# embedded in trayer's panel; on sni the panel, which draws the icons itself and holds the
# program's, the session's only one, in its middle.
tray_icon() {
    local tree id
    if [[ $XS_ROAD == sni ]]; then
        [[ $(xs_watcher RegisteredStatusNotifierItems) == *'"'* ]] && echo "$XS_TRAY_PANEL"
        return
    fi
    tree=$(xs_x xwininfo -tree -id "$XS_TRAY_PANEL" 2>/dev/null) || return 1
    for id in $(xs_x xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        grep -q "^ *$(printf '0x%x' "$id") " <<<"$tree" && echo "$id" && return 0
    done
    return 1
}

# xs_geometry WINDOW: sets X, Y (its place on the screen), WIDTH and HEIGHT; a caller makes
# them local.
xs_geometry() {
    # shellcheck disable=SC2034 # the eval sets these too; they stay in here
    local shell SCREEN WINDOW
    shell=$(xs_x xdotool getwindowgeometry --shell "$1" 2>/dev/null) && eval "$shell"
}

# tray_right_click PID: a press and release of the right button in the middle of the icon.
tray_right_click() {
    local id X Y WIDTH HEIGHT
    id=$(tray_icon "$1") && xs_geometry "$id" && ((WIDTH > 0)) || { xs_log "no tray icon for process $1"; return 1; }
    # No --sync: it waits for the pointer to move and hangs when it is there already.
    xs_x xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) || return 1
    sleep 0.2
    xs_x xdotool click 3
}

# find_window PID TITLE: the managed window of process PID whose title is exactly TITLE
# (xdotool matches names as case-insensitive patterns, and Qt's hidden helper windows bear
# the application's name).
find_window() {
    local id
    for id in $(xs_x xdotool search --all --pid "$1" --name "$2" 2>/dev/null); do
        [[ $(xs_x xdotool getwindowname "$id" 2>/dev/null) == "$2" ]] || continue
        xs_has 'Override Redirect State: no' xwininfo -id "$id" && echo "$id" && return 0
    done
    return 1
}

window_viewable() { xs_has 'Map State: IsViewable' xwininfo -id "$1"; }

# window_hidden WINDOW: neither on screen nor minimised (no iconic WM_STATE, so not on the
# task bar): hidden by the program itself.
window_hidden() {
    ! window_viewable "$1" && ! xs_has 'window state: Iconic' xprop -id "$1" WM_STATE
}

# minimise_window WINDOW: asks the window manager to minimise WINDOW and waits until the
# program has hidden it.
minimise_window() {
    xs_x xdotool windowminimize "$1" && wait_until 5 window_hidden "$1"
}

# menu_is_open: a popup menu shows, as a top-level window on screen: one typed as a popup
# menu (the sni panel draws the menu the program exports), or the program's own (Qt 6.4 types
# it as a normal window; a tooltip is not a menu). The program's managed windows sit in
# openbox's frames and its xembed icon in the panel: neither is top-level.
menu_is_open() {
    local id props
    # An empty pattern matches every window; depth 1: the top-level ones.
    for id in $(xs_x xdotool search --onlyvisible --maxdepth 1 "" 2>/dev/null); do
        props=$(xs_x xprop -id "$id" WM_CLASS _NET_WM_WINDOW_TYPE 2>/dev/null)
        [[ $props == *_POPUP_MENU* || ($props == *'"tallyclock"'* && $props != *_TOOLTIP*) ]] && return 0
    done
    return 1
}

# tray_menu PID KEY...: opens the popup menu of the icon of process PID (right-clicking up to
# three times), types the keys (e.g. Down Down Return) and waits until the menu has closed.
# The keyboard skips separators and disabled items: the first Down selects the first enabled
# item, Up the last one.
tray_menu() {
    local pid=$1
    shift
    retry 3 xs_click_and_wait_menu "$pid" || { xs_log "no popup menu"; return 1; }
    # The menu grabs the keyboard as it maps; keys typed before that go elsewhere.
    sleep 0.3
    xs_x xdotool key --delay 120 "$@" || return 1
    wait_until 5 eval '! menu_is_open' || { xs_log "menu still open after keys $*"; return 1; }
}

xs_click_and_wait_menu() {
    # A menu that came late is not clicked away by the next attempt.
    menu_is_open && return 0
    tray_right_click "$1" && wait_until 5 menu_is_open
}

# e2e_begin: E2E_WORK, a folder for the test's files; when the test ends, the session is
# stopped and the folder removed, unless fail or E2E_KEEP=1 keeps it as evidence.
e2e_begin() {
    E2E_WORK=$(mktemp -d) || exit 1
    trap e2e_end EXIT
}

e2e_end() {
    stop_session
    [[ ${E2E_KEEP:-0} == 1 ]] || rm -rf "$E2E_WORK"
}

# start_program LOGFILE PROGRAM: a session with PROGRAM in it, once its icon is in the
# notification area and its window "Tallyclock" is there: sets pid and win.
start_program() {
    start_session || fail "no X session"
    LANG=en_US.UTF-8 launch "$1" "$2"
    pid=$LAUNCHED_PID
    program_up
}

# program_up: waits until process $pid has its icon in the notification area and its window
# "Tallyclock": sets win.
program_up() {
    wait_until 15 tray_icon "$pid" >/dev/null || fail "no tray icon"
    win=""
    wait_until 15 eval 'win=$(find_window '"$pid"' Tallyclock)' || fail "no main window"
}

# start_timer: minimises the window $win and chooses Start Timer from the icon's menu.
start_timer() {
    minimise_window "$win" || fail "the window did not hide on minimising"
    tray_menu "$pid" Down Down Return || fail "cannot choose Start Timer"
}

# quit_program: chooses Quit from the icon's menu; the program $pid ends with status 0.
quit_program() {
    tray_menu "$pid" Up Return || fail "cannot choose Quit"
    wait_exit "$pid" 10 || fail "the program exited with status $?"
}

# fail WHY: ends the test with a screenshot and the logs of the test's folder.
fail() {
    echo "e2e: FAILED: $* (evidence kept in $E2E_WORK)" >&2
    [[ -n ${DISPLAY:-} ]] && xs_x import -window root "$E2E_WORK/failure.png"
    tail -n +1 "$E2E_WORK"/*.log >&2 2>/dev/null
    E2E_KEEP=1
    exit 1
}
