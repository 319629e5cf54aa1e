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
#   ...
#
# Every wait is bounded; a function that fails returns non-zero and says why on stderr.
# Needs: xvfb openbox trayer xdotool x11-utils imagemagick (import), coreutils (timeout); for
# sni also dbus (dbus-daemon, dbus-send), xfce4-panel and xfconf.

XS_SCREEN=${XS_SCREEN:-1024x768x24}
XS_DIR=""
XS_PIDS=()            # everything started here, oldest first
XS_TRAY_PANEL=""      # the notification area's panel window (trayer's, or xfce4-panel's)
XS_ROAD=""            # the notification area of the running session: xembed, sni or none

xs_log() { printf '[xsession %s] %s\n' "$(date +%T.%3N)" "$*" >&2; }

# Runs an X client with a time limit: a stuck server must not stall the test.
xs_x() { timeout 10 "$@"; }

# xs_has TEXT COMMAND...: whether the X client's output contains TEXT. No pipes in here: a
# caller's pipefail would turn `client | grep -q` into a failure whenever grep quits early.
xs_has()
{
    local text=$1 out
    shift
    out=$(xs_x "$@" 2>/dev/null) || return 1
    [[ $out == *"$text"* ]]
}

now_ms() { date +%s%3N; }

# wait_until SECONDS COMMAND...: polls COMMAND every 0.1 s until it succeeds or time is up
# (SECONDS may have a fraction).
wait_until()
{
    local limit_ms
    limit_ms=$(awk -v s="$1" 'BEGIN { printf "%d", s * 1000 }'); shift
    local deadline=$(( $(now_ms) + limit_ms ))
    until "$@"; do
        (( $(now_ms) >= deadline )) && return 1
        sleep 0.1
    done
}

# retry TIMES COMMAND...: runs COMMAND up to TIMES times until it succeeds.
retry()
{
    local times=$1 attempt; shift
    for (( attempt = 1; attempt <= times; attempt++ )); do
        "$@" && return 0
        xs_log "attempt $attempt of $times failed: $*"
    done
    return 1
}

# True while PID runs; an exited child that nobody has waited for yet does not count.
xs_running()
{
    local state
    state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
    [[ -n $state && $state != Z && $state != X ]]
}

# launch LOGFILE COMMAND...: starts COMMAND in the session with its output in LOGFILE;
# stop_session ends it if it still runs then. Sets LAUNCHED_PID.
launch()
{
    local logfile=$1; shift
    "$@" >"$logfile" 2>&1 &
    LAUNCHED_PID=$!
    XS_PIDS+=("$LAUNCHED_PID")
}

# wait_exit PID SECONDS: waits for a process started by launch to end and returns its exit
# status; 124 when it is still running after SECONDS.
wait_exit()
{
    wait_until "$2" eval '! xs_running '"$1" || return 124
    wait "$1"
}

start_session()
{
    XS_DIR=$(mktemp -d /tmp/xsession.XXXXXX) || return 1
    mkdir -m 700 "$XS_DIR/runtime"
    export XDG_RUNTIME_DIR=$XS_DIR/runtime
    # Only a bus of this session's own may be seen: on another, a StatusNotifier host would
    # take the icon.
    unset DBUS_SESSION_BUS_ADDRESS

    # -displayfd makes the server pick a free display and tell it once it accepts clients.
    Xvfb -displayfd 3 -screen 0 "$XS_SCREEN" -nolisten tcp -noreset \
        3>"$XS_DIR/display" >"$XS_DIR/xvfb.log" 2>&1 &
    local server=$! owner=$BASHPID
    # Killed outright (a test runner's time limit sends SIGKILL), this shell runs no trap; a
    # guard then ends the X server, and every client of the session goes with it.
    # The bus daemon of an sni session is not a client of the X server: it is listed too.
    : >"$XS_DIR/guarded"
    ( while kill -0 "$owner" 2>/dev/null; do sleep 1; done
      kill -TERM "$server" $(cat "$XS_DIR/guarded" 2>/dev/null) ) >/dev/null 2>&1 &
    XS_PIDS+=($! "$server")
    if ! wait_until 15 test -s "$XS_DIR/display"; then
        xs_log "Xvfb did not start"; cat "$XS_DIR/xvfb.log" >&2; return 1
    fi
    DISPLAY=":$(head -n1 "$XS_DIR/display")"
    export DISPLAY

    openbox --sm-disable >"$XS_DIR/openbox.log" 2>&1 &
    XS_PIDS+=($!)
    if ! wait_until 15 xs_has "window id" xprop -root _NET_SUPPORTING_WM_CHECK; then
        xs_log "openbox did not start"; cat "$XS_DIR/openbox.log" >&2; return 1
    fi

    XS_ROAD=${XS_TRAY:-xembed}
    case $XS_ROAD in
        none|0) XS_ROAD=none; xs_log "session up on $DISPLAY ($XS_SCREEN), no notification area"; return 0 ;;
        sni) xs_start_sni || return 1 ;;
        *) XS_ROAD=xembed; xs_start_trayer || return 1 ;;
    esac
    xs_log "session up on $DISPLAY ($XS_SCREEN), notification area: $XS_ROAD"
}

xs_start_trayer()
{
    # No StatusNotifier host may take the icon away from trayer: Qt would use D-Bus then.
    unset DBUS_SESSION_BUS_ADDRESS
    # A fixed panel in the bottom-right corner; the icons sit in it from its right end.
    trayer --edge bottom --align right --widthtype pixel --width 96 --heighttype pixel \
        --height 32 --expand false --SetDockType true --SetPartialStrut true \
        --transparent false --monitor 0 >"$XS_DIR/trayer.log" 2>&1 &
    XS_PIDS+=($!)
    xs_wait_tray_panel || { xs_log "trayer did not start"; cat "$XS_DIR/trayer.log" >&2; return 1; }
}

# A private session bus, and on it xfce4-panel with one panel that holds the Status Tray
# alone: bottom centre, as long as its icons, so one icon sits in the panel's middle.
xs_start_sni()
{
    local config=$XS_DIR/config/xfce4/xfconf/xfce-perchannel-xml
    mkdir -p "$config" "$XS_DIR/cache"
    cat >"$config/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=10;x=0;y=0"/>
      <property name="length" type="uint" value="1"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
XML
    # The bus starts xfconfd on demand with the bus's own environment: set it first.
    export XDG_CONFIG_HOME=$XS_DIR/config XDG_CACHE_HOME=$XS_DIR/cache
    local bus
    bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || return 1
    export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
    XS_PIDS+=("${bus##*$'\n'}")
    echo "${bus##*$'\n'}" >>"$XS_DIR/guarded"
    xfce4-panel --disable-wm-check >"$XS_DIR/panel.log" 2>&1 &
    XS_PIDS+=($!)
    if ! wait_until 20 xs_sni_host_ready; then
        xs_log "xfce4-panel did not start"; cat "$XS_DIR/panel.log" >&2; return 1
    fi
}

# The panel is mapped and its Status Tray is registered as the StatusNotifier host.
xs_sni_host_ready()
{
    xs_has 'boolean true' dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher \
        /StatusNotifierWatcher org.freedesktop.DBus.Properties.Get \
        string:org.kde.StatusNotifierWatcher string:IsStatusNotifierHostRegistered || return 1
    local id info
    for id in $(xs_x xdotool search --onlyvisible --class xfce4-panel 2>/dev/null); do
        info=$(xs_x xwininfo -id "$id" 2>/dev/null) || continue
        # GTK keeps tiny helper windows beside the panel; the panel is on screen and of some size.
        if awk '/Absolute upper-left X/ {x=$NF} /Width:/ {w=$NF} /Height:/ {h=$NF}
                END {exit !(x >= 0 && w > 3 && h >= 16)}' <<<"$info"; then
            XS_TRAY_PANEL=$id
            return 0
        fi
    done
    return 1
}

# sni_item PID: "service/path" of the StatusNotifierItem that process PID registered.
sni_item()
{
    local out item service owner
    out=$(xs_x dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher \
        /StatusNotifierWatcher org.freedesktop.DBus.Properties.Get \
        string:org.kde.StatusNotifierWatcher string:RegisteredStatusNotifierItems 2>/dev/null) || return 1
    for item in $(grep -o '"[^"]*"' <<<"$out" | tr -d '"'); do
        service=${item%%/*}
        owner=$(xs_x dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.GetConnectionUnixProcessID "string:$service" 2>/dev/null) || continue
        [[ $owner == *"uint32 $1"* ]] && { echo "$item"; return 0; }
    done
    return 1
}

# sni_menu_labels PID: the labels of the items the icon's exported menu holds, one a line.
sni_menu_labels()
{
    local item path out
    item=$(sni_item "$1") || return 1
    out=$(xs_x dbus-send --session --print-reply --dest="${item%%/*}" "/${item#*/}" \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierItem string:Menu) || return 1
    path=$(grep -o 'object path "[^"]*"' <<<"$out" | cut -d'"' -f2)
    out=$(xs_x dbus-send --session --print-reply --dest="${item%%/*}" "$path" \
        com.canonical.dbusmenu.GetLayout int32:0 int32:-1 array:string: 2>/dev/null) || return 0
    grep -A1 '"label"' <<<"$out" | grep -o 'variant *string "[^"]*"' | cut -d'"' -f2
}

xs_tray_panel_id()
{
    local tree
    tree=$(xs_x xwininfo -root -tree 2>/dev/null) || return 0
    awk '/\("panel" "trayer"\)/ {print $1; exit}' <<<"$tree"
}

# Now and then (about one start in ten with four sessions at once on two cores) openbox,
# just started, misses trayer's request to map its panel, which then stays unmapped for
# good: ask again every two seconds.
xs_wait_tray_panel()
{
    local deadline=$(( $(now_ms) + 15000 )) next_map=$(( $(now_ms) + 2000 )) panel
    until xs_find_tray_panel; do
        (( $(now_ms) >= deadline )) && return 1
        if (( $(now_ms) >= next_map )); then
            panel=$(xs_tray_panel_id)
            if [[ -n $panel ]]; then
                xs_log "trayer's panel is not mapped; mapping it"
                xs_x xdotool windowmap "$panel"
            fi
            next_map=$(( $(now_ms) + 2000 ))
        fi
        sleep 0.1
    done
}

xs_find_tray_panel()
{
    local id
    id=$(xs_tray_panel_id)
    [[ -n $id ]] && xs_has IsViewable xwininfo -id "$id" || return 1
    XS_TRAY_PANEL=$id
}

# Ends, newest first, everything start_session and launch started; safe to call twice and
# from a trap.
stop_session()
{
    local i pid
    for (( i = ${#XS_PIDS[@]} - 1; i >= 0; i-- )); do
        pid=${XS_PIDS[i]}
        xs_running "$pid" && kill -TERM "$pid" 2>/dev/null
        wait_until 5 eval '! xs_running '"$pid" || kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null || true
    done
    XS_PIDS=()
    [[ -n $XS_DIR ]] && rm -rf "$XS_DIR"
    XS_DIR=""
    XS_ROAD=""
    return 0
}

# tray_icon_window PID: the window of process PID embedded in the notification area (xembed).
tray_icon_window()
{
    local tree id
    [[ $XS_ROAD == xembed ]] || return 1
    tree=$(xs_x xwininfo -tree -id "$XS_TRAY_PANEL" 2>/dev/null) || return 1
    for id in $(xs_x xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        if grep -q "^ *$(printf '0x%x' "$id") " <<<"$tree"; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# tray_icon_ready PID: process PID has an icon in the notification area.
tray_icon_ready()
{
    case $XS_ROAD in
        xembed) tray_icon_window "$1" >/dev/null ;;
        sni) sni_item "$1" >/dev/null ;;
        *) return 1 ;;
    esac
}

# window_center WINDOW: prints "X Y", the screen position of the window's middle.
xs_window_center()
{
    local geometry
    geometry=$(xs_x xwininfo -id "$1") || return 1
    awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
         /Width:/ {w=$NF} /Height:/ {h=$NF}
         END {if (w > 0 && h > 0) print int(x + w / 2), int(y + h / 2); else exit 1}' <<<"$geometry"
}

# tray_icon_center PID: prints "X Y", the screen position of the middle of the icon. The sni
# panel holds one icon in its middle (xfce4-panel draws the icons in its own window).
tray_icon_center()
{
    local id
    case $XS_ROAD in
        xembed) id=$(tray_icon_window "$1") || return 1 ;;
        sni) sni_item "$1" >/dev/null || return 1; id=$XS_TRAY_PANEL ;;
        *) return 1 ;;
    esac
    xs_window_center "$id"
}

# tray_right_click PID: a press and release of the right button on the icon.
tray_right_click()
{
    local position
    position=$(tray_icon_center "$1") || { xs_log "no tray icon for process $1"; return 1; }
    # No --sync: it waits for the pointer to move and hangs when it is there already.
    # shellcheck disable=SC2086
    xs_x xdotool mousemove $position || return 1
    sleep 0.2
    xs_x xdotool click 3
}

# find_window PID TITLE: the managed window of process PID whose title is exactly TITLE
# (xdotool matches names as case-insensitive patterns, and Qt's hidden helper windows bear
# the application's name).
find_window()
{
    local id
    for id in $(xs_x xdotool search --all --pid "$1" --name "$2" 2>/dev/null); do
        [[ $(xs_x xdotool getwindowname "$id" 2>/dev/null) == "$2" ]] || continue
        xs_has 'Override Redirect State: no' xwininfo -id "$id" || continue
        echo "$id"
        return 0
    done
    return 1
}

# window_state WINDOW: viewable (on screen), iconic (minimised, still managed: on the task
# bar) or withdrawn (hidden by the program itself).
window_state()
{
    if xs_has 'Map State: IsViewable' xwininfo -id "$1"; then
        echo viewable
    elif xs_has 'window state: Iconic' xprop -id "$1" WM_STATE; then
        echo iconic
    else
        echo withdrawn
    fi
}

window_state_is() { [[ $(window_state "$1") == "$2" ]]; }

# minimise_window WINDOW [STATE]: asks the window manager to minimise WINDOW and waits until
# it is in STATE (default withdrawn: a program that hides itself when minimised).
minimise_window()
{
    xs_x xdotool windowminimize "$1" || return 1
    wait_until 5 window_state_is "$1" "${2:-withdrawn}" || {
        xs_log "window $1 is $(window_state "$1") after minimising, not ${2:-withdrawn}"
        return 1
    }
}

# xs_own_popup PID: a visible override-redirect window of process PID that is neither its
# tray icon nor a tooltip: a menu the program draws.
xs_own_popup()
{
    local icon id
    icon=$(tray_icon_window "$1") || icon=""
    for id in $(xs_x xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        [[ $id == "$icon" ]] && continue
        xs_has 'Override Redirect State: yes' xwininfo -id "$id" || continue
        xs_has TOOLTIP xprop -id "$id" _NET_WM_WINDOW_TYPE && continue
        echo "$id"
        return 0
    done
    return 1
}

# The open menu the panel draws: a viewable child of the root typed as a popup menu.
xs_host_menu_window()
{
    local id
    for id in $(xs_x xwininfo -root -children 2>/dev/null | awk '/^ +0x/ {print $1}'); do
        xs_has 'IsViewable' xwininfo -id "$id" || continue
        xs_has '_NET_WM_WINDOW_TYPE_POPUP_MENU' xprop -id "$id" _NET_WM_WINDOW_TYPE || continue
        echo "$id"
        return 0
    done
    return 1
}

# popup_menu_window PID: the open popup menu of process PID, or with sni the menu the panel
# draws in a window of its own.
popup_menu_window()
{
    xs_own_popup "$1" || { [[ $XS_ROAD == sni ]] && xs_host_menu_window; }
}

# program_menu_is_open PID: a menu of the program's own is open: one it draws, or on sni the
# panel's drawing of the menu the program exports (the panel's own menu does not count).
program_menu_is_open()
{
    xs_own_popup "$1" >/dev/null && return 0
    [[ $XS_ROAD == sni ]] && xs_host_menu_window >/dev/null && [[ -n $(sni_menu_labels "$1") ]]
}

menu_is_open() { popup_menu_window "$1" >/dev/null; }
menu_is_closed() { ! popup_menu_window "$1" >/dev/null; }

# open_tray_menu PID [TRIES]: right-clicks the icon until the popup menu shows.
open_tray_menu()
{
    retry "${2:-3}" xs_click_and_wait_menu "$1"
}

xs_click_and_wait_menu()
{
    # A menu that came late is not clicked away by the next attempt.
    menu_is_open "$1" && return 0
    tray_right_click "$1" && wait_until 5 menu_is_open "$1"
}

# menu_choose PID KEY...: with the menu open, types the keys (e.g. Down Down Return) and
# waits for the menu to close. The keyboard skips separators and disabled items: the first
# Down selects the first enabled item, Up the last one.
menu_choose()
{
    wait_until 5 menu_is_open "$1" || { xs_log "no open menu"; return 1; }
    local pid=$1; shift
    # The menu grabs the keyboard as it maps; keys typed before that go elsewhere.
    sleep 0.3
    xs_x xdotool key --delay 120 "$@" || return 1
    wait_until 5 menu_is_closed "$pid" || { xs_log "menu still open after keys $*"; return 1; }
}

# screenshot FILE: the whole screen as an image.
screenshot()
{
    xs_x import -window root "$1"
}
