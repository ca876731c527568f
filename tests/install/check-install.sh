#!/usr/bin/env bash
# check-install.sh tree|validate|deb BUILD_DIR SOURCE_DIR
#   tree      cmake --install into a temporary prefix; every file where the desktop looks
#   validate  desktop-file-validate and appstreamcli on the shipped files
#   deb       cpack builds the .deb; dpkg-deb -x unpacks it into a temporary root
#             (install) and the files are checked
set -euo pipefail
mode=$1 build=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The files of an installed Kalvora under ROOT/PREFIX.
check_files() {
  local root=$1 prefix=$2 udev=$3
  local share="$root$prefix/share"
  for f in "$root$prefix/bin/kalvora" "$root$prefix/bin/kalvora-cli"; do
    [ -x "$f" ] || fail "no program $f"
  done
  [ -f "$share/applications/kalvora.desktop" ] || fail "no launcher"
  [ -f "$share/mime/packages/kalvora.xml" ] || fail "no MIME types"
  [ -f "$share/metainfo/org.kalvora.Kalvora.metainfo.xml" ] || fail "no AppStream file"
  [ -f "$share/icons/hicolor/scalable/apps/kalvora.svg" ] || fail "no SVG icon"
  for size in 16 22 24 32 48 64 128 256; do
    local png="$share/icons/hicolor/${size}x${size}/apps/kalvora.png"
    [ -f "$png" ] || fail "no ${size}px icon"
    # The PNG header carries width and height as big-endian words at bytes 16 and 20.
    local dims
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$dims" = "${size}x${size}" ] || fail "$png is $dims"
  done
  [ -f "$root$udev/60-kalvora-instruments.rules" ] || fail "no udev rule in $udev"
  # The launcher's program and icon are the installed ones.
  grep -qx 'Exec=kalvora %F' "$share/applications/kalvora.desktop" || fail "launcher runs something else"
  grep -qx 'Icon=kalvora' "$share/applications/kalvora.desktop" || fail "launcher shows another icon"
}

case "$mode" in
tree)
  cmake --install "$build" --prefix "$work/usr" >/dev/null
  check_files "" "$work/usr" "$work/usr/lib/udev/rules.d"
  # The installed programs start: the command-line tool answers for its version.
  "$work/usr/bin/kalvora-cli" --version >/dev/null || fail "installed kalvora-cli does not run"
  ;;
validate)
  desktop-file-validate "$source/data/kalvora.desktop"
  appstreamcli validate --no-net --pedantic "$source/data/org.kalvora.Kalvora.metainfo.xml"
  # The MIME file is what update-mime-database accepts.
  mkdir -p "$work/mime/packages"
  cp "$source/data/kalvora-mime.xml" "$work/mime/packages/kalvora.xml"
  update-mime-database "$work/mime"
  grep -q 'application/x-kalvora-logbook' "$work/mime/globs2" || fail "logbook type not registered"
  ;;
deb)
  (cd "$work" && cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >/dev/null)
  deb=$(ls "$work"/out/kalvora_*.deb)
  [ -n "$deb" ] || fail "no package"
  info=$(dpkg-deb -f "$deb" Package Depends)
  grep -q '^Package: kalvora' <<<"$info" || fail "package name"
  grep -q 'libqt6widgets6' <<<"$info" || fail "no Qt dependency: $info"
  grep -q 'libqt6sql6-sqlite' <<<"$info" || fail "no SQLite driver dependency"
  dpkg-deb -x "$deb" "$work/root"
  check_files "$work/root" "/usr" "/usr/lib/udev/rules.d"
  # The packaged program starts as the launcher starts it and shows its logbook window.
  home="$work/home"
  mkdir -p "$home"
  out=$(HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" QT_QPA_PLATFORM=offscreen \
        timeout 60 "$work/root/usr/bin/kalvora" --report-windows --quit-after-ms 1500 2>/dev/null) \
    || fail "the packaged kalvora did not start and quit"
  grep -q '^window: LogBook' <<<"$out" || fail "no logbook window: $out"
  # Nothing outside /usr, where a package may not put files without maintainer scripts.
  stray=$(cd "$work/root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
  [ -z "$stray" ] || fail "files outside /usr: $stray"
  ;;
*) fail "unknown mode $mode" ;;
esac
echo "ok: $mode"
