#!/usr/bin/env bash
# The whole test suite from a fresh clone: installs what is missing, then configures, builds and
# tests the default, AddressSanitizer+UBSan and ThreadSanitizer builds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
for preset in default asan tsan; do
  echo "==== ${preset}: configure and build"
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}" -j "${jobs}"
  echo "==== ${preset}: test"
  ctest --preset "${preset}" -j "${jobs}"
done
echo "==== fuzz targets, each for a bounded time"
bash scripts/fuzz-all.sh
echo "==== all test suites passed"
