#!/usr/bin/env bash
# scripts/play keeps the last session's server log: two sessions in a row leave the first one's
# requests in server.log.1, both files the owner's only.
# Usage: PlayServerLogTest.sh SOURCE-DIR
# scripts/play runs here in a scratch tree whose setup, build and programs are stand-ins: the real
# one would build and install into the tree the tests run from, under the tests' feet.
set -euo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

tree=$scratch/tree
mkdir -p "$tree/scripts" "$tree/build/tools"
cp "$source_dir/scripts/play" "$tree/scripts/play"
for stub in setup build install-pigeon-standin; do
  printf '#!/bin/sh\nexit 0\n' >"$tree/scripts/$stub"
done
# The server says where it listens, logs one request naming its session and, as the real one, runs
# until play's SIGTERM ends it with status 0; the game just ends.
cat >"$tree/build/tools/stargrid-server" <<'SERVER'
#!/bin/sh
sleeper=""
trap '[ -z "$sleeper" ] || kill "$sleeper"; exit 0' TERM
echo "stargrid-server: listening on http://127.0.0.1:9"
echo "GET /bus_ser_ios.html from the $SESSION session"
sleep 300 &
sleeper=$!
wait "$sleeper"
SERVER
printf '#!/bin/sh\nexit 0\n' >"$tree/build/stargrid"
chmod +x "$tree"/scripts/* "$tree/build/tools/stargrid-server" "$tree/build/stargrid"

export XDG_DATA_HOME=$scratch/data XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=$scratch/cache
export HOME=$scratch/home
SESSION=first "$tree/scripts/play" --frames 1 >/dev/null
SESSION=second "$tree/scripts/play" --frames 1 >/dev/null

log=$XDG_CACHE_HOME/stargrid/server.log
fail() { echo "FAIL: $*" >&2; exit 1; }
grep -q "from the second session" "$log" || fail "server.log lacks this session's request"
[ -f "$log.1" ] || fail "no server.log.1 after a second session"
grep -q "from the first session" "$log.1" || fail "server.log.1 lacks the last session's request"
for file in "$log" "$log.1"; do
  [ "$(stat -c %a "$file")" = 600 ] || fail "$file is mode $(stat -c %a "$file"), not 600"
done
echo "PASS"
