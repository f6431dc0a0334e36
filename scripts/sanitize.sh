#!/usr/bin/env bash
# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer:
# clang with warnings as errors, Debug (at -O1, which keeps the reports' lines
# and halves the time), in build-asan/. Any report ends its test with a
# failure; the only leaks suppressed are inside the system's PipeWire
# libraries (tests/sanitize/lsan.supp). The window's tests run offscreen. The
# build also holds the readers' libFuzzer targets, so that
# SONRAKE_FUZZ_BUILD=build-asan bash scripts/fuzz.sh runs them without a
# second build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang

build=build-asan
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DSONRAKE_SANITIZE=address,undefined -DSONRAKE_FUZZ=ON -DSONRAKE_WERROR=ON \
  -DSONRAKE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:strict_init_order=1
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitize/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
# Libraries stay loaded until the process ends (tests/sanitize/keep_loaded.c),
# so that a leak inside a system library unloaded before the leak check is
# still named, and suppressed by its name.
clang -shared -fPIC -O1 -o "$build/libkeep_loaded.so" tests/sanitize/keep_loaded.c
export LD_PRELOAD=$PWD/$build/libkeep_loaded.so
# A test that fails is run once more: under the sanitizers JACK's own client
# thread has crashed once in a while in a test that restarts PortAudio on a new
# server (libjack, not our code, on the stack). A fault of ours fails twice.
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --repeat until-pass:2
