#!/usr/bin/env bash
# The way back on a large generated corpus: --compare against an extraction, --reimport against a copy of the
# source, and the round trip and identity checked byte for byte.
#
#   extract        VorskExtract SOURCE TREE
#   compare        VorskExtract --compare SOURCE TREE (all identical)
#   copy           cp -r SOURCE: the floor of --reimport
#   reimport       VorskExtract --reimport DEST SOURCE TREE with no edit (DEST must equal SOURCE) and with one
#                  edited resource (extracting DEST must give the edited tree)
#
# Every figure is the median of the runs (wall seconds, peak RSS in KiB).
#
# usage: bench/way-back.sh [--dir DIR] [--resources N] [--runs K] [--build DIR]
#   --dir DIR      data directory (default /dev/shm/vorsk-way-back)
#   --resources N  resources of the corpus (default 100000)
#   --runs K       timed runs of each program (default 3)
#   --build DIR    a build configured with -DVORSK_BUILD_BENCHMARKS=ON (default build-perf)
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$repo/build-perf"
root="/dev/shm/vorsk-way-back"
resources=100000
runs=3
while [ $# -gt 0 ]; do
    case "$1" in
    --dir) root="$2"; shift ;;
    --resources) resources="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    --build) build="$(cd "$2" && pwd)"; shift ;;
    -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
    *) echo "way-back.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

cmake --build "$build" -j2 --target VorskExtract vorsk_make_corpus > /dev/null
tool="$build/VorskExtract"
mkdir -p "$root"
source="$root/corpus-$resources"
[ -d "$source" ] || "$build/bench/vorsk_make_corpus" --resources "$resources" "$source" > /dev/null

samples="$root/samples.txt"
: > "$samples"
# measure label command...: appends "label wall maxrss" to the samples.
measure() {
    local label="$1"; shift
    /usr/bin/time -f "%e %M" -o "$root/time.txt" "$@" > /dev/null 2>&1 || { echo "way-back.sh: $label failed" >&2; exit 1; }
    echo "$label $(cat "$root/time.txt")" >> "$samples"
}

for ((run = 0; run < runs; run++)); do
    rm -rf "$root/tree" "$root/copy" "$root/dest"
    measure extract "$tool" "$source" "$root/tree"
    measure compare "$tool" --compare "$source" "$root/tree"
    measure copy cp -r "$source" "$root/copy"
    measure reimport-none "$tool" --reimport "$root/dest" "$source" "$root/tree"
    for file in "$source"/*; do
        cmp -s "$file" "$root/dest/$(basename "$file")" || { echo "way-back.sh: $file changed without an edit" >&2; exit 1; }
    done
    rm -rf "$root/dest"
done

# One edit: the first resource file of the first library, longer by a line, its data length set.
edited=$(find "$root/tree" -mindepth 2 -name '*.bin' | sort | sed -n 1p)
python3 - "$edited" <<'EOF'
import struct, sys
path = sys.argv[1]
data = open(path, 'rb').read()
body = data[24:] + b'an edit\n'
open(path, 'wb').write(data[:12] + struct.pack('<I', len(body)) + data[16:24] + body)
EOF
for ((run = 0; run < runs; run++)); do
    rm -rf "$root/dest" "$root/again"
    measure reimport-one "$tool" --reimport "$root/dest" "$source" "$root/tree"
done
"$tool" "$root/dest" "$root/again" > /dev/null 2>&1 || true
diff -r "$root/tree" "$root/again" > /dev/null || { echo "way-back.sh: the round trip changed the tree" >&2; exit 1; }
echo "round trip and identity hold on $resources resources"

# Medians per label.
for label in extract compare copy reimport-none reimport-one; do
    grep "^$label " "$samples" | awk '{print $2, $3}' | sort -n | awk -v label="$label" '
        { wall[NR] = $1; rss[NR] = $2 }
        END { m = int((NR + 1) / 2); printf "%-14s %8.2f s %10d KiB\n", label, wall[m], rss[m] }'
done
rm -rf "$root/tree" "$root/copy" "$root/dest" "$root/again"
