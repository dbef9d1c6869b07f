#!/usr/bin/env bash
# Runs every libFuzzer target for a given time and writes, per target, the
# executions, the coverage reached and the findings to one log.
#
#   tools/fuzz-all.sh [-j jobs] [-b build-dir] [-l log] [seconds-per-target]
#
# Seconds default to 60. Targets run `jobs` at a time (default 1: one core
# each, one after another). The build directory (default build-fuzz) is
# configured with clang and -DQEL_FUZZ=ON and built first when it has no
# targets yet. Each target starts from its seed corpus under fuzz/ and grows
# a copy of it in <build-dir>/fuzz-work/<target>/corpus, so the seeds in the
# repository stay as they are; what it finds (crash-*, timeout-*, oom-*,
# leak-*, slow-unit-*) lands in <build-dir>/fuzz-work/<target>/findings and
# the fuzzer's own output in <build-dir>/fuzz-work/<target>/output.txt. The
# log (default fuzz-all.log) gets one line per target:
#   <target> seconds=<s> executions=<n> cov=<edges> ft=<features> corpus=<units> findings=<n> [files]
# The exit status is 1 when any target found something.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=1
build=build-fuzz
log=fuzz-all.log
while getopts "j:b:l:" opt; do
  case $opt in
    j) jobs=$OPTARG ;;
    b) build=$OPTARG ;;
    l) log=$OPTARG ;;
    *) sed -n '2,18p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
seconds=${1:-60}
case $build in /*) ;; *) build=$PWD/$build ;; esac
case $log in /*) ;; *) log=$PWD/$log ;; esac

if [[ -z $(find "$build/fuzz" -maxdepth 1 -type f -perm -u+x -name '*_fuzz*' 2>/dev/null) ]]; then
  cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DQEL_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_BUILD_TESTS=OFF -DQEL_BUILD_EXAMPLES=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)"
fi

# The seeds of a target: fuzz/corpus-<format> for a reader, fuzz/corpus otherwise.
seeds_of() {
  local format=${1#reader_fuzz_}
  if [[ $1 != "$format" && -d $root/fuzz/corpus-$format ]]; then
    echo "$root/fuzz/corpus-$format"
  else
    echo "$root/fuzz/corpus"
  fi
}

run_one() {
  local target=$1 work=$build/fuzz-work/$1
  mkdir -p "$work/corpus" "$work/findings"
  local started=$SECONDS
  # -timeout: one input taking longer is a finding; the fuzzer stops at its
  # first finding, so a short run is itself a sign.
  "$build/fuzz/$target" "$work/corpus" "$(seeds_of "$target")" -max_total_time="$seconds" \
    -timeout=30 -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$work/findings/" \
    >"$work/output.txt" 2>&1 || true
  local execs cov ft units files
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/output.txt" | grep -o '[0-9]*$' || true)
  read -r cov ft units < <(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*' "$work/output.txt" | tail -1 |
    awk '{print $2, $4, $6}') || true
  files=$(cd "$work/findings" && ls | tr '\n' ' ')
  printf '%s seconds=%d executions=%s cov=%s ft=%s corpus=%s findings=%d %s\n' "$target" \
    $((SECONDS - started)) "${execs:-?}" "${cov:-?}" "${ft:-?}" "${units:-?}" \
    "$(cd "$work/findings" && ls | wc -l)" "$files" >>"$log"
}

: >"$log"
targets=$(find "$build/fuzz" -maxdepth 1 -type f -perm -u+x -name '*_fuzz*' -printf '%f\n' | sort)
for target in $targets; do
  while (($(jobs -rp | wc -l) >= jobs)); do wait -n; done
  run_one "$target" &
done
wait
cat "$log"
! grep -q 'findings=[1-9]' "$log"
