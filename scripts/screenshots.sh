#!/usr/bin/env bash
# Photographs each of the five windows under Xvfb against the reference site, into
# docs/screenshots/. The reference site runs on the default server root, so port 8642 must be
# free; it sends files slowly so that the user window is caught mid-download.
# QUILLMERE_SCALE=2 photographs them at twice the pixel density (QT_SCALE_FACTOR) into
# QUILLMERE_SCREENSHOT_DIR, by default docs/screenshots.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMERE_BUILD_DIR:-$root/build}
out=${QUILLMERE_SCREENSHOT_DIR:-$root/docs/screenshots}
scale=${QUILLMERE_SCALE:-1}
"$root/scripts/setup.sh" --screenshots
"$root/scripts/build.sh"
mkdir -p "$out"

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

export DISPLAY=:87 QTWEBENGINE_DISABLE_SANDBOX=1 QT_SCALE_FACTOR=$scale
Xvfb "$DISPLAY" -screen 0 $((1280 * scale))x$((800 * scale))x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)

# The sample messages go in one after another, faster than a visitor may post.
"$build/site/quillmere-site" --port 8642 --data "$work/site" --rate 1024 --message-interval 0 \
    >"$work/site.log" 2>&1 &
pids+=($!)
# Thirty seconds for the site to listen, unless it stops first (the port taken, say).
for ((tries = 0; ; ++tries)); do
    grep -q '^Listening on' "$work/site.log" && break
    if ((tries == 300)) || ! kill -0 "${pids[-1]}" 2>/dev/null; then
        echo "The reference site did not start:" >&2
        cat "$work/site.log" >&2
        exit 1
    fi
    sleep 0.1
done
site=http://127.0.0.1:8642/
for message in "路人甲|资源很全，感谢站长！" "阿强|上传了一个批量重命名工具，欢迎试用。" "小明|请问有没有 Qt 6 的入门教程？"; do
    curl -s -o /dev/null -F "name=${message%%|*}" -F "text=${message#*|}" "${site}nds_wd-nds_wd.html"
done

# The client runs from a copy of its program folder, so that its downloads stay out of the build.
cp -r "$build/bin" "$work/bin"
client=
start_client() {
    "$work/bin/quillmere" >>"$work/client.log" 2>&1 &
    client=$!
    main=$(window 'Quillmere盒子共享版')
    sleep 1
}
stop_client() {
    kill "$client"
    wait "$client" 2>/dev/null || true
}
# A window that closes while the search walks the window tree fails the search: ask again.
window() {
    local id=
    until id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) && [[ -n $id ]]; do
        sleep 0.2
    done
    echo "$id"
}
# Positions are given in the windows' logical pixels.
click() {
    xdotool mousemove --window "$1" $(($2 * scale)) $(($3 * scale)) click "${4:-1}"
}
shoot() {
    xwd -silent -id "$1" | xwdtopnm 2>/dev/null | pnmtopng >"$out/$2.png"
    echo "$out/$2.png"
}

start_client
shoot "$main" main

click "$main" 48 270
guanfang=$(window 官方资源)
sleep 3
click "$guanfang" 150 107
sleep 4
shoot "$guanfang" guanfang
stop_client

# The user window downloads the largest sample file; find its page and row first.
page=0
row=
while [[ -z $row ]]; do
    page=$((page + 1))
    row=$(curl -s "${site}wangyou/users_upload.php?page=$page" | tr '\001' '\n' | grep -n 'hometown-aerial' | cut -d: -f1 || true)
done
start_client
click "$main" 144 270
wangyou=$(window 网友资源)
sleep 2
for ((i = 1; i < page; i++)); do
    click "$wangyou" 256 512
    sleep 1
done
xdotool mousemove --window "$wangyou" $((150 * scale)) $(((103 + 22 * (row - 1)) * scale)) click --repeat 2 --delay 100 1
sleep 3
shoot "$wangyou" wangyou
stop_client

start_client
click "$main" 240 270
fenxiang=$(window 资源上传)
sleep 4
shoot "$fenxiang" fenxiang
stop_client

start_client
click "$main" 215 243
liuyan=$(window 留言)
sleep 4
shoot "$liuyan" liuyan
stop_client
