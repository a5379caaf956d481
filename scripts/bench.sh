#!/usr/bin/env bash
# Builds and runs every benchmark, then prints their figures as one table (Markdown) with the
# machine they ran on. The download benchmark moves 1 GiB over loopback (give another size in
# MiB as the first argument); the site is put under wrk next to nginx, and filled with up to a
# million uploads and messages on SQLite and on PostgreSQL; windows are drawn on the offscreen
# platform, start-up is timed under Xvfb. `bench.sh --growth [bench_growth's arguments]` runs
# only the last, and prints its tables.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMERE_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh" --bench
"$root/scripts/build.sh" >/dev/null

if [[ ${1:-} == --growth ]]; then
    shift
    exec "$build/bench/bench_growth" "$@"
fi

log=$(mktemp)
growth=$(mktemp)
trap 'rm -f "$log" "$growth"' EXIT
run() {
    echo "== $*" >&2
    "$@" 2> >(grep -v XDG_RUNTIME_DIR >&2) | tee -a "$log" >&2
}
run "$build/bench/bench_catalogue"
QT_QPA_PLATFORM=offscreen run "$build/bench/bench_listview"
run "$build/bench/bench_download" "${1:-1024}"
run "$build/bench/bench_site"
run "$build/bench/bench_upload_scan"
QT_QPA_PLATFORM=offscreen run "$build/bench/bench_progressbar"
run xvfb-run -a -s "-screen 0 1280x800x24" "$build/bench/bench_startup"
# Its tables have a column a size, so they are printed apart.
echo "== $build/bench/bench_growth" >&2
"$build/bench/bench_growth" | tee "$growth" >&2

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
memory=$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)
echo
echo "Measured $(date +%Y-%m-%d) on $(nproc) cores of $cpu, $memory, $(. /etc/os-release && echo "$PRETTY_NAME"):"
echo
echo "| Figure | Measured | Target |"
echo "|---|---|---|"
grep '^| ' "$log"
echo
echo "The site filled with N uploads and N messages, on each store:"
echo
cat "$growth"
