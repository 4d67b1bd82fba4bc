#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, builds (each library's
# sources compiled in batches, which makes a clean build much quicker), and then either starts
# the program on a demo data folder (run) or runs every test (test): once in
# the normal build, then again built with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan), where any report fails the test.
set -euo pipefail

mode=${1:-}
case "$mode" in
  run|test) ;;
  *) echo "usage: tools/setup.sh run|test" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
build=${TVQ52_BUILD_DIR:-$root/build}
asan_build=${TVQ52_ASAN_BUILD_DIR:-$root/build-asan}

sudo=""
if [ "$(id -u)" != 0 ]; then sudo="sudo"; fi

# What the programs need to build and run (Qt's own translations put its
# buttons and dialogs in the chosen language; lld links much faster than ld).
build_packages=(cmake ninja-build g++ lld pkg-config ccache
                qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6sql6-sqlite libqt6sql6-psql
                libsqlite3-dev libpq-dev libssl-dev libgl-dev libxkbcommon-dev
                qt6-translations-l10n)
# What the tests, benchmarks, fuzz targets and the package check add.
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev postgresql openssl
               socat iaxmodem strace poppler-utils
               dpkg-dev fakeroot file desktop-file-utils appstream lintian shared-mime-info)
packages=("${build_packages[@]}")
if [ "$mode" = test ]; then packages+=("${test_packages[@]}"); fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

jobs=$(nproc)
if [ "$mode" = run ]; then
  # Only the three programs and the manual: the tests are built by `tools/setup.sh test`.
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTVQ52_UNITY=ON >/dev/null
  cmake --build "$build" -j"$jobs" --target tvq52 tvq52-cli tvq52-sim tvq52_assets tvq52_manual
else
  # Every test tool must be there (the configure stops if one is not), and a
  # warning fails the build. Line tables are all a failure's stack trace
  # needs, and full debug information costs a fifth of the compile time.
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTVQ52_UNITY=ON \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
        -DTVQ52_REQUIRE_ALL=ON -DTVQ52_WERROR=ON >/dev/null
  cmake --build "$build" -j"$jobs"
fi

if [ "$mode" = test ]; then
  export QT_QPA_PLATFORM=offscreen
  # iaxmodem was installed above and root may configure it: its test must run, not skip.
  if [ "$(id -u)" = 0 ]; then export TVQ52_REQUIRE_REAL_MODEM=1; fi

  # The sanitizer build holds the logic and its tests: the windows, the
  # benchmarks and the fuzz targets (which carry their own sanitizers and
  # already run with the normal build's tests) are left out. It is compiled
  # while those tests run, which mostly wait on timers, other processes and
  # the database server and leave the cores idle; at the lowest priority, so
  # that the tests' timing still sees a quiet machine.
  start=$SECONDS
  cmake -S "$root" -B "$asan_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTVQ52_UNITY=ON \
        -DTVQ52_SANITIZE=ON -DTVQ52_REQUIRE_ALL=ON -DTVQ52_WERROR=ON >/dev/null
  asan_log=$asan_build/setup-build.log
  # A session of its own, so that the whole build can be stopped at once.
  setsid nice -n 19 cmake --build "$asan_build" -j"$jobs" >"$asan_log" 2>&1 &
  asan_pid=$!
  trap 'kill -- -"$asan_pid" 2>/dev/null || true' EXIT
  ctest --test-dir "$build" --output-on-failure -j"$jobs"
  echo "Normal tests: $((SECONDS - start)) s; waiting for the sanitizer build"
  if ! wait "$asan_pid"; then
    tail -n 60 "$asan_log" >&2
    echo "The sanitizer build failed (whole output in $asan_log)" >&2
    exit 1
  fi
  trap - EXIT
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
  export UBSAN_OPTIONS=print_stacktrace=1
  ctest --test-dir "$asan_build" --output-on-failure -j"$jobs"
  echo "Normal tests, then the sanitizer build's end and its tests: $((SECONDS - start)) s"
else
  if [ -x "$root/tools/run-demo.sh" ]; then
    exec "$root/tools/run-demo.sh" "$build"
  fi
  exec "$build/bin/tvq52" --home "${TVQ52_DEMO_HOME:-$build/demo-home}"
fi
