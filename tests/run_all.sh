#!/usr/bin/env bash
# Builds the program three times: as a Release tree (build/) and as a tree
# with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/), running
# every unit test and golden case in both; and as a tree with
# ThreadSanitizer (build-tsan/), running the tests of documents processed on
# several threads (label "threads"). Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVARNEL_TESTS=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVARNEL_SANITIZE=ON -DVARNEL_TESTS=ON
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVARNEL_SANITIZE=thread
cmake --build build-tsan -j"$jobs" --target varnel thread_tests
ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L threads

echo "All tests passed in the Release and the sanitizer builds."
