#!/usr/bin/env bash
# The command line against the same work done by other means, run by
# scripts/bench.sh: `show` of a trigger file against `cat FILE > /dev/null`,
# and `add` of ADDED triggers to a map of EXISTING against doing it by hand
# with StormLib's own tool (smpq extracts the scenario data, the records are
# appended to its TRIG section, smpq stores it again PKWARE-compressed and
# encrypted, as the map was); and `add` of ADDED triggers to the trigger file
# `show` reads against a backup copy (cp) and an append of the records
# (tail >>). Prints seconds, the ratio to the floor and the peak memory
# (/usr/bin/time's maximum resident size) of each.
#
#   bash scripts/bench_cli.sh CLI FOLDER REPEATS SHOW_TRIGGERS EXISTING,ADDED
set -euo pipefail

cli=$1 folder=$2 repeats=$3 show_triggers=$4 map_triggers=$5
existing=${map_triggers%,*} added=${map_triggers#*,}
mkdir -p "$folder"
cd "$folder"

# The best of REPEATS runs of a command: "SECONDS KIB" (output to /dev/null).
best() {
  local best_s="" best_k=0 line s k
  for _ in $(seq "$repeats"); do
    /usr/bin/time -o time.txt -f "%e %M" "$@" > /dev/null 2>&1
    line=$(tail -n 1 time.txt)
    s=${line% *} k=${line#* }
    if [ -z "$best_s" ] || awk "BEGIN{exit !($s < $best_s)}"; then best_s=$s; fi
    [ "$k" -gt "$best_k" ] && best_k=$k
  done
  echo "$best_s $best_k"
}

row() { # WHAT FLOOR_RESULT RESULT
  local fs=${2% *} s=${3% *} k=${3#* }
  awk -v what="$1" -v fs="$fs" -v s="$s" -v k="$k" 'BEGIN {
    printf "| %s | %.2f s | %.2f s | %.2fx | %.1f MiB |\n", what, s, fs, (fs > 0 ? s / fs : 0), k / 1024 }'
}

series=(--unit Zergling --ore 100 --player 1)
"$cli" create --every 1 --up-to "$show_triggers" "${series[@]}" -o show.trg --replace 2>/dev/null
# The same records in reverse order: one series of one trigger each, the
# longest listing a file of this size makes.
python3 - "$show_triggers" <<'PY'
import sys
d = open('show.trg', 'rb').read()
head, first, recs = d[:8], d[8:2408], d[2408:]
out = open('reverse.trg', 'wb')
out.write(head + first)
for i in range(len(recs) - 2400, -1, -2400):
    out.write(recs[i:i + 2400])
PY
cat show.trg reverse.trg > /dev/null

echo "| Work | Tallyforge | Floor | Ratio | Peak memory |"
echo "|---|---|---|---|---|"
floor=$(best cat show.trg)
row "show of $show_triggers triggers (one series) vs cat" "$floor" "$(best "$cli" show show.trg)"
row "show --json, same file, vs cat" "$floor" "$(best "$cli" show --json show.trg)"
floor=$(best cat reverse.trg)
row "show of $show_triggers one-trigger series vs cat" "$floor" "$(best "$cli" show reverse.trg)"

# A map of EXISTING triggers (a money series), stored as the game's editor
# stores scenario data; and the ADDED records as a trigger file holds them.
"$cli" create --every 1 --up-to "$existing" --unit Marine --ore 5 --player 2 -o old.trg --replace 2>/dev/null
"$cli" create --every 1 --up-to "$added" "${series[@]}" -o added.trg --replace 2>/dev/null
mkdir -p map/staredit
python3 - <<'PY'
import struct
def section(name, data):
    return name + struct.pack('<I', len(data)) + data
old = open('old.trg', 'rb').read()[2408:]
tiles = bytes((i * 7) % 29 for i in range(128 * 128 * 2))
chk = (section(b'VER ', b'\xcd\x00') + section(b'DIM ', b'\x80\x00\x80\x00') +
       section(b'MTXM', tiles) + section(b'TRIG', old) +
       section(b'STR ', b'\x01\x00\x04\x00hi\x00\x00'))
open('map/staredit/scenario.chk', 'wb').write(chk)
PY
rm -f original.scx
(cd map && smpq -q -c -M 1 -C PKWARE -E -F ../original.scx staredit/scenario.chk)

# By hand: extract, append the records to the TRIG section, store again.
cat > by_hand.sh <<'SH'
set -e
cp original.scx hand.scx
rm -rf hand && mkdir hand
(cd hand && smpq -q -x ../hand.scx staredit/scenario.chk)
python3 - <<'PY'
import struct
path = 'hand/staredit/scenario.chk'
chk = open(path, 'rb').read()
added = open('added.trg', 'rb').read()[2408:]
out, at = [], 0
while at < len(chk):
    name, size = chk[at:at + 4], struct.unpack_from('<I', chk, at + 4)[0]
    data = chk[at + 8:at + 8 + size]
    if name == b'TRIG':
        out += [name, struct.pack('<I', size + len(added)), data, added]
    else:
        out += [chk[at:at + 8 + size]]
    at += 8 + size
open(path, 'wb').write(b''.join(out))
PY
(cd hand && smpq -q -a -f -C PKWARE -E -F ../hand.scx staredit/scenario.chk)
SH
cat > with_tallyforge.sh <<SH
set -e
cp original.scx tf.scx
rm -f tf.before-tallyforge*.scx
"$cli" add --every 1 --up-to $added ${series[*]} --to tf.scx 2>/dev/null
SH
floor=$(best bash by_hand.sh)
row "add of $added triggers to a map of $existing vs by hand (smpq)" "$floor" \
  "$(best bash with_tallyforge.sh)"

# A trigger file: keep a copy, append the records. Both start from a fresh
# copy of the file.
cat > trg_by_hand.sh <<'SH'
set -e
cp show.trg hand.trg
cp hand.trg hand.before.trg
tail -c +2409 added.trg >> hand.trg
SH
cat > trg_with_tallyforge.sh <<SH
set -e
cp show.trg tf.trg
rm -f tf.before-tallyforge*.trg
"$cli" add --every 1 --up-to $added ${series[*]} --to tf.trg 2>/dev/null
SH
floor=$(best bash trg_by_hand.sh)
row "add of $added triggers to the .trg of $show_triggers vs cp and append" "$floor" \
  "$(best bash trg_with_tallyforge.sh)"
