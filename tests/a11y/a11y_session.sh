#!/usr/bin/env bash
# Runs inside dbus-run-session: a display, the accessibility bus, the reference site sending
# files slowly, and the client against it from a copy of its program folder; then the walk.
# Usage: a11y_session.sh <client> <program folder> <site> <walk.py>
set -euo pipefail
client=$1 program=$2 site=$3 walk=$4

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to 30 s for a line matching $2 in file $1, unless process $3 stops first.
await_line() {
    for ((tries = 0; tries < 300; ++tries)); do
        grep -q "$2" "$1" && return 0
        kill -0 "$3" 2>/dev/null || break
        sleep 0.1
    done
    echo "no '$2' in $1:" >&2
    cat "$1" >&2
    return 1
}

# Xvfb picks a free display and writes its number.
: >"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
await_line "$work/display" . "${pids[-1]}"
export DISPLAY=:$(cat "$work/display")
# A window manager, as on a desktop: it gives new windows the focus and closes one on Alt+F4.
openbox --sm-disable >"$work/wm.log" 2>&1 &
pids+=($!)
for ((tries = 0; tries < 300; ++tries)); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

# 32 KiB a second: the bar is seen between its first step and its end.
"$site" --host 127.0.0.1 --port 0 --data "$work/site" --rate 32 >"$work/site.log" 2>&1 &
pids+=($!)
await_line "$work/site.log" '^Listening on' "${pids[-1]}"
root=$(sed -n 's/^Listening on //p' "$work/site.log" | head -n 1)

# The copy keeps downloads out of the build; the skin and the web engine come along.
cp -r "$program" "$work/bin"
cp "$client" "$work/bin/"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QTWEBENGINE_DISABLE_SANDBOX=1
"$work/bin/$(basename "$client")" "$root" >"$work/client.log" 2>&1 &
pids+=($!)

status=0
/usr/bin/python3 "$walk" "$root" "$work/bin" || status=$?
if ((status != 0)); then
    echo "--- client log" >&2
    cat "$work/client.log" >&2
fi
exit "$status"
