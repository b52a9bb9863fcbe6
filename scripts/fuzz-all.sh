#!/usr/bin/env bash
# Builds the fuzz targets with clang (the fuzz preset: libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time over a copy of its seed corpus,
# so that nothing it finds is written into the tree. Fails on any crash, leak, time-out or
# out-of-memory; the reproducer is kept under the run folder printed at the end.
#   KIV_FUZZ_SECONDS  seconds per target (default 60)
#   KIV_FUZZ_TARGETS  targets to run (default: every fuzz/*_fuzz.cpp that was built)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${KIV_FUZZ_SECONDS:-60}"
jobs=$(nproc 2>/dev/null || echo 2)

echo "==== fuzz: configure and build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${jobs}"

if [ -n "${KIV_FUZZ_TARGETS:-}" ]; then
  read -r -a targets <<<"${KIV_FUZZ_TARGETS}"
else
  targets=()
  for src in fuzz/*_fuzz.cpp; do
    name=$(basename "${src}" .cpp)
    [ -x "build-fuzz/bin/${name}" ] && targets+=("${name}")
  done
fi
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets were built" >&2; exit 1; }

run_dir=$(mktemp -d "${TMPDIR:-/tmp}/kiv-fuzz-XXXXXX")
failed=()
for name in "${targets[@]}"; do
  echo "==== fuzz: ${name} for ${seconds} s"
  work="${run_dir}/${name}"
  mkdir -p "${work}/corpus" "${work}/artifacts"
  cp -R "fuzz/corpus/${name}/." "${work}/corpus/"
  # -close_fd_mask=3: the targets' own output is dropped; libFuzzer and sanitizer reports stay.
  if ! "build-fuzz/bin/${name}" -max_total_time="${seconds}" -rss_limit_mb=2048 -timeout=10 \
      -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="${work}/artifacts/" \
      "${work}/corpus" >"${work}/log" 2>&1; then
    tail -n 60 "${work}/log"
    failed+=("${name}")
  else
    grep -E "^(stat::number_of_executed_units|Done)" "${work}/log" || true
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "==== fuzz: FAILED: ${failed[*]} (logs and reproducers in ${run_dir})" >&2
  exit 1
fi
rm -rf "${run_dir}"
echo "==== all fuzz targets passed"
