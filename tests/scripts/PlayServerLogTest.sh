#!/usr/bin/env bash
# scripts/play keeps the last session's server log, and no launch of it loses one:
#   - two sessions in a row leave the first one's requests in server.log.1, both files the owner's only;
#   - a launch whose game does not run (a mistyped option) is no session: the one before stays kept;
#   - while a game runs, a second launch (help, a mistyped option, a URL) starts no server and leaves
#     the running session's log where it is: the game it starts is only the game's second launch.
# Usage: PlayServerLogTest.sh SOURCE-DIR CLAIM-PROGRAM
# scripts/play runs here in a scratch tree whose setup, build and programs are stand-ins: the real
# one would build and install into the tree the tests run from, under the tests' feet.
set -euo pipefail
source_dir=$1
claim=$2
scratch=$(mktemp -d)
trap 'touch "$scratch/stop"; rm -rf "$scratch"' EXIT

tree=$scratch/tree
source "$(dirname "$0")/PlayTree.sh"
make_play_tree "$tree" "$source_dir" "$claim"
# The server says where it listens, logs one request naming its session when the game makes one and,
# as the real one, runs until play's SIGTERM ends it with status 0.
cat >"$tree/build/tools/stargrid-server" <<'SERVER'
#!/bin/sh
sleeper=""
trap '[ -z "$sleeper" ] || kill "$sleeper"; exit 0' TERM
echo "stargrid-server: listening on http://127.0.0.1:9"
[ -z "${REQUESTS:-}" ] || echo "stargrid-server: GET /bus_ser_ios.html -> 200 (the $SESSION session)"
sleep 300 &
sleeper=$!
wait "$sleeper"
SERVER
# The game refuses a mistyped option with status 2 (when play checks the options, too), notes how it was
# started, and HOLD keeps it running until that file is there (or its folder is gone, when the test ended
# early).
cat >"$tree/build/stargrid" <<'GAME'
#!/bin/sh
case " $* " in *" --bogus "*) exit 2 ;; esac
[ "${1:-}" != --check-options ] || exit 0
echo "$SESSION: $* (server ${STARGRID_BOOTSTRAP_URL:-none})" >>"$GAMES"
if [ -n "${HOLD:-}" ]; then while [ ! -e "$HOLD" ] && [ -d "${HOLD%/*}" ]; do sleep 0.05; done; fi
exit 0
GAME
chmod +x "$tree"/scripts/* "$tree/build/tools/stargrid-server" "$tree/build/stargrid"

export XDG_DATA_HOME=$scratch/data XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=$scratch/cache
export HOME=$scratch/home GAMES=$scratch/games
log=$XDG_CACHE_HOME/stargrid/server.log
fail() { echo "FAIL: $*" >&2; exit 1; }
# The session whose requests each log holds.
expect_logs() {
  grep -q "the $1 session" "$log" || fail "server.log lacks the $1 session's request: $(cat "$log")"
  grep -q "the $2 session" "$log.1" || fail "server.log.1 lacks the $2 session's request: $(cat "$log.1" 2>&1)"
}

SESSION=first REQUESTS=1 "$tree/scripts/play" --frames 1 >/dev/null
status=0
SESSION=mistyped "$tree/scripts/play" --bogus >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || fail "a mistyped option ended with status $status, not the game's 2"
! grep -q "^mistyped" "$GAMES" || fail "a launch with a mistyped option ran the game"
# A --server without a URL is refused before anything runs: empty, or an option in the URL's place.
for server in "" "--frames"; do
  status=0
  out=$(SESSION=no-url "$tree/scripts/play" --server "$server" 3 2>&1) || status=$?
  [ "$status" = 2 ] && [ "$out" = "play: --server needs a URL" ] || fail "--server '$server': $status, $out"
done
! grep -q "^no-url" "$GAMES" || fail "a launch without a server's URL ran the game"
SESSION=second REQUESTS=1 "$tree/scripts/play" --frames 1 >/dev/null
expect_logs second first
for file in "$log" "$log.1"; do
  [ "$(stat -c %a "$file")" = 600 ] || fail "$file is mode $(stat -c %a "$file"), not 600"
done

# A session that runs until told to stop, and second launches of every form meanwhile, twice.
SESSION=running REQUESTS=1 HOLD=$scratch/stop "$tree/scripts/play" >/dev/null &
session=$!
for _ in $(seq 200); do grep -qs "^running:" "$GAMES" && break; sleep 0.05; done
grep -qs "^running: .*(server http://127.0.0.1:9/bus_ser_ios.html)" "$GAMES" || fail "the session did not start"
expect_logs running second
for time in 1 2; do
  for args in "-h" "--bogus" "pg5e18c0a7d94b2f63://oauth?code=$time" ""; do
    : >"$scratch/launched"
    # shellcheck disable=SC2086
    SESSION=second-launch REQUESTS=1 GAMES=$scratch/launched "$tree/scripts/play" $args >/dev/null 2>&1 || true
    # A mistyped option is refused before the launch: no game runs for it.
    expected="second-launch: $args (server none)"
    [ "$args" != --bogus ] || expected=""
    [ "$(cat "$scratch/launched")" = "$expected" ] ||
      fail "a second launch with '$args' ran: $(cat "$scratch/launched")"
    expect_logs running second
  done
done
touch "$scratch/stop"
wait "$session" || fail "the running session ended with status $?"
expect_logs running second
echo "PASS"
