#!/bin/bash
# End to end: the commands from the command line to the real program in a real X session (its
# window minimised, its menu in trayer): each does what its menu item does, or says why not, in
# one line with its exit status; --status --follow prints each change and each minute of a
# timing; requests that are garbage, of another version or of another user are refused and the
# program goes on.
# Usage: e2e_remote.sh PROGRAM SCHEMA
set -u
program=$1
schema=$2
# shellcheck source=tests/e2e/xsession.sh
source "$(cd "$(dirname "$0")" && pwd)/xsession.sh"
e2e_begin
db=$E2E_WORK/Tallyclock.mdb
cp "$program" "$E2E_WORK/tallyclock"
# The session makes its own runtime folder; before it, none is there.
mkdir -m 700 "$E2E_WORK/run" && export XDG_RUNTIME_DIR=$E2E_WORK/run
sqlite3 "$db" <"$schema" || fail "cannot make the database"
sqlite3 "$db" "INSERT INTO tblProject(Name,Description) VALUES('Alpha',''),('Beta',''),('Gamma',''),('gamma','')" \
    || fail "no projects"

# commands: each line "STATUS|PATTERN|ARGUMENTS": the command exits with STATUS and prints one
# line that matches PATTERN, on standard output when it did its work, else on standard error.
commands() {
    local want pattern args out err status
    while IFS='|' read -r want pattern args; do
        # shellcheck disable=SC2086 # the arguments are words
        out=$(LANG=en_US.UTF-8 "$E2E_WORK/tallyclock" $args 2>"$E2E_WORK/err")
        status=$?
        err=$(<"$E2E_WORK/err")
        ((want == 0)) || { out=$err && err=""; }
        [[ $status == "$want" && $out =~ $pattern && $out != *$'\n'* && -z $err ]] \
            || fail "tallyclock $args: status $status, said: $out $err"
    done
}

# periods N: the database holds N periods, all of Beta.
periods() {
    [[ $(sqlite3 "$db" "SELECT COUNT(*), SUM(ProjectID=2) FROM tblTimePeriod") == "$1|$1" ]] \
        || fail "expected $1 periods of Beta: $(sqlite3 "$db" 'SELECT * FROM tblTimePeriod')"
}

# ask REQUEST PATTERN [USER]: sent straight to the program's socket, the request gets the greeting
# and an answer that matches PATTERN. Another user is refused before any request: only read.
ask() {
    local said
    said=$(printf '%s\n' "$1" | ${3:+setpriv --reuid="$3" --regid=nogroup --clear-groups} \
        timeout 10 socat -t 10 ${3:+-u} "UNIX-CONNECT:$socket,shut-none" -)
    [[ $said =~ ^\{\"tallyclock\":1\}$'\n'.*$2 ]] || fail "request $1 ${3:-}: answered $said"
}

commands <<'EOF'
1|^tallyclock: Tallyclock is not running\.$|--start
1|not running|--stop
1|not running|--toggle
1|not running|--activate Beta
1|not running|--show
0|^Not running$|--status
0|^\{"running":false,"timing":false,"project":null|--status --format json
2|--yes or --no answers the question of --activate|--stop --yes
EOF

start_program "$E2E_WORK/app.log" "$E2E_WORK/tallyclock"
minimise_window "$win" || fail "the window did not hide on minimising"
launch "$E2E_WORK/follow.log" "$E2E_WORK/tallyclock" --status --follow --format json
follower=$LAUNCHED_PID
for socket in "$XDG_RUNTIME_DIR"/tallyclock-*; do [[ -S $socket ]] && break; done
commands <<'EOF'
0|^Idle \(no project active\)$|--status
1|^tallyclock: No timing runs\.$|--stop
1|No project is active|--start
1|No project is named "Delta"|--activate Delta
1|2 projects are named "gamma"|--activate gamma
0|^Beta is the active project\.$|--activate beta
0|^Started timing Beta at [0-9]+:[0-9]{2} [AP]M\.$|--start
1|runs already|--start
1|Book the time so far to Beta and go on timing Alpha\? Answer with --yes or --no\.$|--activate Alpha
0|^Timing Beta since [0-9]+:[0-9]{2} [AP]M \(0:00\)$|--status
EOF
json=$("$E2E_WORK/tallyclock" --status --format json)
read -r fields <<<"$(sqlite3 :memory: "SELECT json_extract(j,'\$.running'), json_extract(j,'\$.timing'),
    json_extract(j,'\$.project'), json_extract(j,'\$.since') GLOB '2*-*-*T*:*:*', json_extract(j,'\$.elapsed_minutes')
    FROM (SELECT '$json' AS j)")"
[[ $fields == '1|1|Beta|1|0' ]] || fail "--status --format json: $json"

while IFS='|' read -r request pattern; do ask "$request" "$pattern"; done <<'EOF'
garbage|\{"message":"Tallyclock cannot read this request\.","ok":false\}$
{"tallyclock":0,"command":"status"}|takes requests of version 1, not 0
{"tallyclock":2,"command":"status"}|takes requests of version 1, not 2
{"tallyclock":1,"command":"status"}|"ok":true,.*"timing":true
EOF
if ((EUID == 0)); then
    # The runtime folder keeps others out; opened up, the program still refuses them.
    chmod o+x "$XS_DIR" "$XDG_RUNTIME_DIR" && chmod 777 "$socket"
    ask '{"tallyclock":1,"command":"stop"}' 'only from the user it runs for' nobody
    chmod o-x "$XS_DIR" "$XDG_RUNTIME_DIR"
else
    echo "e2e: another user's request is not tried: that needs root"
fi

# A line at once, at each change and at each minute of the timing.
wait_until 75 grep -q '"elapsed_minutes":1' "$E2E_WORK/follow.log" || fail "no line after a minute"
commands <<'EOF'
0|^Stored 0:01 for Beta, from .* to .*\.$|--stop
0|^Started timing Beta|--toggle
0|^Stored 0:00 for Beta|--toggle
0|^Started timing Beta|--toggle
EOF
periods 2
# The menu follows: its first enabled timing item is End Timer.
tray_menu "$pid" Down Down Return || fail "cannot choose from the menu"
periods 3
commands <<<'0|^Tallyclock shows its window\.$|--show'
wait_until 5 window_viewable "$win" || fail "--show did not bring the window back"
# Killed while timing, the program leaves the timing written down: --status reads it.
commands <<<'0|^Started timing Beta|--start'
{ kill -KILL "$pid" && wait "$pid"; } 2>/dev/null
wait_until 5 grep -q '"running":false' "$E2E_WORK/follow.log" || fail "the follower missed the end"
commands <<<'0|^Not running \(timing of Beta since [0-9]+:[0-9]{2} [AP]M not ended\)$|--status'
kill "$follower"
expected='false|null false|null true|0 true|1 false|null true|0 false|null true|0 false|null true|0 true|0'
lines=$(sed -E 's/.*"timing":(true|false).*"elapsed_minutes":(null|[0-9]+).*/\1|\2/' "$E2E_WORK/follow.log")
[[ $(tr '\n' ' ' <<<"$lines") == "$expected " ]] || fail "--status --follow printed: $(cat "$E2E_WORK/follow.log")"
echo "e2e: the commands, --status and its follower did what the menu does"
