#!/usr/bin/env bash
# Every test CTest knows in a build carries the environment every test needs, whatever the environment CTest
# itself is started in: each VARIABLE=VALUE given is among the variables CTest sets for the test.
# Usage: TestEnvironmentTest.sh CTEST BUILD-DIR VARIABLE=VALUE...
# Prints "TEST: no VARIABLE=VALUE" for each one a test lacks and exits 1 when any does.
set -euo pipefail
ctest=$1 build=$2
shift 2
# CTest's listing gives each test's variables as "N:  NAME=VALUE" lines after "N: Environment variables:",
# and ends each test's entry with "  Test #N: NAME".
"$ctest" --test-dir "$build" -N -V | awk -v needed="$*" '
  BEGIN { wanted = split(needed, variables, " ") }
  /^[0-9]+: Environment variables:/ { inside = 1; next }
  inside && /^[0-9]+:  / { line = $0; sub(/^[0-9]+:  /, "", line); has[line] = 1; next }
  { inside = 0 }
  /^ +Test +#[0-9]+: / {
    name = $0; sub(/^ +Test +#[0-9]+: /, "", name)
    ++tests
    for (i = 1; i <= wanted; ++i) if (!(variables[i] in has)) { print name ": no " variables[i]; ++faults }
    delete has
  }
  END {
    if (tests == 0) { print "no test is registered in the build"; exit 1 }
    print tests " tests checked"
    exit faults > 0
  }'
