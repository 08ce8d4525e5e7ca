#!/usr/bin/env bash
# printable (scripts/printable.sh), as the scripts quote outside text with it: the same escaping as
# platform::printableText in the programs, under set -euo pipefail and whatever the caller's locale.
# Usage: PrintableTest.sh SOURCE-DIR
set -euo pipefail
. "$1/scripts/printable.sh"

failures=0
# printable TEXT gives EXPECTED (both as bash $'...' strings make them).
expect() {
  local text=$1 expected=$2 got
  got=$(printable "$text")
  if [ "$got" != "$expected" ]; then
    echo "FAIL: printable $(printf '%q' "$text") gave $(printf '%q' "$got"), not $(printf '%q' "$expected")" >&2
    failures=$((failures + 1))
  fi
}

for locale in C C.UTF-8; do
  export LC_ALL=$locale
  # Control characters show as hex escapes.
  expect $'junk\e[2J' 'junk\x1b[2J'
  expect $'two\nlines\r\t' 'two\x0alines\x0d\x09'
  expect $'del\x7f' 'del\x7f'
  # C1 controls and bytes that are not UTF-8 too.
  expect $'csi\xc2\x9b2J' 'csi\xc2\x9b2J'
  expect $'lone\x9b' 'lone\x9b'
  expect $'latin1 caf\xe9' 'latin1 caf\xe9'
  expect $'overlong \xc0\xaf' 'overlong \xc0\xaf'
  expect $'surrogate \xed\xa0\x80' 'surrogate \xed\xa0\x80'
  expect $'cut \xe4\xbb' 'cut \xe4\xbb'
  # Printable text and UTF-8 stay as they are, a backslash among them.
  expect 'pg5e18c0a7d94b2f63://open?a=1 b' 'pg5e18c0a7d94b2f63://open?a=1 b'
  expect 'a\x1b stays' 'a\x1b stays'
  expect '付款结果未保存，重启后告知!' '付款结果未保存，重启后告知!'
  expect $'\xc3\xa9 \xc2\xa0 \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf' $'\xc3\xa9 \xc2\xa0 \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf'
  expect '' ''
done
[ "$failures" -eq 0 ] || exit 1
echo "PASS"
