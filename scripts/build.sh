#!/usr/bin/env bash
# Configures and builds one of the builds:
#   release   gcc, optimised (the intro, tools and benchmarks)
#   sanitize  clang with AddressSanitizer, UndefinedBehaviorSanitizer and
#             the libFuzzer targets
#   tsan      clang with ThreadSanitizer (for the tests of code that runs on
#             more than one thread; build just those targets)
# Usage: scripts/build.sh release|sanitize|tsan [ninja targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:?release, sanitize or tsan}
shift
case "$kind" in
  release)
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null ;;
  sanitize)
    cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DVK68_SANITIZE=ON -DVK68_FUZZ=ON >/dev/null ;;
  tsan)
    cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVK68_TSAN=ON >/dev/null ;;
  *) echo "unknown build '$kind'" >&2; exit 2 ;;
esac
cmake --build "build/$kind" -- "$@"
