#!/usr/bin/env bash
# scripts/test's counting, on sample lines of each runner's output.
cd "$(dirname "$0")/../.."
source scripts/test-counts
passed=0 failed=0
check() { # name expected actual
  if [ "$2" = "$3" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL $1: expected '$2', got '$3'"; fi
}
log=$(mktemp); trap 'rm -f "$log"' EXIT

printf '%s\n' 'blah' '100% tests passed, 0 tests failed out of 161' > "$log"
check ctest_all_passed "161 0" "$(ctest_counts "$log")"
printf '%s\n' '92% tests passed, 12 tests failed out of 150' > "$log"
check ctest_two_digit_failures "138 12" "$(ctest_counts "$log")"
printf '%s\n' '0% tests passed, 1 test failed out of 1' > "$log"
check ctest_singular "0 1" "$(ctest_counts "$log")"
printf '%s\n' 'no summary here' > "$log"
check ctest_none "" "$(ctest_counts "$log")"

printf '%s\n' '[==========] 57 tests ran.' '[  PASSED  ] 57 tests.' > "$log"
check gtest_all_passed "57 0" "$(gtest_counts "$log")"
printf '%s\n' '[  PASSED  ] 45 tests.' '[  FAILED  ] 12 tests, listed below:' '[  FAILED  ] A.b' > "$log"
check gtest_failures "45 12" "$(gtest_counts "$log")"
printf '%s\n' '[  PASSED  ] 1 test.' > "$log"
check gtest_singular "1 0" "$(gtest_counts "$log")"
: > "$log"
check gtest_empty "0 0" "$(gtest_counts "$log")"

check script_two_digits "12 0" "$(script_counts $'kills: 36\ncrash-safety: 12 passed, 0 failed')"
check script_last_line_counts "3 10" "$(script_counts $'x: 1 passed, 0 failed\ny: 3 passed, 10 failed')"
check script_none "" "$(script_counts 'nothing to count')"

echo "test-counts: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
