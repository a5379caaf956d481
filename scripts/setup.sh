#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the client.
#   --bench        also what the benchmarks in bench/ compare against: a static web server, curl, wrk
#   --screenshots  also what scripts/screenshots.sh drives the windows with
#   --package      also what scripts/package.sh builds and checks the Debian packages with
# Safe to run again: apt is skipped when everything is already present.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools qt6-webengine-dev
    libqt6sql6-sqlite libqt6sql6-psql postgresql qt6-translations-l10n dbus
    libmicrohttpd-dev libssl-dev clamav-daemon
    nginx curl openssl wrk sshfs socat openssh-sftp-server iproute2
    xvfb xauth fonts-noto-cjk fonts-arphic-ukai
    at-spi2-core python3-pyatspi xdotool x11-utils openbox
)
for group in "$@"; do
    case $group in
    --bench) packages+=(nginx curl wrk) ;;
    --screenshots) packages+=(curl xdotool x11-apps netpbm) ;;
    --package) packages+=(dpkg-dev file lintian desktop-file-utils appstream systemd nginx openssl) ;;
    *) echo "setup.sh: unknown option $group" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=()
if ((EUID != 0)); then
    sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
