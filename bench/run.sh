#!/usr/bin/env bash
# End-to-end benchmark: VorskExtract on a large generated corpus against two floors.
#
#   floor       tar -x of a tarball of the tool's own output into a fresh directory: the cost of reading
#               the same bytes from one file and creating the same files with the same contents.
#   read floor  cat of the corpus's archives to /dev/null: reading the inputs once, in order.
#
# The corpus is made once (vorsk_make_corpus, seeded) and kept for later runs; then the tool, the floor and
# the read floor run alternately, each into a fresh output directory that is removed afterwards (not timed;
# with --disk only once the corpus is done, see below).
# Every figure is the median over the runs; peak RSS is the median of the maxima. The same is then done on
# a corpus of twice the resources, to show how the time grows.
#
# usage: bench/run.sh [--disk] [--dir DIR] [--resources N] [--runs K] [--build DIR] [--single] [--clean]
#   --disk         put the corpus, the tarballs and every output on the /work disk (BUILD/bench-data)
#                  instead of /dev/shm
#   --dir DIR      put them in DIR
#   --resources N  resources of the first corpus (default 100000); the second has 2N
#   --runs K       timed runs of each program per corpus (default 5)
#   --build DIR    the Release build directory configured with -DVORSK_BUILD_BENCHMARKS=ON (default build-perf)
#   --single       only the first corpus
#   --clean        remove the corpora and everything else under the data directory at the end
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$repo/build-perf"
root=""
disk=0
resources=100000
runs=5
single=0
clean=0
while [ $# -gt 0 ]; do
    case "$1" in
    --disk) disk=1 ;;
    --dir) root="$2"; shift ;;
    --resources) resources="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    --build) build="$(cd "$2" && pwd)"; shift ;;
    --single) single=1 ;;
    --clean) clean=1 ;;
    -h|--help) sed -n '2,22p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
if [ -z "$root" ]; then
    if [ "$disk" -eq 1 ]; then root="$build/bench-data"; else root="/dev/shm/vorsk-bench"; fi
fi

[ -x /usr/bin/time ] || bash "$repo/.ci/install-packages" time
mkdir -p "$root"
if ! cmake --build "$build" -j2 --target VorskExtract vorsk_make_corpus > "$root/build.log" 2>&1; then
    cat "$root/build.log" >&2
    exit 1
fi
tool="$build/VorskExtract"
maker="$build/bench/vorsk_make_corpus"
samples="$root/samples"

# Runs a command with /usr/bin/time and appends "label wall user sys maxrss_kib" to the samples file.
measure() {
    local label="$1"; shift
    local record="$root/time.txt"
    /usr/bin/time -f "%e %U %S %M" -o "$record" "$@"
    echo "$label $(cat "$record")" >> "$samples"
}

# Median of the numbers on standard input.
median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Column column (2 wall, 3 user, 4 sys, 5 rss) of the samples labelled label, as a median.
statistic() {
    awk -v label="$1" -v column="$2" '$1 == label { print $column }' "$samples" | median
}

bench_corpus() {
    local count="$1"
    local corpus="$root/corpus-$count"
    if [ ! -f "$corpus/.made" ]; then
        rm -rf "$corpus"
        echo "Making a corpus of $count resources in $corpus..."
        "$maker" "$corpus" --resources "$count" > "$root/corpus-$count.txt"
        touch "$corpus/.made"
    fi
    cat "$root/corpus-$count.txt"

    # A warm-up run whose output becomes the floor's tarball; it also warms the page cache.
    local out="$root/out" floor="$root/floor" tarball="$root/output-$count.tar"
    rm -rf "$out" "$floor"
    local status=0
    "$tool" "$corpus" "$out" > /dev/null || status=$?
    if [ "$status" -ne 0 ]; then
        echo "run.sh: VorskExtract exited with status $status on $corpus" >&2
        exit 1
    fi
    echo "output: $(find "$out" -type f | wc -l) files, $(du -sb "$out" | cut -f1) bytes"
    tar -cf "$tarball" -C "$out" .
    rm -rf "$out"
    cat "$corpus"/*.archive "$corpus"/*.pc_headerlib > /dev/null

    # On ext4 a new inode is not taken from those deleted in the last 30 to 60 seconds, and the search skips
    # past them one by one: right after a run's 100,000 files are removed, the next run spent 86% of its
    # time in __ext4_new_inode (perf). On disk the outputs are therefore kept until the corpus is done, and
    # the first run waits until the warm-up's deletions are a minute old.
    if [ "$disk" -eq 1 ]; then
        sync
        echo "waiting 61 s for the warm-up's deleted inodes to become reusable..."
        sleep 61
    fi
    for run in $(seq 1 "$runs"); do
        local runOut="$out" runFloor="$floor"
        if [ "$disk" -eq 1 ]; then
            runOut="$out-$run"
            runFloor="$floor-$run"
            sync
        fi
        measure "tool-$count" "$tool" "$corpus" "$runOut" > /dev/null
        [ "$disk" -eq 1 ] && sync
        mkdir "$runFloor"
        measure "floor-$count" tar -x -m --no-same-owner --no-same-permissions -f "$tarball" -C "$runFloor"
        if [ "$disk" -eq 0 ]; then
            rm -rf "$runOut" "$runFloor"
        fi
        measure "read-$count" sh -c "cat '$corpus'/*.archive > /dev/null"
        echo "run $run of $runs done"
    done
    rm -rf "$out"-* "$floor"-* "$tarball"
}

# CPU time (user + system) of each sample labelled label, as a median.
cpu_statistic() {
    awk -v label="$1" '$1 == label { print $3 + $4 }' "$samples" | median
}

report_row() {
    local label="$1" name="$2" floorWall="$3" floorCpu="$4"
    local wall user sys rss cpu
    wall=$(statistic "$label" 2)
    user=$(statistic "$label" 3)
    sys=$(statistic "$label" 4)
    rss=$(statistic "$label" 5)
    cpu=$(cpu_statistic "$label")
    awk -v n="$name" -v w="$wall" -v u="$user" -v s="$sys" -v r="$rss" -v f="$floorWall" -v c="$cpu" \
        -v fc="$floorCpu" 'BEGIN {
        printf "| %-18s | %6.2f | %6.2f | %6.2f | %6.2f | %8.1f | %6.2f | %6.2f | %8.1f%% |\n",
            n, w, u, s, c, r / 1024, w / f, c / fc, 100 * u / w }'
}

report() {
    local count="$1"
    local floorWall floorCpu
    floorWall=$(statistic "floor-$count" 2)
    floorCpu=$(cpu_statistic "floor-$count")
    echo
    echo "Corpus of $count resources, $runs runs, medians (cpu = user + sys; the ratios are to the floor):"
    echo
    echo "| program            | wall s | user s |  sys s |  cpu s | peak MiB | wall x | cpu x  | user/wall |"
    echo "|--------------------|-------:|-------:|-------:|-------:|---------:|-------:|-------:|----------:|"
    report_row "tool-$count" "VorskExtract" "$floorWall" "$floorCpu"
    report_row "floor-$count" "floor (tar -x)" "$floorWall" "$floorCpu"
    report_row "read-$count" "read floor (cat)" "$floorWall" "$floorCpu"
}

: > "$samples"
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "data in $root ($(df -T "$root" | awk 'NR == 2 { print $2 }')), load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
bench_corpus "$resources"
if [ "$single" -eq 0 ]; then
    bench_corpus $((2 * resources))
fi
report "$resources"
if [ "$single" -eq 0 ]; then
    report $((2 * resources))
    echo
    awk -v a="$(statistic "tool-$resources" 2)" -v b="$(statistic "tool-$((2 * resources))" 2)" \
        -v c="$(statistic "floor-$resources" 2)" -v d="$(statistic "floor-$((2 * resources))" 2)" \
        -v e="$(cpu_statistic "tool-$resources")" -v f="$(cpu_statistic "tool-$((2 * resources))")" \
        'BEGIN { printf "Twice the resources: the tool takes %.2f x the wall time (%.2f x the cpu time), the floor %.2f x the wall time.\n", b / a, f / e, d / c }'
fi
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ "$clean" -eq 1 ]; then
    rm -rf "$root"
fi
