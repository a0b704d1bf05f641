#!/usr/bin/env bash
# Build, test, demo and benchmark driver.
#   ./run.sh setup   install what a fresh Debian 12 machine lacks
#   ./run.sh test    setup, build, run every test; again under ASan+UBSan; bounded fuzz runs
#   ./run.sh demo    setup, build, run the main job on the bundled sample map
#   ./run.sh bench   setup, build in Release, run the benchmarks
# The Python interpreter is /usr/bin/python3 unless PYTHON names another.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
PYTHON=${PYTHON:-/usr/bin/python3}
JOBS=${JOBS:-$(nproc)}
FUZZ_SECONDS=${FUZZ_SECONDS:-60}

PACKAGES=(cmake make g++ clang-14 libclang-rt-14-dev clang-format-14 libgtest-dev libgmock-dev libbenchmark-dev
          pybind11-dev python3-dev python3-pytest)

setup() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y "${missing[@]}"
  fi
}

configure() {  # dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -DPython_EXECUTABLE="$PYTHON" "$@" >/dev/null
}

configure_build() {  # dir, extra cmake args...
  configure "$@"
  cmake --build "$1" -j "$JOBS"
}

run_ctest() {  # dir
  (cd "$1" && ctest --output-on-failure -j "$JOBS" --timeout 600)
}

fuzz() {
  local dir=build-fuzz
  CXX=clang++-14 cmake -S "$ROOT" -B "$dir" -DQL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$dir" -j "$JOBS"
  local pids=() names=()
  for target in fuzz_json fuzz_archive fuzz_xxtea fuzz_sdtile fuzz_tile; do
    local work="$dir/corpus-$target"
    rm -rf "$work" && mkdir -p "$work"
    [ -d "tests/fuzz/corpus/$target" ] && cp -r "tests/fuzz/corpus/$target/." "$work/"
    if [ "$target" = fuzz_json ]; then  # the JSON test suite's parsing documents
      cp tests/data/jsontestsuite/test_parsing/* "$work/"
    fi
    if [ "$target" = fuzz_tile ]; then  # the sample map's tiles in every encoding
      for f in examples/sample_map/hd/*/*; do cp "$f" "$work/sample-$(basename "$(dirname "$f")")-$(basename "$f")"; done
    fi
    echo "fuzz: $target for ${FUZZ_SECONDS}s"
    "$dir/$target" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
      -print_final_stats=1 -artifact_prefix="$dir/$target-" "$work" >"$dir/$target.log" 2>&1 &
    pids+=($!); names+=("$target")
  done
  local failed=0
  for i in "${!pids[@]}"; do
    if wait "${pids[$i]}"; then
      echo "fuzz: ${names[$i]} clean ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$dir/${names[$i]}.log" | grep -o '[0-9]*$') runs)"
    else
      echo "fuzz: ${names[$i]} FAILED"; tail -n 40 "$dir/${names[$i]}.log"; failed=1
    fi
  done
  return $failed
}

# Fails when a C or C++ source differs from what .clang-format makes of it.
format_check() {
  local bad=()
  while IFS= read -r f; do
    clang-format-14 --style=file "$f" | cmp -s - "$f" || bad+=("$f")
  done < <(git ls-files '*.cpp' '*.h' '*.hpp')
  if [ ${#bad[@]} -gt 0 ]; then
    echo "format: these files differ from .clang-format (run: clang-format-14 -i FILE):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    return 1
  fi
  echo "format: clean"
}

test_all() {
  setup
  format_check
  configure_build build -DQL_WERROR=ON
  run_ctest build
  # The shipped build (optimised across sources at link time) gives the same answers.
  configure_build build-release -DQL_WERROR=ON -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON
  run_ctest build-release
  configure_build build-asan -DQL_WERROR=ON -DQL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_ctest build-asan
  fuzz
  echo "all tests passed"
}

demo() {
  setup
  configure build
  # Only what the demo runs; the build's output is shown only when it fails.
  local log=build/demo-build.log
  if ! cmake --build build -j "$JOBS" --target libquilmar_python tileindex >"$log" 2>&1; then
    cat "$log" >&2
    echo "demo: the build failed (its output is above)" >&2
    exit 1
  fi
  PYTHONPATH="$ROOT/build" "$PYTHON" examples/demo.py
  echo
  for args in "116.38 39.9" "116.3 39.9" "-116.3 -39.9" "0.01999999 0.04" "10.001 20.019"; do
    printf 'tileindex %-18s -> ' "$args"; build/tileindex $args; echo
  done
}

bench() {
  setup
  configure_build build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
  build-release/ql_bench "$@"
}

cmd=${1:-test}; shift || true
case "$cmd" in
  setup) setup ;;
  test) test_all ;;
  demo) demo ;;
  bench) bench "$@" ;;
  fuzz) setup; fuzz ;;
  *) echo "usage: $0 setup|test|demo|bench|fuzz" >&2; exit 2 ;;
esac
