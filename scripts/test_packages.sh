#!/usr/bin/env bash
# Checks the packages that scripts/package.sh made:
#   scripts/test_packages.sh OUT BUILD
# OUT holds kestrivan_*.deb, zorvid_*.deb and zorvi-probe_*.deb; BUILD is a build folder
# with tests/packaging/kv_install_probe. Validates the packages (lintian), the AppStream
# metadata, the launcher and the service unit's exposure, then installs the packages into
# a throwaway root with dpkg --root and checks that every file lands in its place, that the
# client finds its help file through the installed machine settings file, that zorvid
# reads its installed configuration, and that purging leaves only the user's own files.
set -euo pipefail
out=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
debs=("$out"/kestrivan_*.deb "$out"/zorvid_*.deb "$out"/zorvi-probe_*.deb)
for deb in "${debs[@]}"; do [ -f "$deb" ] || { echo "missing package: $deb" >&2; exit 1; }; done

fail() { echo "package test: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "-- lintian"
# Errors fail; warnings and notes are listed (the README says why each one is kept).
lintian_rc=0
lintian --fail-on error --display-info --tag-display-limit 0 "${debs[@]}" >"$work/lintian" 2>&1 ||
  lintian_rc=$?
grep -v 'root privileges' "$work/lintian" || true
[ "$lintian_rc" -eq 0 ] || fail "lintian reports errors"
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg_root=(dpkg --root="$root" --log=/dev/null --force-depends)
[ "$(id -u)" -eq 0 ] || dpkg_root+=(--force-not-root)

echo "-- installing into $root"
# The libraries the packages depend on are the host's, not the root's: dependencies are
# not checked here, the files are.
"${dpkg_root[@]}" --install "${debs[@]}" >"$work/dpkg" 2>&1 || { cat "$work/dpkg"; fail "dpkg --install failed"; }

# Every file is one the packages are meant to place, and each of these is there.
placed=0
while IFS= read -r -d '' file; do
  path=${file#"$root"}
  case "$path" in
    /var/lib/dpkg/*) continue ;;
    /usr/bin/kestrivan | /usr/bin/zorvid | /usr/bin/zorvi-probe) ;;
    /usr/share/kestrivan/zorvi.chm) ;;
    /usr/share/applications/kestrivan.desktop) ;;
    /usr/share/icons/hicolor/scalable/apps/kestrivan.svg) ;;
    /usr/share/icons/hicolor/[0-9]*x[0-9]*/apps/kestrivan.png) ;;
    /usr/share/metainfo/*.metainfo.xml) ;;
    /etc/xdg/Marquent/Zorvi.conf | /etc/zorvid/zorvid.conf) ;;
    /lib/systemd/system/zorvid.service) ;;
    /usr/share/zorvid/site/* | /usr/share/zorvid/demo.conf | /usr/share/zorvid/README.md) ;;
    /usr/share/man/man1/kestrivan.1.gz | /usr/share/man/man1/zorvi-probe.1.gz) ;;
    /usr/share/man/man8/zorvid.8.gz) ;;
    /usr/share/doc/kestrivan/* | /usr/share/doc/zorvid/* | /usr/share/doc/zorvi-probe/*) ;;
    *) fail "a package put $path where no file of ours belongs" ;;
  esac
  placed=$((placed + 1))
done < <(find "$root" -mindepth 1 ! -type d -print0)
for path in /usr/bin/kestrivan /usr/bin/zorvid /usr/bin/zorvi-probe \
    /usr/share/kestrivan/zorvi.chm /usr/share/applications/kestrivan.desktop \
    /usr/share/icons/hicolor/scalable/apps/kestrivan.svg \
    /usr/share/icons/hicolor/48x48/apps/kestrivan.png /etc/xdg/Marquent/Zorvi.conf \
    /etc/zorvid/zorvid.conf /lib/systemd/system/zorvid.service /usr/share/zorvid/site/index.html \
    /usr/share/man/man1/kestrivan.1.gz /usr/share/man/man1/zorvi-probe.1.gz \
    /usr/share/man/man8/zorvid.8.gz /usr/share/doc/kestrivan/copyright \
    /usr/share/doc/zorvid/copyright /usr/share/doc/zorvi-probe/copyright; do
  [ -f "$root$path" ] || fail "$path is missing after installation"
done
[ -d "$root/usr/share/kestrivan/config" ] || fail "the server list's folder is missing"
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
[ ${#metainfo[@]} -eq 1 ] && [ -f "${metainfo[0]}" ] || fail "expected one AppStream file"
echo "   $placed files, each in its place"

echo "-- metadata, launcher and unit"
appstreamcli validate --no-net "${metainfo[0]}"
appstreamcli validate-tree --no-net "$root"
desktop-file-validate "$root/usr/share/applications/kestrivan.desktop"
grep -q "<launchable type=\"desktop-id\">kestrivan.desktop</launchable>" "${metainfo[0]}" ||
  fail "the metadata does not name the launcher"
# The exposure rating, 0 to 10, must stay at 2.0 or lower (the threshold counts tenths).
systemd-analyze security --offline=yes --threshold=20 --no-pager \
  "$root/lib/systemd/system/zorvid.service" | tail -1

echo "-- the client's files through the installed machine settings"
# A home of its own and a working folder away from the installation folder, so that
# neither the user's files nor the working-folder fallback can answer in its place.
home=$work/home
mkdir -p "$home/cwd"
probe=$(cd "$home/cwd" && env -i PATH="$PATH" HOME="$home" XDG_CONFIG_DIRS="$root/etc/xdg" \
  XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" QT_QPA_PLATFORM=offscreen \
  "$build/tests/packaging/kv_install_probe")
value() { sed -n "s/^$1=//p" <<<"$probe"; }
[ "$(value machine-file)" = "$root/etc/xdg/Marquent/Zorvi.conf" ] ||
  fail "the program reads $(value machine-file), not the installed settings file"
[ "$(value install-folder)" = /usr/share/kestrivan ] ||
  fail "installation folder is $(value install-folder), not /usr/share/kestrivan"
help=$root$(value help)
[ "$(head -c 4 "$help" 2>/dev/null)" = ITSF ] || fail "no compiled help file at $(value help)"
[ "$(value server-list)" = /usr/share/kestrivan/config/server.cfg ] ||
  fail "the server list is read from $(value server-list)"

echo "-- zorvid's installed configuration"
config=$(env -i PATH="$PATH" "$root/usr/bin/zorvid" --config "$root/etc/zorvid/zorvid.conf" \
  --db /var/lib/zorvid/accounts.db --print-config)
grep -q '"name": "Lobby"' <<<"$config" || fail "zorvid did not read its installed configuration"
grep -q '"bind": "127.0.0.1"' <<<"$config" || fail "the default configuration is not loopback-only"

echo "-- purging"
# The user's own files, which the packages must not take with them.
mkdir -p "$root/home/ann/.config/Marquent"
echo "[1.1b]" >"$root/home/ann/.config/Marquent/Zorvi.conf"
"${dpkg_root[@]}" --purge kestrivan zorvid zorvi-probe >"$work/dpkg" 2>&1 || { cat "$work/dpkg"; fail "dpkg --purge failed"; }
left=$(cd "$root" && find . -mindepth 1 ! -path './var' ! -path './var/lib' \
  ! -path './var/lib/dpkg' ! -path './var/lib/dpkg/*' ! -path './home' ! -path './home/*')
[ -z "$left" ] || fail "purging left behind: $left"
[ -f "$root/home/ann/.config/Marquent/Zorvi.conf" ] || fail "purging took the user's own file"
echo "-- packages passed"
