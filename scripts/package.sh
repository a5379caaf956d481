#!/usr/bin/env bash
# Builds the Debian packages quillmere and quillmere-site into build/packages/ and checks them:
# lintian, the desktop entry, the AppStream metadata, the service's sandbox and its nginx site, then the client
# itself, started from a scratch root the package is unpacked into.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMERE_BUILD_DIR:-$root/build}
out=$build/packages
"$root/scripts/setup.sh" --package
"$root/scripts/build.sh"

rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out")
rm -rf "$out/_CPack_Packages"
client=$(echo "$out"/quillmere_*.deb)
site=$(echo "$out"/quillmere-site_*.deb)
ls -l "$client" "$site"

# lintian refuses a package with an error in it; warnings are shown.
lintian --fail-on error "$client" "$site"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
dpkg -x "$client" "$scratch/client"
desktop-file-validate "$scratch/client/usr/share/applications/org.quillmere.Quillmere.desktop"
appstreamcli validate --no-net "$scratch/client/usr/share/metainfo/org.quillmere.Quillmere.metainfo.xml"

# The unit is checked in the unpacked root beside this system's own units, which it orders
# itself after; verify reports a fault, even one it ignores, as a line. Its manual page is in the
# package, not on this system.
mkdir -p "$scratch/site/lib/systemd/system"
cp -a /lib/systemd/system/. "$scratch/site/lib/systemd/system/"
dpkg -x "$site" "$scratch/site"
# The template is checked as one of its instances.
for unit in quillmere-site.service quillmere-site@8642.service; do
    if ! faults=$(systemd-analyze verify --man=no --root="$scratch/site" "$unit" 2>&1) || [[ -n $faults ]]; then
        echo "$faults" >&2
        exit 1
    fi
    systemd-analyze security --offline=true --threshold=20 --no-pager --root="$scratch/site" "$unit" | tail -n 1
done

# The nginx site as installed, in a scratch configuration with a certificate of its own.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost \
    -keyout "$scratch/tls.key" -out "$scratch/tls.pem" 2>/dev/null
sed -e "s|/etc/ssl/certs/quillmere-site.pem|$scratch/tls.pem|; s|/etc/ssl/private/quillmere-site.key|$scratch/tls.key|" \
    "$scratch/site/etc/nginx/sites-available/quillmere-site" >"$scratch/nginx-site.conf"
cat >"$scratch/nginx.conf" <<EOF
pid $scratch/nginx.pid;
error_log stderr;
events {}
http { include $scratch/nginx-site.conf; }
EOF
nginx -t -q -p "$scratch" -c "$scratch/nginx.conf"

QUILLMERE_INSTALLED_ROOT="$scratch/client" "$build/tests/installed/tst_installedclient"
