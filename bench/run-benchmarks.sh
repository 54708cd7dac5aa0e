#!/usr/bin/env bash
# Builds the benchmark programs optimised and runs each of them several times
# (three by default), then prints the minimum and median (and maximum) of every figure
# beside its goal (bench/goals.tsv).
#
#   bench/run-benchmarks.sh [-b build-folder] [-n runs] [--no-build] [program ...]
#
# The build folder defaults to build-bench/ at the top of the repository; the
# programs default to all of them. A program runs once with
# --benchmark_repetitions, so bench_database generates its large file only
# once. The JSON of each program is kept in <build-folder>/bench-results/.
# The machine should be otherwise quiet: the figures are wall-clock times.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

build="$root/build-bench"
runs=3
do_build=1
programs=()
while [ $# -gt 0 ]; do
  case "$1" in
    -b|--build) build="$2"; shift 2 ;;
    -n|--runs) runs="$2"; shift 2 ;;
    --no-build) do_build=0; shift ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) programs+=("$1"); shift ;;
  esac
done
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
if [ ${#programs[@]} -eq 0 ]; then
  programs=(bench_core bench_dictionary bench_telline bench_gsm bench_road bench_database)
fi

if [ "$do_build" = 1 ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVA_BUILD_BENCH=ON \
        -DORVA_BUILD_TESTS=ON -DORVA_SANITIZE=OFF -DORVA_TSAN=OFF -DORVA_STRICT=OFF >/dev/null
  # Only the programs (and what they need) are built, not the tests.
  cmake --build "$build" --parallel "$(nproc)" --target "${programs[@]}"
fi

results="$build/bench-results"
work="$build/bench-work"
mkdir -p "$results" "$work"
failed=()
for p in "${programs[@]}"; do
  echo "=== $p ($runs runs)"
  # Each program works in a scratch folder of its own (logs, generated files).
  mkdir -p "$work/$p"
  if ! (cd "$work/$p" && "$build/bench/$p" --benchmark_repetitions="$runs" \
          --benchmark_out="$results/$p.json" --benchmark_out_format=json \
          --benchmark_report_aggregates_only=false); then
    failed+=("$p")
  fi
done

echo
echo "=== Summary: minimum, median and maximum of $runs runs (a goal is judged on the median)"
python3 - "$root/bench/goals.tsv" "$results" "${programs[@]}" <<'PY'
import json, os, re, statistics, sys

goals_file, results = sys.argv[1], sys.argv[2]
programs = sys.argv[3:]
goals = []
with open(goals_file) as f:
    for line in f:
        if not line.strip() or line.startswith('#'):
            continue
        program, bench, figure, goal, meaning = line.rstrip('\n').split('\t')
        op, value = goal.split()
        goals.append((program, re.compile(bench), figure, op, float(value), meaning))

standard = {'name', 'family_index', 'per_family_instance_index', 'run_name', 'run_type',
            'repetitions', 'repetition_index', 'threads', 'iterations', 'time_unit',
            'label', 'error_occurred', 'error_message', 'aggregate_name', 'aggregate_unit'}

missed = 0
for program in programs:
    path = os.path.join(results, program + '.json')
    if not os.path.exists(path):
        print(f'{program}: no results')
        continue
    with open(path) as f:
        runs = [b for b in json.load(f).get('benchmarks', []) if b.get('run_type') == 'iteration']
    by_name = {}
    for b in runs:
        by_name.setdefault(b.get('run_name', b['name']), []).append(b)
    print(program)
    for name, entries in by_name.items():
        errors = [b.get('error_message', '') for b in entries if b.get('error_occurred')]
        if errors:
            print(f'  {name}: FAILED: {errors[0]}')
            missed += 1
            continue
        # Times in milliseconds whatever unit the benchmark reports in.
        scale = {'ns': 1e-6, 'us': 1e-3, 'ms': 1.0, 's': 1e3}.get(entries[0].get('time_unit', 'ns'), 1.0)
        figures = {}
        for b in entries:
            for key, value in b.items():
                if key in standard or not isinstance(value, (int, float)):
                    continue
                if key in ('real_time', 'cpu_time'):
                    value = value * scale
                figures.setdefault(key, []).append(float(value))
        print(f'  {name}')
        for key, values in figures.items():
            label = key + (' (ms)' if key in ('real_time', 'cpu_time') else '')
            median = statistics.median(values)
            line = f'    {label:<28} min {min(values):>11.4g}  median {median:>11.4g}  max {max(values):>11.4g}'
            for program_, bench, figure, op, value, meaning in goals:
                if program_ == program and figure == key and bench.fullmatch(name):
                    ok = median <= value if op == '<=' else median >= value
                    missed += 0 if ok else 1
                    line += f'   goal {op} {value:g}: {"met" if ok else "MISSED"}  ({meaning})'
            print(line)
print()
print('every goal met' if missed == 0 else f'{missed} goal(s) missed or benchmark(s) failed')
PY
if [ ${#failed[@]} -gt 0 ]; then
  echo "programs that failed: ${failed[*]}" >&2
  exit 1
fi
