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
# With --ext4 every timed run of every program (each tool row and tar) writes into a fresh ext4 file system:
# an image file in the data directory (tmpfs by default), made with mkfs.ext4 and loop-mounted just before
# the run (not timed), so that each run starts from the same empty file system without the noise of a
# shared disk. The timing then includes a sync of that file system after the program. Needs root.
#
# usage: bench/run.sh [--disk | --ext4] [--dir DIR] [--resources N] [--libraries L] [--runs K] [--build DIR]
#                     [--single] [--clean] [--tool-args ARGS]...
#   --disk         put the corpus, the tarballs and every output on the /work disk (BUILD/bench-data)
#                  instead of /dev/shm
#   --ext4         write every timed output into a fresh loop-mounted ext4 image (see above)
#   --tool-args A  run the tool with the extra arguments A (one word list, e.g. "--jobs 2"); given several
#                  times, each gives a row of its own, all alternated with the floors; "" is the plain tool
#   --dir DIR      put them in DIR
#   --resources N  resources of the first corpus (default 100000); the second has 2N
#   --libraries L  corpora of another shape: L header libraries of equal shares, each with all its
#                  containers in one archive of its own (4 gives 4 libraries of 25,000 resources, 4 archives
#                  of about 200 MB); by default 5 libraries of unequal shares over 16 archives
#   --runs K       timed runs of each program per corpus (default 5)
#   --build DIR    the Release build directory configured with -DVORSK_BUILD_BENCHMARKS=ON (default build-perf)
#   --single       only the first corpus
#   --clean        remove the corpora and everything else under the data directory at the end
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$repo/build-perf"
root=""
disk=0
ext4=0
toolArgs=()
resources=100000
libraries=""
runs=5
single=0
clean=0
while [ $# -gt 0 ]; do
    case "$1" in
    --disk) disk=1 ;;
    --ext4) ext4=1 ;;
    --tool-args) toolArgs+=("$2"); shift ;;
    --dir) root="$2"; shift ;;
    --resources) resources="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    --build) build="$(cd "$2" && pwd)"; shift ;;
    --single) single=1 ;;
    --clean) clean=1 ;;
    --libraries) libraries="$2"; shift ;;
    -h|--help) sed -n '2,34p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
if [ "$disk" -eq 1 ] && [ "$ext4" -eq 1 ]; then
    echo "run.sh: --disk and --ext4 exclude each other" >&2
    exit 2
fi
[ ${#toolArgs[@]} -gt 0 ] || toolArgs=("")
if [ -z "$root" ]; then
    if [ "$disk" -eq 1 ]; then root="$build/bench-data"; else root="/dev/shm/vorsk-bench"; fi
fi

[ -x /usr/bin/time ] || bash "$repo/.ci/install-packages" time
[ "$ext4" -eq 0 ] || command -v mkfs.ext4 > /dev/null || bash "$repo/.ci/install-packages" e2fsprogs
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

# The fresh file system of --ext4: an image of imageMiB MiB with imageInodes inodes, mounted at mountPoint.
mountPoint="$root/ext4"
image="$root/ext4.img"
imageMiB=0
imageInodes=0
unmount_ext4() {
    if mountpoint -q "$mountPoint"; then
        umount "$mountPoint"
    fi
    rm -f "$image"
}
fresh_ext4() {
    unmount_ext4
    truncate -s "${imageMiB}M" "$image"
    # Inode tables and journal are written now rather than by a kernel thread during the timed run.
    mkfs.ext4 -q -F -N "$imageInodes" -E lazy_itable_init=0,lazy_journal_init=0 "$image"
    mkdir -p "$mountPoint"
    mount -o loop "$image" "$mountPoint"
}
[ "$ext4" -eq 0 ] || trap unmount_ext4 EXIT

# Runs a program with its output on the file system under test and, with --ext4, a sync of that file
# system, both inside the timing: measure_output label directory command...; "{}" in the command stands
# for the directory.
measure_output() {
    local label="$1" directory="$2"; shift 2
    local arguments=() argument
    for argument in "$@"; do
        if [ "$argument" = "{}" ]; then arguments+=("$directory"); else arguments+=("$argument"); fi
    done
    if [ "$ext4" -eq 1 ]; then
        measure "$label" sh -c '"$@" > /dev/null && sync -f "$0"' "$mountPoint" "${arguments[@]}"
    else
        measure "$label" "${arguments[@]}" > /dev/null
    fi
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
    local corpus="$root/corpus-$count${libraries:+-lib$libraries}"
    if [ ! -f "$corpus/.made" ]; then
        rm -rf "$corpus"
        echo "Making a corpus of $count resources in $corpus..."
        "$maker" "$corpus" --resources "$count" ${libraries:+--libraries "$libraries"} > "$corpus.txt"
        touch "$corpus/.made"
    fi
    cat "$corpus.txt"

    # A warm-up run whose output becomes the floor's tarball; it also warms the page cache.
    local out="$root/out" floor="$root/floor" tarball="$root/output-$count.tar"
    rm -rf "$out" "$floor"
    local status=0
    # shellcheck disable=SC2086 # The extra arguments are a word list.
    "$tool" ${toolArgs[0]} "$corpus" "$out" > /dev/null || status=$?
    if [ "$status" -ne 0 ]; then
        echo "run.sh: VorskExtract exited with status $status on $corpus" >&2
        exit 1
    fi
    local files bytes
    files=$(find "$out" | wc -l)
    bytes=$(du -sb "$out" | cut -f1)
    echo "output: $(find "$out" -type f | wc -l) files, $bytes bytes"
    # Room for the output with each file rounded up to a few blocks, the directories and the journal.
    imageMiB=$(((bytes + files * 8192) * 3 / 2 / 1048576 + 256))
    imageInodes=$((files * 2 + 16384))
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
        local runOut="$out" runFloor="$floor" variant
        if [ "$disk" -eq 1 ]; then
            runOut="$out-$run"
            runFloor="$floor-$run"
            sync
        elif [ "$ext4" -eq 1 ]; then
            runOut="$mountPoint/out"
            runFloor="$mountPoint/floor"
        fi
        for variant in "${!toolArgs[@]}"; do
            [ "$ext4" -eq 0 ] || fresh_ext4
            # shellcheck disable=SC2086 # The extra arguments are a word list.
            measure_output "tool$variant-$count" "$runOut" "$tool" ${toolArgs[$variant]} "$corpus" {}
            if [ "$disk" -eq 1 ]; then
                sync
                [ ${#toolArgs[@]} -eq 1 ] || mv "$runOut" "$runOut-$variant"
            fi
            [ "$disk" -eq 1 ] || rm -rf "$runOut"
        done
        [ "$ext4" -eq 0 ] || fresh_ext4
        mkdir "$runFloor"
        measure_output "floor-$count" "$runFloor" tar -x -m --no-same-owner --no-same-permissions \
            -f "$tarball" -C {}
        [ "$disk" -eq 1 ] || rm -rf "$runFloor"
        [ "$ext4" -eq 0 ] || unmount_ext4
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
        printf "| %-26s | %6.2f | %6.2f | %6.2f | %6.2f | %8.1f | %6.2f | %6.2f | %8.1f%% |\n",
            n, w, u, s, c, r / 1024, w / f, c / fc, 100 * u / w }'
}

report() {
    local count="$1"
    local floorWall floorCpu
    floorWall=$(statistic "floor-$count" 2)
    floorCpu=$(cpu_statistic "floor-$count")
    echo
    local where="outputs on $(df -T "$root" | awk 'NR == 2 { print $2 }')"
    [ "$ext4" -eq 0 ] || where="each output on a fresh ext4 image, synced inside the timing"
    echo "Corpus of $count resources, $runs runs, $where, medians (cpu = user + sys; the ratios are to the floor):"
    echo
    echo "| program                    | wall s | user s |  sys s |  cpu s | peak MiB | wall x | cpu x  | user/wall |"
    echo "|----------------------------|-------:|-------:|-------:|-------:|---------:|-------:|-------:|----------:|"
    local variant
    for variant in "${!toolArgs[@]}"; do
        report_row "tool$variant-$count" "VorskExtract${toolArgs[$variant]:+ ${toolArgs[$variant]}}" \
            "$floorWall" "$floorCpu"
    done
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
    for variant in "${!toolArgs[@]}"; do
        awk -v a="$(statistic "tool$variant-$resources" 2)" -v b="$(statistic "tool$variant-$((2 * resources))" 2)" \
            -v c="$(statistic "floor-$resources" 2)" -v d="$(statistic "floor-$((2 * resources))" 2)" \
            -v e="$(cpu_statistic "tool$variant-$resources")" -v f="$(cpu_statistic "tool$variant-$((2 * resources))")" \
            -v n="VorskExtract${toolArgs[$variant]:+ ${toolArgs[$variant]}}" \
            'BEGIN { printf "Twice the resources: %s takes %.2f x the wall time (%.2f x the cpu time), the floor %.2f x the wall time.\n", n, b / a, f / e, d / c }'
    done
fi
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ "$clean" -eq 1 ]; then
    rm -rf "$root"
fi
