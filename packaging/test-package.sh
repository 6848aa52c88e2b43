#!/usr/bin/env bash
# The Debian package of an already-built tree, checked without installing it on this machine:
#   test-package.sh BUILD_DIR VERSION SOURCE_DIR
# Packs with cpack (nothing is rebuilt), checks the control fields and that every Depends is met by
# what this machine has installed, checks the files and the desktop entry, then unpacks the package
# into a throwaway root and runs its programs from there (smoke-installed.sh).
set -euo pipefail

build=$1
version=$2
source=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
started=$SECONDS

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack exited with $?"; }
debs=("$work"/out/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then fail "cpack made ${#debs[@]} packages"; fi
deb=${debs[0]}
echo "packed $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB) in $((SECONDS - started)) s"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = corvane-monitor ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = net ] || fail "Section: $(field Section)"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"

depends=$(field Depends)
echo "Depends: $depends"
# The libraries the programs link and what the package adds of its own.
names=$(tr ',|' '\n' <<<"$depends" | awk '{ print $1 }')
for needed in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6multimedia6 \
    libqt6svg6 libcurl4 libxcb1 fonts-liberation; do
    grep -qxF "$needed" <<<"$names" || fail "Depends lacks $needed"
done
# Every item must be met by an installed package: one of its alternatives, at a version that fits.
IFS=',' read -ra items <<<"$depends"
for item in "${items[@]}"; do
    met=""
    IFS='|' read -ra alternatives <<<"$item"
    for alternative in "${alternatives[@]}"; do
        read -r name _ <<<"$alternative"
        name=${name%%:*}
        installed=$(dpkg-query -W -f='${db:Status-Status} ${Version}\n' "$name" 2>/dev/null |
            awk '$1 == "installed" { print $2; exit }') || true
        [ -n "$installed" ] || continue
        if [[ $alternative =~ \(([\<\>=]+)\ *([^\)]+)\) ]]; then
            dpkg --compare-versions "$installed" "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" || continue
        fi
        met=$name
        break
    done
    [ -n "$met" ] || fail "nothing installed here meets \"${item# }\""
done
echo "ok: control fields; every Depends is met on this machine"

dpkg-deb -x "$deb" "$work/root"
usr="$work/root/usr"
for program in corvane-monitor corvane-engine-sim corvane-monitor-start; do
    [ -x "$usr/bin/$program" ] || fail "no program usr/bin/$program"
done
for file in share/corvane-monitor/monitor.ini share/corvane-monitor/demo.log \
    share/doc/corvane-monitor/README.md share/doc/corvane-monitor/README.engine-sim.md \
    share/applications/corvane-monitor.desktop share/icons/hicolor/scalable/apps/corvane-monitor.svg \
    lib/systemd/system/corvane-monitor-watch@.service; do
    [ -f "$usr/$file" ] || fail "no file usr/$file"
done
cmp -s "$source/data/monitor.ini" "$usr/share/corvane-monitor/monitor.ini" || fail "the sample differs"
for page in "$source"/docs/*.1; do
    [ -e "$page" ] || continue
    [ -f "$usr/share/man/man1/$(basename "$page")" ] || fail "manual page $(basename "$page") not installed"
done
# Nothing outside /usr, nothing left over from the build.
unexpected=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -Ev '^\./(usr(/.*)?)?$' || true)
[ -z "$unexpected" ] || fail "files outside /usr: $unexpected"
if dpkg-deb -c "$deb" | grep -Eq 'build-|CMakeFiles|\.o$'; then fail "build files in the package"; fi
for program in corvane-monitor corvane-engine-sim; do
    if readelf -S "$usr/bin/$program" | grep -Eq '\.(symtab|debug_info)'; then fail "$program is not stripped"; fi
done

desktop="$usr/share/applications/corvane-monitor.desktop"
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the desktop entry's icon $icon is not installed"
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$usr/bin/$exec_program" ] || fail "the desktop entry starts $exec_program, which is not installed"
python3 -c 'import sys, xml.etree.ElementTree as E; r = E.parse(sys.argv[1]).getroot(); sys.exit(r.tag != "{http://www.w3.org/2000/svg}svg")' \
    "$usr/share/icons/hicolor/scalable/apps/$icon.svg" || fail "the icon is not an SVG document"
echo "ok: files, desktop entry and icon"

# A private loopback, where one can be had, frees the sample's fixed ports for the launcher's start.
netns=()
if unshare -n true 2>/dev/null; then
    netns=(unshare -n)
elif unshare -rn true 2>/dev/null; then
    netns=(unshare -rn)
fi
if [ ${#netns[@]} -gt 0 ] && command -v ip >/dev/null; then
    # shellcheck disable=SC2016 # the inner shell expands its own arguments
    "${netns[@]}" bash -c 'ip link set lo up && exec bash "$1" "$2" --sample-ports' _ \
        "$here/smoke-installed.sh" "$usr"
else
    bash "$here/smoke-installed.sh" "$usr"
fi
echo "package test took $((SECONDS - started)) s"
