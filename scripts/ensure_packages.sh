#!/usr/bin/env bash
# Installs the Debian packages named as arguments that are not installed yet.
# Runs apt-get as root, or through sudo otherwise; does nothing when all are there.
set -euo pipefail

missing=()
for pkg in "$@"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get -o DPkg::Lock::Timeout=1200 update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=1200 install -y -qq --no-install-recommends "${missing[@]}"
