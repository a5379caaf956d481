#!/usr/bin/env bash
# Sets up the machine, builds, starts the reference site on the default server root
# (http://127.0.0.1:8642/) and opens the client against it. Closing the client stops the site.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMERE_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/build.sh"

site_log=$build/site.log
# Files come at 2 MiB a second, as over a real line, so that a download can be watched.
"$build/site/quillmere-site" --port 8642 --data "$build/site-data" --rate 2048 >"$site_log" 2>&1 &
site=$!
trap 'kill "$site" 2>/dev/null || true; wait "$site" 2>/dev/null || true' EXIT

for _ in $(seq 100); do
    grep -q '^Listening on' "$site_log" && break
    if ! kill -0 "$site" 2>/dev/null; then
        echo "The reference site did not start:" >&2
        cat "$site_log" >&2
        exit 1
    fi
    sleep 0.1
done

"$build/bin/quillmere"
