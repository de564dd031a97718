#!/bin/sh
# Checks moonglow-render from the outside: bad options, determinism, the
# trace format, a missing settings file, and true colours in the PNG.
set -u
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "render-check: $*" >&2; exit 1; }

for args in "--size 0x5" "--size 12" "--size 10x99999" "--seed -1" "--seed x" "--steps" \
            "--steps 1e3" "--bogus" "--trace=1" "--out=" "--size +5x5" "--size 16385x1" \
            "--seed +1" "--seed 4294967296" "--steps 18446744073709551616"; do
  # shellcheck disable=SC2086
  "$tool" $args --out "$dir/x.png" >/dev/null 2>"$dir/err"
  rc=$?
  [ "$rc" -eq 2 ] || fail "exit code $rc for '$args'"
  grep -q "^moonglow-render: " "$dir/err" || fail "no message for '$args'"
done

# Each number's edges are taken: only the refused --out, checked after the
# options, stops these runs.
for args in "--size 16384X1" "--seed 4294967295" "--seed 007" "--steps 18446744073709551615"; do
  # shellcheck disable=SC2086
  "$tool" $args --out "$dir" >/dev/null 2>"$dir/err"
  grep -q "^moonglow-render: --out '$dir' is " "$dir/err" || fail "'$args': $(cat "$dir/err")"
done

# A canvas past the limit is refused in one line naming it; one at the limit
# keeps the whole tool, PNG buffers included, well under a gigabyte.
for size in 16384x16384 7681x4320; do
  "$tool" --size "$size" --steps 1 --out "$dir/x.png" >/dev/null 2>"$dir/err" &&
    fail "--size $size accepted"
  [ "$(wc -l <"$dir/err")" -eq 1 ] && grep -q "at most 33177600 pixels in all (7680x4320)" "$dir/err" ||
    fail "--size $size: $(cat "$dir/err")"
done
[ -e "$dir/x.png" ] && fail "a refused size wrote a PNG"
if [ -r /proc/self/status ]; then
  peak=$("$tool" --size 4320x7680 --steps 2000 --bench --out "$dir/big.png" |
    sed -n 's/^peak memory: \([0-9]*\) kB$/\1/p')
  rm -f "$dir/big.png"
  [ -n "$peak" ] || fail "no peak memory reported at the largest size"
  [ "$peak" -lt 786432 ] || fail "peak memory $peak kB at the largest size"
fi

common="--seed 5 --steps 150000 --size 160x120"
"$tool" $common --trace --out "$dir/a.png" >"$dir/a.txt" 2>/dev/null || fail "run a"
"$tool" $common --trace --out "$dir/b.png" >"$dir/b.txt" 2>/dev/null || fail "run b"
cmp -s "$dir/a.png" "$dir/b.png" || fail "same seed, different PNG"
cmp -s "$dir/a.txt" "$dir/b.txt" || fail "same seed, different trace"
[ "$(head -n 1 "$dir/a.txt")" = "theme Shidare 11" ] || fail "first run does not open with Shidare"
grep -q "^burst " "$dir/a.txt" || fail "no burst traced"
if grep -v -E '^(theme [A-Za-z]+ [0-9]+|burst [0-9] [A-Za-z0-9]+ -?[0-9]+( -?[0-9]+\.[0-9]{3}){4})$' \
     "$dir/a.txt"; then
  fail "trace lines out of format"
fi
"$tool" $common --trace --ini "$dir/missing.ini" --out "$dir/c.png" >"$dir/c.txt" 2>/dev/null ||
  fail "run with a missing settings file"
cmp -s "$dir/a.txt" "$dir/c.txt" || fail "a missing settings file is not the defaults"
"$tool" $common --out "$dir/d.png" | grep -q "^wrote $dir/d.png" || fail "no report of the PNG"
"$tool" --out "$dir/no/such/dir/x.png" --steps 10 >/dev/null 2>&1 && fail "unwritable PNG accepted"

# Only a regular file or a name not taken yet takes the PNG: a pipe with no
# reader would block the tool for ever, and a directory or a device holds no
# picture. Each is refused at once, in one line, before the show runs.
mkfifo "$dir/fifo"
for out in "$dir/fifo" "$dir" /dev/null; do
  timeout 20 "$tool" --steps 1000000000 --out "$out" >/dev/null 2>"$dir/err"
  rc=$?
  [ "$rc" -ne 124 ] || fail "--out $out: still running after 20 s"
  [ "$rc" -eq 2 ] || fail "--out $out: exit code $rc"
  [ "$(wc -l <"$dir/err")" -eq 1 ] && grep -q "^moonglow-render: --out '$out' is " "$dir/err" ||
    fail "--out $out: $(cat "$dir/err")"
done
[ -p "$dir/fifo" ] || fail "the pipe was replaced"

# What the user typed is echoed on one line, control characters escaped and
# long values cut.
"$tool" --size "$(printf '1\n2')" >/dev/null 2>"$dir/err"
head -n 1 "$dir/err" | grep -q "^moonglow-render: bad --size '1\\\\n2': expected WxH" ||
  fail "--size with a newline: $(head -n 2 "$dir/err")"
"$tool" --seed "$(head -c 100000 /dev/zero | tr '\0' 7)" >/dev/null 2>"$dir/err"
[ "$(head -n 1 "$dir/err" | wc -c)" -lt 400 ] && head -n 1 "$dir/err" | grep -q "(100000 bytes)" ||
  fail "a long --seed is not cut: $(head -c 300 "$dir/err")"

# Peonies only: every lit pixel must be yellow, red, green or white.
printf '[Environment]\nFirstRun=0\n[Theme]\nAllCastPer=0\nShidarePer=0\nHanaichiPer=0\nBotanPer=100\nRanbuPer=0\n' \
  >"$dir/peony.ini"
"$tool" --seed 3 --steps 100000 --size 200x150 --ini "$dir/peony.ini" --out "$dir/p.png" \
  >/dev/null || fail "peony run"
if command -v python3 >/dev/null 2>&1; then
  python3 - "$dir/p.png" <<'PY' || fail "PNG check"
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n"
pos, idat, size = 8, b"", None
while pos < len(data):
    length, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    assert struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0] == zlib.crc32(kind + body)
    if kind == b"IHDR":
        size = struct.unpack(">II", body[:8])
    elif kind == b"IDAT":
        idat += body
    pos += 12 + length
w, h = size
raw = zlib.decompress(idat)
assert (w, h) == (200, 150) and len(raw) == h * (1 + 3 * w)
allowed = {(255, 255, 0), (255, 0, 0), (0, 255, 0), (255, 255, 255), (0, 0, 0)}
seen = set()
for y in range(h):
    row = raw[y * (1 + 3 * w) + 1:(y + 1) * (1 + 3 * w)]
    for x in range(w):
        seen.add(tuple(row[3 * x:3 * x + 3]))
assert seen <= allowed, seen - allowed
assert (255, 0, 0) in seen and len(seen) > 2, seen
PY
fi
echo "render-check: ok"
