#!/usr/bin/env bash
# Builds Torvanix and every test (installing what is missing) and runs them all:
#   1. the normal build (optimised, as shipped): unit, widget and end-to-end tests;
#   2. the same tests in a build with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. a short run of each fuzzer, built with clang;
#   4. clang-format and clang-tidy.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

step() { printf '\n=== %s\n' "$*"; }

step "build and test"
# Warnings are errors here, where the compiler is the one the project is built with.
checks=(-DBUILD_TESTING=ON -DTORVANIX_WERROR=ON)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${checks[@]}"
cmake --build build
ctest --test-dir build --output-on-failure --timeout 300

step "build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVANIX_SANITIZE=ON "${checks[@]}"
cmake --build build-asan
ctest --test-dir build-asan --output-on-failure --timeout 600

step "fuzz"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVANIX_FUZZ=ON \
    "${checks[@]}"
cmake --build build-fuzz
ctest --test-dir build-fuzz --output-on-failure

step "style"
scripts/check-style.sh

step "all tests passed"
