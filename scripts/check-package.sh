#!/usr/bin/env bash
# Installs the Debian package on a fresh, minimal Debian 12 (bookworm) and runs it there, as on a new
# machine: apt resolves the package's Depends from the machine's own Debian mirror (without Recommends), then the
# programs run from /usr (--version; the monitor offscreen, once with the sample configuration by its
# absolute path and once through corvane-monitor-start, against the simulated engine), and the
# package is removed again.
#   scripts/check-package.sh [PACKAGE.deb]     default: the newest build-package/*.deb (scripts/package.sh)
# Needs root, debootstrap and the network. The base system's packages are downloaded once into
# build-package/check/; every run unpacks a new root from them, so every check starts from scratch.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# The mirrors are the ones this machine's apt already uses (its sources, by release codename), so the
# check runs wherever apt works. The variables override them.
# shellcheck disable=SC2016 # apt's own fields
apt_repository() {
    apt-get indextargets --format '$(CODENAME) $(REPO_URI)' 'Created-By: Packages' 2>/dev/null |
        awk -v codename="$1" '$1 == codename { sub("/$", "", $2); print $2; exit }'
}
mirror=${CORVANE_DEBIAN_MIRROR:-$(apt_repository bookworm)}
security=${CORVANE_DEBIAN_SECURITY_MIRROR:-$(apt_repository bookworm-security)}
if [ -z "$mirror" ] || [ -z "$security" ]; then
    echo "check-package.sh: this machine's apt sources have no bookworm and bookworm-security;" \
        "set CORVANE_DEBIAN_MIRROR and CORVANE_DEBIAN_SECURITY_MIRROR" >&2
    exit 1
fi
cache=$top/build-package/check

deb=${1:-}
if [ -z "$deb" ]; then
    deb=$(find "$top/build-package" -maxdepth 1 -name 'corvane-monitor_*.deb' -printf '%T@ %p\n' 2>/dev/null |
        sort -n | tail -n 1 | cut -d' ' -f2-)
fi
if [ -z "$deb" ] || [ ! -f "$deb" ]; then
    echo "check-package.sh: no package; run scripts/package.sh first, or name one" >&2
    exit 1
fi
deb=$(readlink -f "$deb")
if [ "$(id -u)" -ne 0 ]; then
    echo "check-package.sh: needs root (debootstrap, chroot, mount)" >&2
    exit 1
fi
if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap
fi

mkdir -p "$cache"
tarball=$cache/bookworm-minbase.tgz
if [ ! -f "$tarball" ]; then
    echo "== downloading the base system (once)"
    rm -rf "$cache/tarball-work"
    debootstrap --variant=minbase --make-tarball="$tarball.part" bookworm "$cache/tarball-work" "$mirror"
    mv "$tarball.part" "$tarball"
    rm -rf "$cache/tarball-work"
fi

root=$(mktemp -d "$cache/root.XXXXXX")
# A machine's root is open to all; apt's own user must reach its folders.
chmod 755 "$root"
mounts=()
cleanup() {
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" 2>/dev/null || true; done
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
in_root() { chroot "$root" /usr/bin/env DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "$@"; }

echo "== a fresh Debian 12 in $root"
debootstrap --variant=minbase --unpack-tarball="$tarball" bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    { tail -n 30 "$root.debootstrap.log" >&2; exit 1; }
rm -f "$root.debootstrap.log"
cat >"$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
SOURCES
cp /etc/resolv.conf "$root/etc/resolv.conf"
# No services start in here.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
mount -t proc proc "$root/proc" && mounts+=("$root/proc")
mount --bind /dev "$root/dev" && mounts+=("$root/dev")
mount --bind /dev/pts "$root/dev/pts" && mounts+=("$root/dev/pts")

echo "== apt installs $(basename "$deb") and what it depends on"
cp "$deb" "$root/tmp/"
in_root apt-get update -q >/dev/null
in_root apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")" | tail -n 3
# shellcheck disable=SC2016 # dpkg-query's own fields
in_root dpkg-query -W -f='${Package} ${Version} ${db:Status-Status}\n' corvane-monitor

echo "== the programs run"
cp "$top/packaging/smoke-installed.sh" "$root/tmp/"
# A private loopback keeps the sample's fixed ports to this check.
# shellcheck disable=SC2016 # the inner shell expands its own arguments
unshare -n /bin/bash -c 'ip link set lo up && exec chroot "$1" /usr/bin/env HOME=/root /bin/bash /tmp/smoke-installed.sh /usr --sample-ports' \
    _ "$root"

echo "== removal"
in_root apt-get remove -y -q corvane-monitor >/dev/null
for program in corvane-monitor corvane-engine-sim corvane-monitor-start; do
    if [ -e "$root/usr/bin/$program" ]; then
        echo "FAIL: /usr/bin/$program is left after removal" >&2
        exit 1
    fi
done
echo "ok: $(basename "$deb") installs, runs and goes on a fresh Debian 12"
