#!/usr/bin/env bash
# Maps Tallyforge added a series to, read by the npm package scm-extractor,
# a reader that follows the game's rules rather than StormLib's. The package
# is installed under the build tree on first use.
#   scm_extractor_test.sh MAKER NODE_FOLDER
set -euo pipefail
maker=$1
node_folder=$2
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "node and npm are needed (Debian: nodejs, npm)" >&2
  exit 77
fi
if [ ! -f "$node_folder/node_modules/scm-extractor/index.js" ]; then
  mkdir -p "$node_folder"
  # Installed from inside the folder rather than with --prefix, which would
  # also move npm's global settings (and the certificate file they may name)
  # to PREFIX/etc/npmrc. The package file keeps npm from looking further up.
  [ -f "$node_folder/package.json" ] || echo '{"private": true}' >"$node_folder/package.json"
  if ! (cd "$node_folder" && npm install --no-audit --no-fund --no-save --fetch-retries=1 \
    scm-extractor@1.1.0) >&2; then
    echo "could not install scm-extractor from the npm registry" >&2
    exit 77
  fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$maker" "$work"
NODE_PATH="$node_folder/node_modules" node "$here/scm_extractor_check.js" "$work"
