#!/usr/bin/env bash
# Installs everything the build, the tests, the fuzzing and the benchmarks need on Debian 12.
# Idempotent: when every package is already installed, apt is not touched at all (fast and
# works offline). Run as root, or as a user with sudo.
set -euo pipefail

PACKAGES=(
    # build
    build-essential cmake ninja-build ccache g++
    # the windows (Qt 6 Widgets and SVG) and their tests on a virtual display with a tray host;
    # screenshots with ImageMagick's import, framed by a small window manager
    qt6-base-dev qt6-svg-dev libqt6svg6 xvfb xauth trayer imagemagick xdotool x11-utils openbox
    # fuzzing (libFuzzer runtime) and formatting
    clang clang-14 libclang-rt-14-dev clang-format
    # unit tests
    googletest libgtest-dev libgmock-dev
    # server music: MIDI synthesis and a General MIDI sound font
    pkg-config libfluidsynth-dev timgm6mb-soundfont
    # packaging: checks of the installed desktop entries, AppStream files and service unit, the
    # Debian package's dependencies
    desktop-file-utils appstream systemd man-db dpkg-dev file bash-completion
    # interop test peers (clients)
    tftp-hpa atftp busybox curl
    # the live ICMP report test pings 127.0.0.1
    iputils-ping
    # reference server for the benchmarks (its system service is kept off)
    tftpd-hpa
    # benchmarks: dnsmasq's TFTP server as a reference (dnsmasq-base is the program alone, with
    # no system service, so nothing listens after the install); instruction counts (perf stat
    # where the CPU exposes counters, else callgrind); GNU time
    dnsmasq-base linux-perf valgrind time
    # run-time libraries of the unpacked atftpd (see below)
    libwrap0 libpcre2-8-0
)
# Packages that ship a TFTP service which must not stay running or enabled on port 69.
SERVICES=(tftpd-hpa atftpd)

# atftpd is also a benchmark reference, but Debian declares it in conflict with tftpd-hpa, so it
# cannot be installed beside it. Its package is downloaded with apt and only unpacked (never
# registered with dpkg, so no service, no maintainer scripts) under ATFTPD_ROOT, with the server
# linked as ATFTPD_LINK.
ATFTPD_ROOT=/opt/atftpd
ATFTPD_LINK=/usr/local/sbin/atftpd

SUDO=()
if [[ ${EUID:-$(id -u)} -ne 0 ]]; then
    if command -v sudo >/dev/null 2>&1; then
        SUDO=(sudo)
    else
        echo "setup-debian.sh: must run as root (no sudo found)" >&2
        exit 1
    fi
fi

is_installed() {
    [[ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null || true)" == installed ]]
}

missing=()
for p in "${PACKAGES[@]}"; do
    is_installed "$p" || missing+=("$p")
done

need_atftpd=0
[[ -x $ATFTPD_ROOT/usr/sbin/atftpd && -L $ATFTPD_LINK ]] || need_atftpd=1

if [[ ${#missing[@]} -eq 0 && $need_atftpd -eq 0 ]]; then
    echo "setup-debian.sh: all ${#PACKAGES[@]} packages and atftpd already installed"
    exit 0
fi

echo "setup-debian.sh: installing: ${missing[*]:-}$([[ $need_atftpd -eq 1 ]] && echo ' atftpd(unpacked)')"
export DEBIAN_FRONTEND=noninteractive

# Keep maintainer scripts from starting daemons while we install (invoke-rc.d honours this).
# Only a policy file that we put there ourselves is removed again.
POLICY=/usr/sbin/policy-rc.d
own_policy=0
if [[ ! -e $POLICY ]]; then
    printf '#!/bin/sh\nexit 101\n' | "${SUDO[@]}" tee "$POLICY" >/dev/null
    "${SUDO[@]}" chmod 755 "$POLICY"
    own_policy=1
fi
cleanup() {
    if [[ $own_policy -eq 1 ]]; then
        "${SUDO[@]}" rm -f "$POLICY"
    fi
}
trap cleanup EXIT

"${SUDO[@]}" apt-get update
if [[ ${#missing[@]} -ne 0 ]]; then
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "${missing[@]}"
fi

if [[ $need_atftpd -eq 1 ]]; then
    dl=$(mktemp -d)
    # apt downloads as its sandbox user, who must be able to write here
    if id _apt >/dev/null 2>&1; then chown _apt "$dl" 2>/dev/null || chmod 777 "$dl"; else chmod 755 "$dl"; fi
    (cd "$dl" && "${SUDO[@]}" apt-get download atftpd)
    deb=$(ls "$dl"/atftpd_*.deb)
    "${SUDO[@]}" rm -rf "$ATFTPD_ROOT"
    "${SUDO[@]}" mkdir -p "$ATFTPD_ROOT"
    "${SUDO[@]}" dpkg-deb -x "$deb" "$ATFTPD_ROOT"
    "${SUDO[@]}" mkdir -p "$(dirname "$ATFTPD_LINK")"
    "${SUDO[@]}" ln -sfn "$ATFTPD_ROOT/usr/sbin/atftpd" "$ATFTPD_LINK"
    "${SUDO[@]}" rm -rf "$dl"
    "$ATFTPD_LINK" --help >/dev/null 2>&1 || {
        echo "setup-debian.sh: unpacked atftpd does not run" >&2
        exit 1
    }
fi

# Make sure no packaged TFTP service is left enabled or running on port 69.
for svc in "${SERVICES[@]}"; do
    is_installed "$svc" || continue
    if command -v systemctl >/dev/null 2>&1 && [[ -d /run/systemd/system ]]; then
        "${SUDO[@]}" systemctl disable --now "$svc.service" >/dev/null 2>&1 || true
        "${SUDO[@]}" systemctl disable --now "$svc.socket" >/dev/null 2>&1 || true
    elif command -v systemctl >/dev/null 2>&1; then
        # No running systemd (container): still drop the enablement links.
        "${SUDO[@]}" systemctl disable "$svc.service" >/dev/null 2>&1 || true
        "${SUDO[@]}" systemctl disable "$svc.socket" >/dev/null 2>&1 || true
    fi
    if [[ -x /etc/init.d/$svc ]]; then
        "${SUDO[@]}" /etc/init.d/"$svc" stop >/dev/null 2>&1 || true
        if command -v update-rc.d >/dev/null 2>&1; then
            "${SUDO[@]}" update-rc.d "$svc" disable >/dev/null 2>&1 || true
        fi
    fi
done

still=()
for p in "${PACKAGES[@]}"; do
    is_installed "$p" || still+=("$p")
done
if [[ ${#still[@]} -ne 0 ]]; then
    echo "setup-debian.sh: still missing: ${still[*]}" >&2
    exit 1
fi
echo "setup-debian.sh: done"
