#!/usr/bin/env bash
# Runs one libFuzzer target for a fixed time and prints one summary line:
#   FUZZ|<target>|<executions>|<seconds>|<corpus entries>|<result>
#
#   run-fuzzer.sh <fuzzer> <seed folder> <seconds> <artifact folder>
#
# The seeds are copied to a scratch corpus first, so the run never writes into the source tree. When
# FENNOR_FUZZ_CORPUS names a folder, the corpus lives there instead (<folder>/<target>) and grows from
# run to run; FENNOR_FUZZ_SECONDS overrides the length. A crash, leak, timeout or sanitizer report
# leaves its input in the artifact folder and fails the run.
set -uo pipefail
fuzzer="$1" seeds="$2" seconds="${FENNOR_FUZZ_SECONDS:-$3}" artifacts="$4"
name="$(basename "$fuzzer")"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1:suppressions=$here/ubsan.supp}"

if [ -n "${FENNOR_FUZZ_CORPUS:-}" ]; then
  corpus="$FENNOR_FUZZ_CORPUS/$name"
  mkdir -p "$corpus"
else
  corpus="$(mktemp -d "${TMPDIR:-/tmp}/fuzz-$name.XXXXXX")"
  trap 'rm -rf "$corpus"' EXIT
fi
cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
mkdir -p "$artifacts"
log="$(mktemp "${TMPDIR:-/tmp}/fuzz-$name.log.XXXXXX")"

# -close_fd_mask=1: the code under test may print diagnostics to standard output; libFuzzer's own
# report goes to standard error and is kept.
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -close_fd_mask=1 -artifact_prefix="$artifacts/$name-" "$corpus" >"$log" 2>&1
status=$?

executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
entries="$(find "$corpus" -type f | wc -l)"
if ((status == 0)); then
  result=ok
else
  result="FAILED (exit $status)"
  tail -n 60 "$log"
fi
rm -f "$log"
echo "FUZZ|$name|${executions:-?}|$seconds|$entries|$result"
exit $status
