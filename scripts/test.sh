#!/usr/bin/env bash
# Installs what is missing, builds the release and the sanitizer builds and
# runs the whole test suite in both, and the tests of threaded code under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release
bash scripts/build.sh sanitize
bash scripts/build.sh tsan audio_device_test player_threads_test player_song_test
# Headless machines have neither a display nor a sound card.
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
# GoogleTest programs run their tests in a random order (the seed is printed)
# so that no test relies on another having run before it.
export GTEST_SHUFFLE=${GTEST_SHUFFLE:-1}
status=0
ctest --test-dir build/release --output-on-failure -j2 || status=1
ctest --test-dir build/sanitize --output-on-failure -j2 || status=1
# The intro's music started and stopped while refills run on SDL's thread;
# two players, and two songs, rendering on two threads at once.
ctest --test-dir build/tsan --output-on-failure \
  -R '^(audio_device_test|player_threads_test|player_song_test)$' || status=1
exit $status
