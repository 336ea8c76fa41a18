#!/usr/bin/env bash
# Installs the Tallyforge Debian package on this machine as a user would, checks
# what it installed and that the installed program starts and shows its window,
# then removes and purges it and checks that nothing of it is left.
#
# It changes the system (apt-get install and remove, as root or through sudo),
# so it is not part of scripts/test.sh; run it where that is fine.
#
#   scripts/package_check.sh [tallyforge_VERSION_ARCH.deb]
#       without an argument, builds the package with scripts/package.sh first
#
# The installed window's screenshot is left beside the package as
# installed_window.png.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$(pwd)"

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
apt_get() {
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -q "$@"
}
installed() {
  dpkg-query -W -f='${Status}' tallyforge 2>/dev/null | grep -q 'install ok installed'
}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
ok() { echo "ok: $*"; }

# desktop-file-validate checks the entry and appstreamcli the metainfo; Xvfb
# and xdotool let the program open a real X11 window, which needs the xcb
# plugin the package must bring.
bash scripts/ensure_packages.sh desktop-file-utils appstream xvfb xauth xdotool

if [ $# -ge 1 ]; then
  deb="$(realpath "$1")"
else
  deb="$(bash scripts/package.sh)"
fi
echo "package: $deb"

if installed; then
  echo "tallyforge is installed on this machine already; this check removes what" >&2
  echo "it installs, so remove it first (apt-get remove tallyforge)" >&2
  exit 1
fi

work="$(mktemp -d)"
we_installed=false
cleanup() {
  # Never leave the package behind because a check failed half-way.
  if $we_installed && installed; then
    echo "purging the package after a failed check" >&2
    apt_get purge tallyforge >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- the package file ---
version="$(sed -nE 's/^project\(Tallyforge VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)"
arch="$(dpkg --print-architecture)"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(basename "$deb")" = "tallyforge_${version}_${arch}.deb" ] ||
  fail "file name $(basename "$deb") is not tallyforge_${version}_${arch}.deb"
[ "$(field Package)" = "tallyforge" ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
[[ "$(field Maintainer)" == "Tallyforge authors <"*">" ]] || fail "Maintainer: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"
[ -n "$(field Homepage)" ] || fail "no Homepage"
depends="$(field Depends)"
echo "Depends: $depends"
# A version constraint on the Qt Widgets library shows dpkg-shlibdeps did the work.
grep -Eq '(^|, )libqt6widgets6 \(>= [^)]+\)' <<<"$depends" ||
  fail "Depends has no derived libqt6widgets6 (>= ...)"
# The xcb platform plugin is loaded with dlopen; whichever package holds it
# here must be a dependency.
xcb_plugin="$(dpkg -L libqt6gui6 qt6-qpa-plugins 2>/dev/null | grep '/platforms/libqxcb\.so$' | head -n1 || true)"
if [ -n "$xcb_plugin" ]; then
  xcb_package="$(dpkg -S "$xcb_plugin" | head -n1 | cut -d: -f1)"
  if grep -Eq "(^|, )$xcb_package( |,|$)" <<<"$depends"; then
    ok "Depends names $xcb_package, which holds the xcb platform plugin"
  else
    fail "Depends lacks $xcb_package, which holds $xcb_plugin"
  fi
fi
echo "contents:"
dpkg-deb -c "$deb" | awk '{ print "  " $NF }'

if command -v lintian >/dev/null; then
  lintian_report="$(lintian --info --display-info --pedantic "$deb" 2>&1 | grep -E '^[EWIPX]: ' || true)"
  echo "lintian:${lintian_report:+$'\n'}${lintian_report:- no tags}"
  ! grep -q '^E: ' <<<"$lintian_report" || fail "lintian reports errors"
else
  echo "note: lintian is not installed; skipped"
fi

# --- install ---
apt_get install "$deb"
we_installed=true
installed || fail "dpkg does not list tallyforge as installed"
dpkg -L tallyforge >"$work/files"
for path in /usr/bin/tallyforge /usr/share/applications/tallyforge.desktop \
  /usr/share/icons/hicolor/32x32/apps/tallyforge.png /usr/share/metainfo/tallyforge.metainfo.xml; do
  grep -qx "$path" "$work/files" || fail "the package does not own $path"
done

TALLYFORGE_SCREENSHOT="$(dirname "$deb")/installed_window.png" \
  bash packaging/check_install_tree.sh --version "$version" /usr || fail "installed files (above)"

# On a real X server, started the way the menu entry starts it. (A script
# rather than a function: xvfb-run's sh does not pass exported functions on.)
# shellcheck disable=SC2016 # expanded by the inner bash
# timeout bounds the program's life even if this check is interrupted, and its
# KILL reaches anything in the program's process group that outlives TERM.
x_check='
  timeout -k 5 60 /usr/bin/tallyforge &
  pid=$!
  window="$(timeout 20 xdotool search --sync --onlyvisible --name "^Tallyforge\$" | head -n1 || true)"
  if [ -n "$window" ]; then
    echo "X11 window $window: $(xdotool getwindowgeometry "$window" | sed -n "s/^ *Geometry: //p")"
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ -n "$window" ]'
if (cd "$work" && env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$x_check"); then
  ok "the installed program opened its window on an X server (xcb)"
else
  fail "no visible window titled Tallyforge on the X server within 20 s"
fi

# --- remove and purge ---
apt_get remove tallyforge
installed && fail "still installed after apt-get remove"
# A package without configuration files is gone from dpkg after remove, and
# apt-get then refuses to purge a name it cannot find in any archive.
if dpkg-query -W tallyforge >/dev/null 2>&1; then
  apt_get purge tallyforge
else
  echo "apt-get remove left nothing to purge"
fi
we_installed=false
if dpkg -s tallyforge >/dev/null 2>&1; then
  fail "dpkg still knows tallyforge after purge: $(dpkg-query -W -f='${Status}' tallyforge)"
else
  ok "dpkg reports tallyforge not installed"
fi
left=0
while IFS= read -r path; do
  # Some packages list the root itself as "/.".
  [ "$path" = "/." ] && continue
  [ -e "$path" ] || [ -L "$path" ] || continue
  # Shared folders such as /usr/bin stay; they belong to other packages too.
  if [ -d "$path" ] && [ ! -L "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then
    continue
  fi
  fail "left behind: $path"
  left=$((left + 1))
done <"$work/files"
[ "$left" -eq 0 ] && ok "none of the $(wc -l <"$work/files") paths the package had is left"

cd "$repo"
if [ "$failures" -ne 0 ]; then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "package check passed: $deb"
