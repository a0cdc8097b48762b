#!/usr/bin/env bash
# The way back on a large generated corpus: --compare against an extraction, --reimport against a copy of the
# source, and the round trip and identity checked byte for byte.
#
#   extract        VorskExtract SOURCE OUT
#   compare        VorskExtract --compare SOURCE TREE (all identical), at the default job count and --jobs 1
#   copy           cp -r SOURCE: the floor of --reimport
#   read tree      every file of TREE read once on 2 threads (vorsk_read_tree): what any byte comparison
#                  of the tree pays before it reads a byte of the archives
#   reimport       VorskExtract --reimport DEST SOURCE TREE with no edit (DEST must equal SOURCE) and with one
#                  edited resource (extracting DEST must give the edited tree), also with --quick, beside
#                  cp -r in the same round
#
# Wall times by hyperfine (mean, standard deviation, min and max of the runs; JSON in DIR/way-back*.json);
# peak RSS in KiB and CPU seconds (user + system) from one more run of each under /usr/bin/time.
#
# usage: bench/way-back.sh [--dir DIR] [--resources N] [--runs K] [--build DIR] [--baseline TOOL]
#   --dir DIR      data directory (default /dev/shm/vorsk-way-back)
#   --resources N  resources of the corpus (default 100000)
#   --runs K       timed runs of each program (default 5)
#   --build DIR    a build configured with -DVORSK_BUILD_BENCHMARKS=ON (default build-perf)
#   --baseline TOOL  another VorskExtract (an earlier build) timed on the same compare and reimport rows
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$repo/build-perf"
root="/dev/shm/vorsk-way-back"
resources=100000
runs=5
baseline=""
while [ $# -gt 0 ]; do
    case "$1" in
    --dir) root="$2"; shift ;;
    --resources) resources="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    --build) build="$(cd "$2" && pwd)"; shift ;;
    --baseline) baseline="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"; shift ;;
    -h|--help) sed -n '2,22p' "$0"; exit 0 ;;
    *) echo "way-back.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
command -v hyperfine > /dev/null || { echo "way-back.sh: hyperfine is needed" >&2; exit 2; }

cmake --build "$build" -j2 --target VorskExtract vorsk_make_corpus vorsk_read_tree > /dev/null
tool="$build/VorskExtract"
mkdir -p "$root"
source="$root/corpus-$resources"
[ -d "$source" ] || "$build/bench/vorsk_make_corpus" --resources "$resources" "$source" > /dev/null
rm -rf "$root/tree" "$root/out" "$root/copy" "$root/dest" "$root/again"
"$tool" "$source" "$root/tree" > /dev/null 2>&1

# Identity: with no edit the destination holds the source's files byte for byte.
"$tool" --reimport "$root/dest" "$source" "$root/tree" > /dev/null 2>&1
for file in "$source"/*; do
    cmp -s "$file" "$root/dest/$(basename "$file")" || { echo "way-back.sh: $file changed without an edit" >&2; exit 1; }
done
rm -rf "$root/dest"

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
hyperfine --runs "$runs" --export-json "$root/way-back.json" \
    -n extract -p "rm -rf $root/out" "$tool $source $root/out" \
    -n compare -p true "$tool --compare $source $root/tree" \
    -n "compare --jobs 1" -p true "$tool --compare --jobs 1 $source $root/tree" \
    -n "cp -r" -p "rm -rf $root/copy" "cp -r $source $root/copy" \
    -n "read tree" -p true "$build/bench/vorsk_read_tree $root/tree 2" \
    -n "reimport, no edit" -p "rm -rf $root/dest" "$tool --reimport $root/dest $source $root/tree"
if [ -n "$baseline" ]; then
    hyperfine --runs "$runs" --export-json "$root/way-back-baseline.json" \
        -n "compare (baseline)" -p true "$baseline --compare $source $root/tree" \
        -n "reimport, no edit (baseline)" -p "rm -rf $root/dest" "$baseline --reimport $root/dest $source $root/tree"
fi

# One edit: the first resource file of the first library, longer by a line, its data length set.
edited=$(find "$root/tree" -mindepth 2 -name '*.bin' | sort | sed -n 1p)
cp "$edited" "$root/unedited.bin"
python3 - "$edited" <<'EOF'
import struct, sys
path = sys.argv[1]
data = open(path, 'rb').read()
body = data[24:] + b'an edit\n'
open(path, 'wb').write(data[:12] + struct.pack('<I', len(body)) + data[16:24] + body)
EOF
hyperfine --runs "$runs" --export-json "$root/way-back-edit.json" \
    -n "cp -r" -p "rm -rf $root/copy" "cp -r $source $root/copy" \
    -n "reimport, one edit" -p "rm -rf $root/dest" "$tool --reimport $root/dest $source $root/tree" \
    -n "reimport --quick, one edit" -p "rm -rf $root/dest" "$tool --quick --reimport $root/dest $source $root/tree"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
for quick in "" --quick; do
    rm -rf "$root/dest" "$root/again"
    "$tool" $quick --reimport "$root/dest" "$source" "$root/tree" > /dev/null 2>&1 || true
    "$tool" "$root/dest" "$root/again" > /dev/null 2>&1 || true
    diff -r "$root/tree" "$root/again" > /dev/null ||
        { echo "way-back.sh: the round trip $quick changed the tree" >&2; exit 1; }
done
echo "round trip and identity hold on $resources resources"

# Peak RSS and CPU time of one run each.
rss() {
    local label="$1"; shift
    /usr/bin/time -f "%M %U %S" -o "$root/time.txt" "$@" > /dev/null 2>&1 || true
    read -r kib user system < "$root/time.txt"
    printf "%-20s %10s KiB peak %6.2f s cpu\n" "$label" "$kib" "$(echo "$user + $system" | bc)"
}
rm -rf "$root/out" "$root/dest" "$root/copy"
rss extract "$tool" "$source" "$root/out"
rss "reimport, one edit" "$tool" --reimport "$root/dest" "$source" "$root/tree"
cp "$root/unedited.bin" "$edited"
rss compare "$tool" --compare "$source" "$root/tree"
rss "compare --jobs 1" "$tool" --compare --jobs 1 "$source" "$root/tree"
rss "cp -r" cp -r "$source" "$root/copy"
rm -rf "$root/tree" "$root/out" "$root/copy" "$root/dest" "$root/again" "$root/unedited.bin"
