#!/usr/bin/env bash
# Configures, builds and runs every test headless; ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

# QtTest's checks record nothing inside a GoogleTest test: one that fails
# returns from the test, which then passes. Waits and checks must be
# GoogleTest assertions (ASSERT_TRUE(eventually(...)) in tests/gui/eventually.h).
if grep -rnE --include='*.cpp' --include='*.h' \
  '\b(QTRY_[A-Z0-9_]+|QVERIFY[A-Z0-9_]*|QCOMPARE[A-Z0-9_]*|QFAIL|QSKIP|QEXPECT_FAIL|QTEST)\b' tests; then
  echo "test.sh: the lines above use QtTest's check macros, which GoogleTest never sees;" \
    "use ASSERT_TRUE(eventually(...)) or EXPECT_*/ASSERT_* instead" >&2
  exit 1
fi

# The core reaches the operating system only through src/os/.
bash scripts/check-posix.sh

bash scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$(mktemp -d)"
  chmod 700 "$XDG_RUNTIME_DIR"
fi

cmake --preset default
cmake --build --preset default -j "$(nproc)"

# ctest gives each GUI test a process of its own. One process for them all
# also shows what a test leaves behind for the next (a window, a timer, a
# dialog nobody answers); a hang fails here rather than waiting for ever.
gui=build/default/tests/gui_tests
if [ -x "$gui" ]; then
  limit=300
  echo "gui_tests, all in one process (at most ${limit} s):"
  status=0
  timeout --kill-after=10 "$limit" "$gui" --gtest_brief=1 || status=$?
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "test.sh: gui_tests as one process did not end within ${limit} s: a test hangs" >&2
    exit 1
  elif [ "$status" -ne 0 ]; then
    echo "test.sh: gui_tests as one process failed (exit ${status})" >&2
    exit 1
  fi
fi

ctest --preset default "$@"
