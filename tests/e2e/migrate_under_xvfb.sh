#!/usr/bin/env bash
# End to end: the real RodividuZIDU on a virtual display (Xvfb), driven by keyboard through
# xdotool like a person would: "..." opens Qt's file dialog, the old library's path is typed
# into it, "Datenübername starten" runs the migration. Then the resulting database is checked
# with the engine shell. Skips (exit 77) where Xvfb or xdotool is missing.
# With KILLS, the tool is first killed (SIGKILL) that many times at moments spread over a
# run, each time started again; after every kill the old library must be unchanged and the
# target must open, and the last, whole run must give the full result.
#   migrate_under_xvfb.sh PROGRAM_FOLDER MAKE_LIBRARY SONAVOXA_SQL [KILLS]
set -euo pipefail
program=$1
make_library=$2
shell=$3
kills=${4:-0}

for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is missing; install it with: apt-get install xvfb xdotool"
        exit 77
    fi
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    [ -f "$work/tool.log" ] && { echo "--- tool output"; cat "$work/tool.log"; }
    exit 1
}
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 10))); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.1
    done
    return 1
}

# A machine of its own: program folder copy, settings and data folder in $work.
mkdir -p "$work/home" "$work/config" "$work/data" "$work/common" "$work/programs" \
    "$work/etc/sonavoxa" "$work/Alte Bibliothek"
cp -a "$program" "$work/Sonavoxa"
printf '[Software\\Sonavoxa]\nAppPathConfig=sz:user.normal\n' > "$work/etc/sonavoxa/registry.ini"
old="$work/Alte Bibliothek/sonavoxa-2.5.mdb"
size=300
[ "$kills" -gt 0 ] && size=20000  # a run long enough to be cut at different moments
summary=$("$make_library" "$old" --titles "$size" --seed 11)
titles=$(echo "$summary" | sed -n 's/.*: \([0-9]*\) titles.*/\1/p')
old_sum=$(md5sum < "$old")
export HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
export XDG_CONFIG_DIRS="$work/etc" SONAVOXA_COMMON_DATA_DIR="$work/common"
export SONAVOXA_PROGRAMS_DIR="$work/programs" QT_QPA_PLATFORM=xcb
data="$work/data/Sonavoxa"
target="$data/sonavoxa.mdb"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 20 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"

start_tool() {
    (cd "$work" && exec "$work/Sonavoxa/RodividuZIDU") >>"$work/tool.log" 2>&1 &
    tool=$!
    pids+=("$tool")
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "Daten aus alter Datenbank") ||
        fail "the window did not appear"
    window=${window%%$'\n'*}
    wait_for 30 test -f "$data/sonavoxa.tree.mdb" || fail "the data folder was not prepared"
    target_inode=$(stat -c %i "$target")
    sleep 1
}

# Chooses the old library in the file dialog and presses the start button.
start_migration() {
    # "..." is next to the start button in the tab order.
    xdotool windowfocus --sync "$window"
    xdotool key --clearmodifiers Tab space
    dialog=$(timeout 30 xdotool search --sync --onlyvisible --name "Sonavoxa Datenbank Version 2.5") ||
        fail "the file dialog did not open"
    dialog=${dialog%%$'\n'*}
    xdotool windowfocus --sync "$dialog"
    sleep 0.5
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 2 "$old"
    xdotool key --clearmodifiers Return
    wait_for 20 sh -c "! xdotool search --onlyvisible --name 'Sonavoxa Datenbank Version 2.5'" ||
        fail "the file dialog did not close"

    # Back in the window, focus on "...": the start button is one step back.
    xdotool windowfocus --sync "$window"
    sleep 0.5
    xdotool key --clearmodifiers shift+Tab space
}

count() { "$shell" "$target" "$1" | sed -n 2p; }

# The compacted copy takes the target's place at the very end, then the marker goes.
done_run() {
    [ "$(stat -c %i "$target" 2>/dev/null)" != "$target_inode" ] &&
        [ ! -e "$data/~migration.run" ] && [ ! -e "$data/temp.mdb" ]
}

if [ "$kills" -gt 0 ]; then
    # A whole run first, to learn how long one takes on this machine (and build).
    start_tool
    start_migration
    started=$(date +%s.%N)
    wait_for 120 done_run || fail "the first migration did not finish"
    duration=$(awk -v s="$started" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')
    kill -KILL "$tool" 2>/dev/null || true
    wait "$tool" 2>/dev/null || true
fi
# Kills spread over a run, each at a random moment of its own share of it.
for ((k = 1; k <= kills; k++)); do
    start_tool
    start_migration
    sleep "$(awk -v k="$k" -v n="$kills" -v r="$RANDOM" -v d="$duration" \
        'BEGIN { printf "%.2f", (k - 1 + r / 32768) * d / n }')"
    kill -KILL "$tool" 2>/dev/null || true
    wait "$tool" 2>/dev/null || true
    [ "$(md5sum < "$old")" = "$old_sum" ] || fail "kill $k: the old library was changed"
    count 'select count(*) as n from pl_name' >/dev/null || fail "kill $k: the target does not open"
    echo "killed run $k$([ -e "$data/~migration.run" ] && echo ", left unfinished")"
done

start_tool
start_migration

wait_for 120 done_run || fail "the migration did not finish"
kill -0 "$tool" 2>/dev/null || fail "the tool ended by itself"
[ "$(count 'select count(*) as n from db_all')" = "$titles" ] || fail "db_all does not hold $titles titles"
[ "$(count "select count(*) as n from pl_name where name = 'Jingleliste'")" = 1 ] ||
    fail "the playlist Jingleliste is missing"
[ "$(count 'select count(*) as n from TREE_GENRE')" -gt 0 ] || fail "the genre tree is empty"
[ "$(md5sum < "$old")" = "$old_sum" ] || fail "the old library was changed"
echo "migrated $titles titles through the window on display $DISPLAY"
