#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Benchmarks of KORVANE: the Google Benchmark binaries of bench/ (ID text, list reader, list
# writer) and whole runs of `korvane get volume` and `korvane put volume` under the
# simulated storage system against the floor program (bench/floor.cpp), which makes the
# same device requests and nothing else, a restore (`korvane put volume` of a list that
# changes every ID, each change logged up to the first thousand, the undo list written
# first) against the floor's put, and `korvane diff volume` against `korvane get volume`,
# whose requests it makes, and `korvane get volume` on a terminal (through script(1), the
# progress line shown) against the same with standard error elsewhere. Every comparison is
# measured side by side in one run, interleaved, and summarised by medians; the machine is
# shared, so ratios are what counts. `make bench` runs it; the results land in
# BUILD/results and the plot also in
# docs/performance-time-per-object.png.
#
#   scripts/bench.sh [BUILD_DIR]          (default build/bench)
#   scripts/bench.sh BUILD_DIR --summary  (summary and plot again from BUILD_DIR/results)
#
# BENCH_COUNTS (default "1000 10000 100000"), BENCH_ROUNDS (rounds of whole runs per
# count; default 15, 9 and 5 for the three counts), BENCH_REPETITIONS (Google Benchmark
# repetitions, default 15) shorten or lengthen it; BENCH_TMPDIR (default /dev/shm) is
# where the simulated systems are made.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/bench}" && pwd)
results=$build/results
zapisim=$build/sim/zapisim
korvane=$build/src/command/korvane
floor=$build/bench/korvane_floor
counts=${BENCH_COUNTS:-1000 10000 100000}
repetitions=${BENCH_REPETITIONS:-15}

summary_only=0
[ "${2:-}" = --summary ] && summary_only=1

for program in "$zapisim" "$korvane" "$floor"; do
    [ -x "$program" ] || { echo "bench.sh: $program is missing; build the bench preset" >&2; exit 2; }
done
# Measures everything into $results, afresh.
measure() {
    rm -rf "$results"
    mkdir -p "$results"
    # The simulated systems live in memory (tmpfs) where there is one: the simulator stores a
    # modified record with a new file and a rename, and on a disk file system each rename
    # starts write-back, which would drown both sides in the shared disk's noise.
    scratch=${BENCH_TMPDIR:-/dev/shm}
    [ -d "$scratch" ] && [ -w "$scratch" ] || scratch=/tmp
    work=$(mktemp -d "$scratch/korvane-bench.XXXXXX")
    trap 'rm -rf "$work"' EXIT

    # ---- The machine, as the results were measured on it ----
    {
        echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
        echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
        echo "cores: $(nproc)"
        echo "memory: $(free -h | awk '/^Mem:/ {print $2}')"
        echo "kernel: $(uname -r)"
        echo "compiler: $(g++ --version | head -1)"
        echo "transparent huge pages: $(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo unknown)"
        echo "simulated systems in: $(df --output=fstype "$work" | tail -1) ($scratch)"
        echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
    } > "$results/machine.txt"

    # ---- Google Benchmark binaries: pairs interleaved at random, medians ----
    for name in bench_object_id bench_list_reader bench_list_writer; do
        binary=$build/bench/$name
        if [ ! -x "$binary" ]; then
            echo "bench.sh: $name was not built (a comparison library is missing)" >&2
            continue
        fi
        echo "== $name"
        "$binary" --benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true \
            --benchmark_report_aggregates_only=true \
            --benchmark_out="$results/$name.json" --benchmark_out_format=json
    done

    # The list parse again with glibc's heap on transparent huge pages, for both sides alike:
    # first touching fresh memory then costs next to nothing, which leaves the parsing work
    # and the memory each side fills.
    if [ -x "$build/bench/bench_list_reader" ]; then
        echo "== bench_list_reader, heap on huge pages"
        GLIBC_TUNABLES=glibc.malloc.hugetlb=1 "$build/bench/bench_list_reader" \
            --benchmark_filter='^ListParse/' --benchmark_repetitions="$repetitions" \
            --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
            --benchmark_out="$results/bench_list_reader-huge-pages.json" --benchmark_out_format=json
    fi

    # ---- Whole runs under the simulated storage system ----
    rounds_for() {
        if [ -n "${BENCH_ROUNDS:-}" ]; then echo "$BENCH_ROUNDS"; return; fi
        case $1 in 1000) echo 15 ;; 10000) echo 9 ;; *) echo 5 ;; esac
    }

    # run_one COUNT ROAD WHO ROUND: one whole process, timed; appends a line to runs.tsv.
    run_one() {
        local count=$1 road=$2 who=$3 round=$4 system=$work/system$1
        local command
        if [ "$who" = korvane ]; then
            local file=$work/volumes$count.xml
            [ "$road" = get ] && file=$work/written$count.xml
            [ "$road" = restore ] && file=$work/restore$count.xml
            command=("$korvane" "${road/restore/put}" volume "$file")
        else
            command=("$floor" "$road" volume)
        fi
        local start end
        start=$(date +%s%N)
        /usr/bin/time -f '%U %S %M' -o "$work/time" "$zapisim" run "$system" -- "${command[@]}" > "$work/out" \
            || { echo "bench.sh: $who $road failed at $count objects:" >&2; cat "$work/out" >&2; exit 1; }
        end=$(date +%s%N)
        read -r user sys rss < "$work/time"
        printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$count" "$road" "$who" "$round" \
            "$(( end - start ))" "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" "$rss" \
            >> "$results/runs.tsv"
        # A restore leaves the other IDs: the system gets its own back, untimed.
        if [ "$road" = restore ]; then
            "$zapisim" run "$system" -- "$korvane" put volume "$work/volumes$count.xml" > /dev/null
        fi
    }

    # run_terminal COUNT ROUND: get through script(1), once with standard error the terminal
    # (the progress line, and the count of the admin directory it needs) and once with it
    # on /dev/null, both otherwise alike; appends both to runs.tsv as get-terminal and
    # get-quiet.
    run_terminal() {
        local count=$1 round=$2 system=$work/system$1 who quiet start end
        for who in terminal quiet; do
            quiet=""
            [ "$who" = quiet ] && quiet="2>/dev/null"
            start=$(date +%s%N)
            script -qec "/usr/bin/time -f '%U %S %M' -o $work/time $zapisim run $system -- \
                $korvane get volume $work/written$count.xml >/dev/null $quiet" /dev/null > /dev/null \
                || { echo "bench.sh: get on a terminal failed at $count objects" >&2; exit 1; }
            end=$(date +%s%N)
            read -r user sys rss < "$work/time"
            printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$count" "get-$who" korvane "$round" \
                "$(( end - start ))" "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" "$rss" \
                >> "$results/runs.tsv"
        done
    }

    # The floor must make the tool's requests: compare the journals of both (operation,
    # object, result, key and mask of every request, and the keys held at exit).
    check_floor() {
        local count=$1 system=$work/system$1 road
        "$zapisim" journal "$system" on
        for road in get put; do
            local file=$work/volumes$count.xml
            [ "$road" = get ] && file=$work/check.xml
            "$zapisim" journal "$system" --clear
            "$zapisim" run "$system" -- "$korvane" "$road" volume "$file" > /dev/null
            "$zapisim" journal "$system" | cut -f1-5 > "$work/journal.korvane"
            "$zapisim" journal "$system" --clear
            "$zapisim" run "$system" -- "$floor" "$road" volume
            "$zapisim" journal "$system" | cut -f1-5 > "$work/journal.floor"
            if ! cmp -s "$work/journal.korvane" "$work/journal.floor"; then
                echo "bench.sh: the floor's $road requests differ from korvane's:" >&2
                diff "$work/journal.korvane" "$work/journal.floor" | head >&2
                exit 1
            fi
            echo "floor check, $road at $count objects: $(wc -l < "$work/journal.floor") journal lines, identical" \
                >> "$results/floor-check.txt"
        done
        "$zapisim" journal "$system" --clear
        "$zapisim" journal "$system" off
    }

    printf 'count\troad\twho\tround\twall_ns\tcpu_s\tmaxrss_kb\n' > "$results/runs.tsv"
    : > "$results/floor-check.txt"
    first=1
    for count in $counts; do
        echo "== whole runs, $count volumes"
        system=$work/system$count
        "$zapisim" init "$system"
        "$zapisim" add-many "$system" volume "$count" VOL
        "$zapisim" journal "$system" off
        # The put file is what a get of the same system writes: put then gives every object
        # the ID it has, so each run leaves the system as it found it.
        "$zapisim" run "$system" -- "$korvane" get volume "$work/volumes$count.xml" > /dev/null
        # The restore's list: the first digit of every ID turned to the next one, and the
        # pair's check comment dropped, as a deliberately edited pair must have it.
        awk 'BEGIN { split("0123456789abcdef", d, "") ; for (i = 1; i <= 16; i++) next_[d[i]] = d[i % 16 + 1] }
             /<volumeGUID>/ { at = index($0, "<volumeGUID>") + 12
                              $0 = substr($0, 1, at - 1) next_[substr($0, at, 1)] substr($0, at + 1)
                              sub(/ <!-- check [0-9a-f]+ -->/, "") }
             { print }' "$work/volumes$count.xml" > "$work/restore$count.xml"
        stat -c '%s' "$work/volumes$count.xml" > "$work/size$count"
        printf '%s\t%s\n' "$count" "$(cat "$work/size$count")" >> "$results/file-sizes.tsv"
        if [ "$first" = 1 ]; then
            check_floor "$count"
            first=0
        fi
        rounds=$(rounds_for "$count")
        for round in $(seq 1 "$rounds"); do
            # The order turns each round, so that no side always runs after the same one.
            case $(( round % 4 )) in
                0) order="korvane:get korvane:diff floor:get korvane:put korvane:restore floor:put" ;;
                1) order="floor:get korvane:diff korvane:get floor:put korvane:restore korvane:put" ;;
                2) order="korvane:restore korvane:put floor:put korvane:get floor:get korvane:diff" ;;
                3) order="floor:put korvane:put korvane:diff floor:get korvane:restore korvane:get" ;;
            esac
            for step in $order; do
                run_one "$count" "${step#*:}" "${step%%:*}" "$round"
            done
        done
        # The progress line's cost: get on a terminal against get beside it with standard
        # error elsewhere.
        for round in $(seq 1 "$rounds"); do
            run_terminal "$count" "$round"
        done
        # Listing the admin directory alone: the part of the floor's put that the tool does not
        # share (it reads the file instead).
        for round in $(seq 1 "$rounds"); do
            run_one "$count" list floor "$round"
        done
        rm -rf "$system"
    done
    echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)" >> "$results/machine.txt"
}

if [ "$summary_only" = 0 ]; then
    measure
fi

# ---- Medians, ratios, goals; the plot ----
python3 - "$results" <<'PYTHON'
import collections, glob, json, os, statistics, sys

results = sys.argv[1]
out = []
median = statistics.median

# Google Benchmark: GROUP/korvane against GROUP/REFERENCE, medians of CPU time (the
# machine is shared: CPU time is what another process's load disturbs least).
# ListRead (reading the file too) is reported beside ListParse: the reader must read in
# pieces of at most 4,096 bytes, pugixml's load_file reads the file in one call. These
# comparisons are information; the goals are those of the whole runs.
out.append("## Benchmarks (Google Benchmark, medians of %s)" % "repetitions")
out.append("")
out.append("| benchmark | korvane | reference | time ratio korvane/reference | speed ratio |")
out.append("|---|---|---|---|---|")
for path in sorted(glob.glob(os.path.join(results, "bench_*.json"))):
    data = json.load(open(path))
    # bench_NAME-CONDITION.json: the same benchmarks under another condition, reported only.
    condition = os.path.basename(path)[:-len(".json")].partition("-")[2].replace("-", " ")
    medians = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") == "median":
            medians[b["run_name"]] = b
    groups = collections.OrderedDict()
    for name in medians:
        group, side = name.split("/", 1)
        groups.setdefault(group, []).append(side)
    for group, sides in groups.items():
        if "korvane" not in sides:
            continue
        ours = medians[group + "/korvane"]
        for side in sides:
            if side == "korvane":
                continue
            ref = medians[group + "/" + side]
            ratio = ours["cpu_time"] / ref["cpu_time"]
            unit = ours["time_unit"]
            out.append("| %s | %.4g %s | %s %.4g %s | %.3f | %.3f |" % (
                group + (" (%s)" % condition if condition else ""), ours["cpu_time"], unit, side, ref["cpu_time"], unit, ratio, 1 / ratio))
out.append("")

# Whole runs.
runs = collections.defaultdict(dict)  # (count, road, who) -> round -> (wall s, cpu s, rss KB)
with open(os.path.join(results, "runs.tsv")) as f:
    next(f)
    for line in f:
        count, road, who, rnd, wall, cpu, rss = line.split("\t")
        runs[(int(count), road, who)][int(rnd)] = (int(wall) / 1e9, float(cpu), int(rss))
sizes = {}
with open(os.path.join(results, "file-sizes.tsv")) as f:
    for line in f:
        count, size = line.split()
        sizes[int(count)] = int(size)
counts = sorted({key[0] for key in runs})

def med(count, road, who, field):
    return median(v[field] for v in runs[(count, road, who)].values())

def ratio(a, b):
    return a / b if b > 0 else float("nan")

def paired(count, road, field):
    # A restore is a put: its floor is the floor's put.
    tool, floor_ = runs[(count, road, "korvane")], runs[(count, road.replace("restore", "put"), "floor")]
    # GNU time counts CPU seconds in hundredths: a tiny run may show none.
    ratios = [tool[r][field] / floor_[r][field] for r in tool if r in floor_ and floor_[r][field] > 0]
    return median(ratios) if ratios else float("nan")

out.append("## Whole runs under the simulated storage system (medians over rounds)")
out.append("")
out.append("| volumes | road | rounds | korvane wall | floor wall | korvane per object | floor per object | wall ratio (paired median) | CPU ratio (paired median) | korvane peak RSS | floor peak RSS |")
out.append("|---|---|---|---|---|---|---|---|---|---|---|")
plot = []
roads = ("get", "put", "restore") if (counts[0], "restore", "korvane") in runs else ("get", "put")
for count in counts:
    row = [count]
    for road in roads:
        floor_road = road.replace("restore", "put")
        tw, fw = med(count, road, "korvane", 0), med(count, floor_road, "floor", 0)
        out.append("| %d | %s | %d | %.3f s | %.3f s | %.1f us | %.1f us | %.3f | %.3f | %d KB | %d KB |" % (
            count, road, len(runs[(count, road, "korvane")]), tw, fw, tw / count * 1e6,
            fw / count * 1e6, paired(count, road, 0), paired(count, road, 1),
            med(count, road, "korvane", 2), med(count, floor_road, "floor", 2)))
        if road != "restore":
            row += [tw / count * 1e6, fw / count * 1e6]
    plot.append(row)
# diff makes get's requests for every object, after reading the file as put does.
for count in counts:
    if (count, "diff", "korvane") not in runs:
        continue
    tool, get = runs[(count, "diff", "korvane")], runs[(count, "get", "korvane")]
    wall = median([tool[r][0] / get[r][0] for r in tool if r in get])
    cpu = [tool[r][1] / get[r][1] for r in tool if r in get and get[r][1] > 0]
    out.append("| %d | diff | %d | %.3f s | get %.3f s | %.1f us | get %.1f us | %.3f (against get) | %s | %d KB | get %d KB |" % (
        count, len(tool), med(count, "diff", "korvane", 0), med(count, "get", "korvane", 0),
        med(count, "diff", "korvane", 0) / count * 1e6, med(count, "get", "korvane", 0) / count * 1e6,
        wall, "%.3f (against get)" % median(cpu) if cpu else "nan", med(count, "diff", "korvane", 2),
        med(count, "get", "korvane", 2)))
for count in counts:
    if (count, "get-terminal", "korvane") not in runs:
        continue
    term, quiet = runs[(count, "get-terminal", "korvane")], runs[(count, "get-quiet", "korvane")]
    cpu = [term[r][1] / quiet[r][1] for r in term if r in quiet and quiet[r][1] > 0]
    out.append("| %d | get on a terminal | %d | %.3f s | quiet %.3f s | %.1f us | quiet %.1f us | %.3f (against quiet) | %s | %d KB | quiet %d KB |" % (
        count, len(term), med(count, "get-terminal", "korvane", 0), med(count, "get-quiet", "korvane", 0),
        med(count, "get-terminal", "korvane", 0) / count * 1e6, med(count, "get-quiet", "korvane", 0) / count * 1e6,
        median([term[r][0] / quiet[r][0] for r in term if r in quiet]),
        "%.3f (against quiet)" % median(cpu) if cpu else "nan", med(count, "get-terminal", "korvane", 2),
        med(count, "get-quiet", "korvane", 2)))
out.append("")
out.append("Listing the admin directory alone (part of every road): " +
           ", ".join("%d volumes %.3f s" % (c, med(c, "list", "floor", 0)) for c in counts
                     if (c, "list", "floor") in runs))
out.append("")

out.append("## Goals of the whole runs")
out.append("")
out.append("| goal | measured | met |")
out.append("|---|---|---|")
big = max(counts)
# A put's floor is a get's requests and then the walk's: the tool's reading of the system
# before any change is inside it, and whole puts keep within 5% of it.
for road in roads:
    bound = 1.10 if road == "get" else 1.05
    for field, label in ((0, "wall"), (1, "CPU")):
        r = paired(big, road, field)
        out.append("| %s: korvane within %d%% of the floor at %d (%s) | %.3f | %s |" % (
            road, round((bound - 1) * 100), big, label, r, "yes" if r <= bound else "no"))
if (big, "diff", "korvane") in runs:
    tool, get = runs[(big, "diff", "korvane")], runs[(big, "get", "korvane")]
    r = median([tool[k][0] / get[k][0] for k in tool if k in get])
    out.append("| diff: within 5%% of get at %d (wall) | %.3f | %s |" % (big, r, "yes" if r <= 1.05 else "no"))
if big >= 10000 and big // 10 in counts:
    small = big // 10
    for road in ("get", "put"):
        for field, label in ((0, "wall"), (1, "CPU")):
            r = ratio(med(big, road, "korvane", field), med(small, road, "korvane", field))
            out.append("| %s: time(%d) / time(%d) <= 11 (%s) | %.2f | %s |" % (
                road, big, small, label, r, "yes" if r <= 11 else "no"))
node_bytes = 320  # a 304-byte NameGUIDList_s as the C library's allocator holds it
# The reading of the live system: a 28-byte record per object, the name and ID indexes (up to
# 16 bytes each) and the name block, grown by doubling (names of about 10 bytes here).
reading_bytes = 28 + 16 + 16 + 20
extra = (med(big, "put", "korvane", 2) - med(big, "put", "floor", 2)) * 1024
limit = 2 * sizes[big] + big * (node_bytes + reading_bytes)
out.append("| put: peak memory beyond the floor <= 2 x file (%d bytes) + nodes and reading (%d x %d bytes) | %.1f MB of %.1f MB | %s |" % (
    sizes[big], big, node_bytes + reading_bytes, extra / 1e6, limit / 1e6, "yes" if extra <= limit else "no"))
out.append("")

with open(os.path.join(results, "summary.md"), "w") as f:
    f.write("\n".join(out))
with open(os.path.join(results, "per-object.dat"), "w") as f:
    f.write("# volumes get_korvane_us get_floor_us put_korvane_us put_floor_us\n")
    for row in plot:
        f.write(" ".join(str(v) for v in row) + "\n")
print("\n".join(out))
PYTHON

gnuplot <<GNUPLOT
set terminal pngcairo size 1100,520 font "DejaVu Sans,11"
set output "$results/time-per-object.png"
set multiplot layout 1,2 title "Whole runs under the simulated storage system: wall time per volume (medians)"
set logscale x
set xrange [500:200000]
set xlabel "volumes"
set ylabel "microseconds per volume"
set yrange [0:*]
set key bottom right
set grid
set title "korvane get volume"
plot "$results/per-object.dat" using 1:2 with linespoints lw 2 pt 7 title "korvane", \
     "" using 1:3 with linespoints lw 2 pt 6 dt 2 title "floor"
set title "korvane put volume"
plot "$results/per-object.dat" using 1:4 with linespoints lw 2 pt 5 title "korvane", \
     "" using 1:5 with linespoints lw 2 pt 4 dt 2 title "floor"
unset multiplot
GNUPLOT
cp "$results/time-per-object.png" "$root/docs/performance-time-per-object.png"
echo "results: $results/summary.md; plot: docs/performance-time-per-object.png"
