#!/usr/bin/env bash
# A scripts/play session from outside: signals, the claim on the player's folders, the files it writes
# (links, FIFOs and folders where they are), narrowed folders, the player's one home, the server's life
# with its session, and refusals before anything is done.
# Usage: PlaySessionTest.sh SOURCE-DIR CASE CLAIM-PROGRAM NFS-LOCKS-SHIM SERVER GAME
#   CASE: SignalsEndTheGameThenItsServer, TheGameInheritsTheClaimOnEveryKindOfHome,
#         FilesAreNeverWrittenThroughLinksOrWaitedOn, FoldersAreNarrowedOnlyByTakingAway,
#         WithoutAUsableHomeThePasswdEntrysIsUsed, ALinkedHomeHoldsTheSession,
#         ASecondLaunchWhoseGameQuitRunsAFirstSession, ASessionsServerSaysItWaitsForTheDatabase,
#         AKilledSessionShellsServerEndsWithItsGame,
#         TheGameKeepsTheSessionFromProgramsItStarts, RefusalsComeBeforeAnythingIsRegisteredOrStarted,
#         ARefusedLaunchLeavesNothingRegisteredOrClaimed, FolderNamesReachPlayAsTheyAre or
#         FoldersTheGameRefusesEndTheSessionSayingWhatToDo
# scripts/play runs in a scratch tree whose setup, build and programs are stand-ins: the real one would
# build and install into the tree the tests run from. Every wait is bounded (20 s), so a session that
# hangs fails the case instead of the run.
set -euo pipefail
source_dir=$1
case_name=$2
claim=$3 shim=$4 real_server=$5 real_game=$6
scratch=$(mktemp -d)
sessions=()
cleanup() {
  touch "$scratch/stop"
  local pid
  for pid in "${sessions[@]+"${sessions[@]}"}"; do kill -KILL -- "-$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

tree=$scratch/tree
source "$(dirname "$0")/PlayTree.sh"
make_play_tree "$tree" "$source_dir" "$claim"
# The server says where it listens and logs a request; it notes in EVENTS when it is stopped.
cat >"$tree/build/tools/stargrid-server" <<'SERVER'
#!/bin/sh
sleeper=""
trap '[ -z "$sleeper" ] || kill "$sleeper"; echo "server stopped" >>"$EVENTS"; exit 0' TERM
echo "stargrid-server: listening on http://127.0.0.1:9"
echo "stargrid-server: GET /bus_ser_ios.html -> 200"
sleep 300 &
sleeper=$!
wait "$sleeper"
SERVER
# The game notes how it was started and which folders its descriptors 8 and 9 hold the claim on (the
# folder itself, its lock file or its claim link), then runs until the stop file is there or a signal
# ends it, noting which (and exiting 3, its own status).
cat >"$tree/build/stargrid" <<'GAME'
#!/bin/bash
[ "${1:-}" != --check-options ] || exit 0
held() {
  local file
  file=$(readlink "/proc/$$/fd/$1") || { echo none; return; }
  file=${file%/claim.lock}
  file=${file%/claim.link}
  if [ "$file" -ef "${XDG_DATA_HOME:-$HOME/.local/share}/stargrid" ]; then echo data
  elif [ "$file" -ef "${XDG_CONFIG_HOME:-$HOME/.config}/stargrid" ]; then echo config
  else echo other; fi
}
echo "game $$: $* (server ${STARGRID_BOOTSTRAP_URL:-none}) fd9=$(held 9) fd8=$(held 8) parent=$PPID" >>"$GAMES"
for signal in TERM INT HUP; do trap "echo 'game ended by $signal' >>\"\$EVENTS\"; exit 3" "$signal"; done
while [ ! -e "$STOP" ] && [ -d "${STOP%/*}" ]; do sleep 0.05; done
echo "game ended" >>"$EVENTS"
GAME
chmod +x "$tree"/scripts/* "$tree/build/tools/stargrid-server" "$tree/build/stargrid"

export XDG_DATA_HOME=$scratch/data XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=$scratch/cache
export HOME=$scratch/home GAMES=$scratch/games EVENTS=$scratch/events STOP=$scratch/stop
data=$XDG_DATA_HOME/stargrid
log=$XDG_CACHE_HOME/stargrid/server.log
mkdir -p "$HOME"
fail() { echo "FAIL: $*" >&2; exit 1; }
# Waits (bounded) until the command succeeds.
wait_until() {
  local _
  for _ in $(seq 400); do "$@" && return 0; sleep 0.05; done
  return 1
}
# A session in the background, in a process group of its own (so that what is left of it can be
# ended), with SIGINT and SIGQUIT as a terminal's command has them; its pid in $session.
start_session() {
  (
    trap - INT QUIT
    exec setsid "$tree/scripts/play" "$@"
  ) >>"$scratch/out" 2>&1 &
  session=$!
  sessions+=("$session")
}
ended() { ! kill -0 "$session" 2>/dev/null || [[ $(ps -o stat= -p "$session") == Z* ]]; }
# The session's exit status into $status, waited for (bounded); a session still running is a failure.
finish_session() {
  wait_until ended || fail "the session did not end: $(cat "$scratch/out")"
  status=0
  wait "$session" || status=$?
}
# A whole session with the stop file already there: the game ends at once.
run_session() {
  touch "$STOP"
  start_session "$@"
  finish_session
  rm -f "$STOP"
}
game_runs() { grep -qs "^game" "$GAMES"; }
# The processes of the real server serving the database: pids, one a line.
servers_on() {
  local process
  for process in /proc/[0-9]*; do
    [ "$process/exe" -ef "$real_server" ] || continue
    tr '\0' ' ' 2>/dev/null <"$process/cmdline" | grep -qF -- "--db $1 " && echo "${process#/proc/}"
  done
  true
}
no_servers_on() { [ -z "$(servers_on "$1")" ]; }
# The server on the loopback port answers a request.
answers() {
  local reply
  exec 3<>"/dev/tcp/127.0.0.1/$1" || return 1
  printf 'GET /bus_ser_ios.html HTTP/1.0\r\n\r\n' >&3
  reply=$(head -n 1 <&3)
  exec 3<&-
  [[ $reply == "HTTP/1."?" 200 "* ]]
}
mode_of() { stat -c %a "$1"; }

case "$case_name" in
  SignalsEndTheGameThenItsServer)
    for signal in TERM INT HUP; do
      : >"$EVENTS"
      : >"$GAMES"
      start_session
      wait_until game_runs || fail "$signal: the game did not start: $(cat "$scratch/out")"
      grep -q "(server http://127.0.0.1:9/bus_ser_ios.html)" "$GAMES" || fail "no server: $(cat "$GAMES")"
      kill -s "$signal" "$session"
      finish_session
      [ "$status" = 3 ] || fail "$signal: the session ended with status $status, not the game's 3"
      printf 'game ended by %s\nserver stopped\n' "$signal" | cmp -s - "$EVENTS" ||
        fail "$signal: not the game, then its server: $(cat "$EVENTS")"
    done
    ;;
  TheGameInheritsTheClaimOnEveryKindOfHome)
    # A local home, then homes on NFS with and without its lock service.
    ln -sf "$real_server" "$tree/build/tools/stargrid-server"
    for mode in local lockd none; do
      export STARGRID_TEST_NFS_LOCKS=$mode LD_PRELOAD=$shim ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0
      # The game inherits the claim on both folders; a dot-lock a killed server left (where record locks
      # fail) is gone once the session's server runs.
      : >"$GAMES"
      [ "$mode" != none ] || mkdir -p "$data/server.db.lock"
      run_session --frames 1
      [ ! -e "$data/server.db.lock" ] || fail "$mode: a killed server's dot-lock was left in place"
      grep -q "fd9=data fd8=config" "$GAMES" || fail "$mode: the game holds: $(cat "$GAMES") $(cat "$scratch/out")"
      # One folder for both: one claim.
      : >"$GAMES"
      XDG_CONFIG_HOME=$XDG_DATA_HOME run_session --frames 1
      grep -q "fd9=data fd8=none" "$GAMES" || fail "$mode: with one folder the game holds: $(cat "$GAMES")"
      # Either folder held by a game: this launch is a second one, with no server of its own.
      for held in data config; do
        : >"$GAMES"
        rm -f "$scratch/locked" "$scratch/release"
        other=$([ "$held" = data ] && echo XDG_CONFIG_HOME || echo XDG_DATA_HOME)
        env "$other=$scratch/$held-elsewhere" "$claim" -- sh -c \
          "touch '$scratch/locked'; while [ ! -e '$scratch/release' ]; do sleep 0.05; done" &
        holder=$!
        wait_until test -e "$scratch/locked" || fail "$mode: the $held folder could not be claimed for the test"
        run_session
        touch "$scratch/release"
        wait "$holder"
        grep -q "(server none) fd9=none fd8=none" "$GAMES" ||
          fail "$mode: with the $held folder held, the launch was not a second one: $(cat "$GAMES")"
      done
    done
    ;;
  FilesAreNeverWrittenThroughLinksOrWaitedOn)
    other=$scratch/other.txt
    echo "someone else's" >"$other"
    chmod 644 "$other"
    mkdir -p "$XDG_DATA_HOME/applications" "${log%/*}"
    ln -s "$other" "$log"
    ln -s "$other" "$XDG_DATA_HOME/applications/stargrid.desktop"
    run_session
    [ "$status" = 0 ] || fail "a session with links in place ended with $status: $(cat "$scratch/out")"
    [ "$(cat "$other")" = "someone else's" ] && [ "$(mode_of "$other")" = 644 ] ||
      fail "written through a link: $(mode_of "$other") $(cat "$other")"
    [ -f "$log" ] && [ ! -L "$log" ] && grep -q "listening on" "$log" || fail "no log of its own"
    [ ! -L "$XDG_DATA_HOME/applications/stargrid.desktop" ] &&
      grep -q "^MimeType=x-scheme-handler/" "$XDG_DATA_HOME/applications/stargrid.desktop" || fail "no entry"

    # A FIFO at the log is never waited on; at mimeapps.list it is named and left.
    rm -f "$log" "$log.1"
    mkfifo "$log"
    run_session
    [ "$status" = 0 ] || fail "with a FIFO at server.log the session ended with $status: $(cat "$scratch/out")"
    [ -f "$log" ] || fail "the FIFO was not replaced by a log"
    mv "$XDG_CONFIG_HOME/mimeapps.list" "$scratch/mimeapps.list"
    mkfifo "$XDG_CONFIG_HOME/mimeapps.list"
    : >"$scratch/out"
    run_session
    [ "$status" = 1 ] || fail "with a FIFO at mimeapps.list the session ended with $status"
    grep -qx "play: cannot read $XDG_CONFIG_HOME/mimeapps.list: it is not a regular file; it is left as it is" \
      "$scratch/out" || fail "$(cat "$scratch/out")"
    [ -p "$XDG_CONFIG_HOME/mimeapps.list" ] || fail "the FIFO at mimeapps.list was replaced"
    mv -f "$scratch/mimeapps.list" "$XDG_CONFIG_HOME/mimeapps.list"

    # A folder where the last session's log is kept: refused, and no folder gets a file's mode.
    mkdir -m 755 "$log.1"
    : >"$GAMES"
    : >"$scratch/out"
    run_session
    [ "$status" = 1 ] || fail "with server.log.1 a folder the session ended with $status"
    grep -qx "play: cannot keep the last session's log as $log.1: it is a folder" "$scratch/out" ||
      fail "$(cat "$scratch/out")"
    [ "$(mode_of "$log.1")" = 755 ] || fail "server.log.1 is now mode $(mode_of "$log.1")"
    ! game_runs || fail "a game ran without its server's log"
    rmdir "$log.1"
    rm -f "$log"
    mkdir "$log"
    : >"$scratch/out"
    run_session
    [ "$status" = 1 ] && grep -qx "play: cannot write $log: it is a folder" "$scratch/out" ||
      fail "with server.log a folder: status $status, $(cat "$scratch/out")"
    ;;
  FoldersAreNarrowedOnlyByTakingAway)
    mkdir -p "$data" "$XDG_CACHE_HOME/stargrid"
    chmod 500 "$data"
    chmod 755 "$XDG_CACHE_HOME/stargrid"
    run_session
    [ "$(mode_of "$data")" = 500 ] || fail "a data folder its owner made 0500 is mode $(mode_of "$data")"
    [ "$(mode_of "$XDG_CACHE_HOME/stargrid")" = 700 ] ||
      fail "a folder open to others is mode $(mode_of "$XDG_CACHE_HOME/stargrid")"
    # A folder that is a link: what it names keeps its mode.
    mkdir -m 755 "$scratch/elsewhere"
    rm -rf "$data"
    ln -s "$scratch/elsewhere" "$data"
    run_session
    [ "$(mode_of "$scratch/elsewhere")" = 755 ] || fail "narrowed through a link: $(mode_of "$scratch/elsewhere")"
    # Another user's cache folder is neither narrowed nor written in: the server's log has no place there.
    rm -rf "$data" "$XDG_CACHE_HOME/stargrid"
    mkdir -m 777 "$XDG_CACHE_HOME/stargrid"
    chown 54321:54321 "$XDG_CACHE_HOME/stargrid"
    : >"$GAMES"
    : >"$scratch/out"
    run_session
    [ "$status" = 1 ] && grep -q "play: the local game server's log has no folder" "$scratch/out" ||
      fail "with another user's cache folder: status $status, $(cat "$scratch/out")"
    [ "$(mode_of "$XDG_CACHE_HOME/stargrid")" = 777 ] && [ -z "$(ls -A "$XDG_CACHE_HOME/stargrid")" ] ||
      fail "another user's cache folder was changed: $(mode_of "$XDG_CACHE_HOME/stargrid") $(ls -A "$XDG_CACHE_HOME/stargrid")"
    ! game_runs || fail "a game ran without its server's log"
    ;;
  WithoutAUsableHomeThePasswdEntrysIsUsed)
    # The passwd entry's home is a scratch folder mounted over it in a mount namespace of the session's own.
    passwd_home=$(getent passwd "$(id -u)" | cut -d: -f6)
    [ -d "$passwd_home" ] && [ "$passwd_home" != / ] || { echo "SKIP: no passwd home"; exit 0; }
    unshare --mount --propagation private true 2>/dev/null || { echo "SKIP: no mount namespace here"; exit 0; }
    mkdir -p "$scratch/passwd-home" "$scratch/cwd"
    touch "$STOP"
    status=0
    (cd "$scratch/cwd" &&
      env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_CACHE_HOME HOME=relative-home \
        unshare --mount --propagation private sh -c 'mount --bind "$1" "$2" && exec "$3" --frames 1' \
        sh "$scratch/passwd-home" "$passwd_home" "$tree/scripts/play") >"$scratch/out" 2>&1 || status=$?
    [ "$status" = 0 ] || fail "the session ended with $status: $(cat "$scratch/out")"
    for made in .local/share/stargrid .local/share/applications/stargrid.desktop .cache/stargrid/server.log; do
      [ -e "$scratch/passwd-home/$made" ] || fail "no $made in the passwd entry's home"
    done
    [ ! -e "$scratch/cwd/relative-home" ] || fail "a relative HOME was taken as a home"
    ;;
  ALinkedHomeHoldsTheSession)
    # Homes reached through links are common: only a link at a game's folder itself is refused.
    ln -sf "$real_server" "$tree/build/tools/stargrid-server"
    mkdir -p "$scratch/real-home"
    ln -s "$scratch/real-home" "$scratch/linked-home"
    touch "$STOP"
    status=0
    env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_CACHE_HOME HOME="$scratch/linked-home" \
      "$tree/scripts/play" --frames 1 >"$scratch/out" 2>&1 || status=$?
    [ "$status" = 0 ] || fail "the session ended with $status: $(cat "$scratch/out")"
    grep -q "(server http://127.0.0.1:[0-9]*/bus_ser_ios.html) fd9=data fd8=config" "$GAMES" ||
      fail "the game ran: $(cat "$GAMES")"
    [ -s "$scratch/real-home/.local/share/stargrid/server.db" ] || fail "no database in the linked home"
    ;;
  ASecondLaunchWhoseGameQuitRunsAFirstSession)
    # A game holds the folders when the launch asks for them, and quits before the launch's game (the real
    # one, after the stand-in below let the holder go) takes them: that game runs as a first session.
    export SDL_VIDEODRIVER=offscreen ALSOFT_DRIVERS=null RELEASE=$scratch/release CLAIM=$claim REAL_GAME=$real_game
    cat >"$tree/build/stargrid" <<'GAME'
#!/bin/sh
[ "${1:-}" != --check-options ] || exec "$REAL_GAME" "$@"
echo "game: $* (server ${STARGRID_BOOTSTRAP_URL:-none})" >>"$GAMES"
if [ ! -e "$RELEASE" ]; then
  touch "$RELEASE"
  for _ in $(seq 400); do "$CLAIM" -- true && break; sleep 0.05; done
fi
exec "$REAL_GAME" "$@"
GAME
    "$claim" -- sh -c "touch '$scratch/locked'; while [ ! -e '$RELEASE' ]; do sleep 0.05; done" &
    holder=$!
    wait_until test -e "$scratch/locked" || fail "the folders could not be claimed for the test"
    status=0
    "$tree/scripts/play" --frames 1 >"$scratch/out" 2>&1 || status=$?
    # A launch that failed before its game let the holder go does not leave the case waiting on it.
    touch "$RELEASE"
    wait "$holder"
    [ "$status" = 0 ] || fail "the launch ended with $status: $(cat "$scratch/out")"
    tail -n 1 "$GAMES" | grep -qx "game: --frames 1 (server http://127.0.0.1:9/bus_ser_ios.html)" ||
      fail "the game ran without the session's server: $(cat "$GAMES")"
    ;;
  ASessionsServerSaysItWaitsForTheDatabase)
    # Another server has the session's database open: the session's server waits for it, and the player hears
    # so as the wait begins (the server's words are in its log alone); once that server ends, the session runs.
    ln -sf "$real_server" "$tree/build/tools/stargrid-server"
    mkdir -p -m 700 "$data"
    (exec setsid "$real_server" --quiet --db "$data/server.db") >"$scratch/first" 2>&1 &
    first=$!
    sessions+=("$first")
    wait_until grep -q "listening on" "$scratch/first" || fail "the first server did not start: $(cat "$scratch/first")"
    start_session
    waiting="stargrid-server: $data/server.db is open in another stargrid-server: the claim on it is held by process \
$first of this host (it holds $data/server.db.claim/claim.link); waiting up to 10 s for it to stop"
    wait_until grep -qxF -- "$waiting" "$scratch/out" || fail "the wait was not said: $(cat "$scratch/out")"
    kill -TERM "$first"
    wait "$first" || fail "the first server did not stop"
    wait_until game_runs || fail "the game did not start: $(cat "$scratch/out")"
    touch "$STOP"
    finish_session
    [ "$status" = 0 ] || fail "the session ended with $status: $(cat "$scratch/out")"
    [ "$(grep -c "waiting up to" "$scratch/out")" = 1 ] || fail "the wait was said again: $(cat "$scratch/out")"
    ;;
  AKilledSessionShellsServerEndsWithItsGame)
    # The claimed shell (the inner scripts/play) killed: its game goes on, with its server, which ends when
    # the game quits; the next session's server is then the only one on server.db.
    ln -sf "$real_server" "$tree/build/tools/stargrid-server"
    start_session
    wait_until game_runs || fail "the game did not start: $(cat "$scratch/out")"
    started=$(grep "^game" "$GAMES")
    game_pid=$(sed -n 's/^game \([0-9]*\):.*/\1/p' <<<"$started")
    port=$(sed -n 's|.*(server http://127.0.0.1:\([0-9]*\)/.*|\1|p' <<<"$started")
    [ "$(servers_on "$data/server.db" | wc -w)" = 1 ] || fail "no server for the session: $(cat "$scratch/out")"
    kill -KILL "${started##*parent=}"
    answers "$port" || fail "the server did not answer once the shell was killed, while its game runs"
    kill -0 "$game_pid" || fail "the game ended with the shell"
    touch "$STOP"
    # Looked for again each time: the server ends only once the game has seen the stop file and gone.
    wait_until no_servers_on "$data/server.db" || fail "the server runs on after its game quit"
    finish_session
    rm -f "$STOP"
    : >"$GAMES"
    start_session --frames 1
    wait_until game_runs || fail "the next session's game did not start: $(cat "$scratch/out")"
    [ "$(servers_on "$data/server.db" | wc -w)" = 1 ] || fail "not one server on server.db: $(servers_on "$data/server.db")"
    touch "$STOP"
    finish_session
    [ "$status" = 0 ] || fail "the next session ended with $status: $(cat "$scratch/out")"
    ;;
  TheGameKeepsTheSessionFromProgramsItStarts)
    # The game (the real one) holds the session's pipe, the end of which ends the server, close-on-exec: no
    # program it starts holds it on (WebKit's processes are started with every other descriptor).
    ln -sf "$real_game" "$tree/build/stargrid"
    export SDL_VIDEODRIVER=offscreen ALSOFT_DRIVERS=null
    start_session --frames 1000000000
    # Each process by what it runs, looked for again until it is there: the session's children come and go
    # (subshells of play, the game play asks to check the options). The game is the one the claimed shell
    # started (stargrid-claim runs the shell in its own place, in a process play started for it), so a
    # grandchild of the session's; its parent is the claimed shell, and the server is the shell's child
    # that runs /bin/sh (the stand-in).
    children_running() {
      local child
      for child in $(ps -o pid= --ppid "$1"); do [ "$(readlink "/proc/$child/exe" 2>/dev/null)" != "$2" ] || echo "$child"; done
    }
    game_found() {
      local child
      for child in $(ps -o pid= --ppid "$session"); do
        game=$(children_running "$child" "$(readlink -f "$real_game")") && [ -n "$game" ] && shell=$child && return 0
      done
      return 1
    }
    server_found() { server=$(children_running "$shell" "$(readlink -f /bin/sh)") && [ -n "$server" ]; }
    wait_until game_found || fail "the game did not start: $(cat "$scratch/out")"
    close_on_exec() { (($(sed -n 's/^flags:[[:space:]]*//p' "/proc/$game/fdinfo/6") & 02000000)); }
    wait_until close_on_exec || fail "the game passes the session on: fd 6 $(grep flags "/proc/$game/fdinfo/6")"
    wait_until server_found || fail "the claimed shell started no server: $(cat "$scratch/out")"
    [ "$(readlink "/proc/$game/fd/6")" = "$(readlink "/proc/$server/fd/0")" ] ||
      fail "the game's fd 6 ($(readlink "/proc/$game/fd/6")) is not the server's input"
    kill -TERM "$session"
    finish_session
    ;;
  RefusalsComeBeforeAnythingIsRegisteredOrStarted)
    # The game itself checks its options (only setup and the build may come first); play checks the form
    # of --server's URL before anything. Nothing is registered, claimed, made or started for either.
    ln -sf "$real_game" "$tree/build/stargrid"
    export CALLS=$scratch/calls
    for stub in scripts/setup scripts/build scripts/install-pigeon-standin build/tools/stargrid-server; do
      printf '#!/bin/sh\necho %s >>"$CALLS"\n' "${stub##*/}" >"$tree/$stub"
    done
    # Refused with status 2, saying SAID, having run only the stand-ins named: SAID CALLS ARGUMENT...
    expect_refused() {
      local said=$1 calls=$2 what
      shift 2
      : >"$CALLS"
      status=0
      "$tree/scripts/play" "$@" >"$scratch/out" 2>&1 || status=$?
      what="play $*: status $status, said $(cat "$scratch/out"), ran $(tr '\n' ' ' <"$CALLS")"
      [ "$status" = 2 ] && grep -qxF -- "$said" "$scratch/out" && [ "$(tr '\n' ' ' <"$CALLS")" = "$calls" ] ||
        fail "$what"
      [ -z "$(ls -A "$scratch/data" "$scratch/config" "$scratch/cache" 2>/dev/null)" ] ||
        fail "$what; made $(find "$scratch/data" "$scratch/config" "$scratch/cache")"
    }
    built="setup build "
    expect_refused "stargrid: unknown option --bogus (stargrid --help lists the options)" "$built" --bogus
    expect_refused "stargrid: --frames needs a whole number of frames" "$built" --frames abc
    expect_refused "stargrid: --device needs iphone4, iphone5 or ipad" "$built" --device nokia
    expect_refused "stargrid: the game opens only URLs of its own scheme pg5e18c0a7d94b2f63://, not ftp://x" \
      "$built" ftp://x
    for url in notaurl ftp://x "http://a b" http:// "http://:80" $'http://a\eb'; do
      expect_refused "play: --server needs an http:// or https:// URL with a host, and no spaces or control \
characters, not \"$(printf '%s' "$url" | sed 's/\x1b/\\x1b/')\"" "" --server "$url" --frames 1
    done
    # An IPv6 address's brackets are named for what is wrong with them.
    expect_refused 'play: --server needs a ] closing the [ of its IPv6 address, not "http://[::1"' "" --server "http://[::1"
    expect_refused 'play: --server needs only :PORT or a path after the ] of its IPv6 address, not "http://[::1]x"' \
      "" --server "http://[::1]x"
    expect_refused 'play: --server needs an IPv6 address between [ and ], not "http://[]:80"' "" --server "http://[]:80"
    # Brackets hold an IPv6 address and nothing else: not a name, an IPv4 address, a group that is no hex,
    # "::" twice, nine groups or an empty zone.
    for url in "http://[x]:80" "http://[1.2.3.4]:80" "http://[example.com]" "http://[::g]:80" "http://[:]:80" \
      "http://[1::2::3]" "http://[1:2:3:4:5:6:7:8:9]" "http://[1:2:3:4:5:6:7:8::]" "http://[::1.2.3.256]" \
      "http://[fe80::1%]"; do
      expect_refused "play: --server needs an IPv6 address between [ and ], not \"$url\"" "" --server "$url" --frames 1
    done
    expect_refused 'play: --server needs an IPv6 address between [ and ], not "http://[x]:80"' "" \
      --server "http://[x]:80" --check-options
    # Each form an IPv6 address is written in is taken, and the game then checks the options.
    for url in "http://[::1]" "http://[::1]:8080/" "https://[2001:db8::1]/a" "http://[::ffff:1.2.3.4]:80" \
      "http://[fe80::1%25eth0]:8080" "http://[1:2:3:4:5:6:7:8]" "http://[1::]" "http://[::]"; do
      : >"$CALLS"
      status=0
      "$tree/scripts/play" --server "$url" --check-options >"$scratch/out" 2>&1 || status=$?
      [ "$status" = 0 ] && [ "$(tr '\n' ' ' <"$CALLS")" = "$built" ] ||
        fail "play --server $url --check-options: status $status, said $(cat "$scratch/out"), ran $(tr '\n' ' ' <"$CALLS")"
    done
    # A port that is no number from 1 to 65535, and a byte that is not printable ASCII, would only fail in
    # the game.
    for url in http://x:abc http://x: http://x:0 http://x:65536 http://u:p@x:99999999999999999999/a "http://[::1]:x"; do
      expect_refused "play: --server needs a port from 1 to 65535 after the host, not \"$url\"" "" --server "$url" --frames 1
    done
    expect_refused 'play: --server needs a URL of printable ASCII (any other byte written %XX), not "http://\xff"' \
      "" --server $'http://\xff' --frames 1
    expect_refused 'play: --server needs a URL of printable ASCII (any other byte written %XX), not "https://例.cn:8080"' \
      "" --server 'https://例.cn:8080' --frames 1
    ;;
  ARefusedLaunchLeavesNothingRegisteredOrClaimed)
    # A place the server's log cannot have is refused before anything is registered or claimed, said once;
    # a session that ends under the claim before its game starts (its server did not start) lets it go.
    refused_cleanly() {
      [ "$status" = 1 ] && [ "$(grep -c "$1" "$scratch/out")" = 1 ] || fail "$2: status $status, said $(cat "$scratch/out")"
      [ ! -e "$XDG_DATA_HOME/applications" ] && [ ! -e "$XDG_CONFIG_HOME/mimeapps.list" ] ||
        fail "$2: registered $(find "$XDG_DATA_HOME" "$XDG_CONFIG_HOME")"
      [ -z "$(find "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" -name 'claim.*')" ] ||
        fail "$2: left $(find "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" -name 'claim.*' -printf '%p -> %l\n')"
      ! game_runs || fail "$2: a game ran"
    }
    mkdir -p "$XDG_CACHE_HOME/stargrid/server.log.1"
    echo "stargrid-server: GET /bus_ser_ios.html -> 200" >"$log"
    : >"$scratch/out"
    run_session
    refused_cleanly "play: cannot keep the last session's log as $log.1: it is a folder" "server.log.1 a folder"
    rm -rf "$XDG_CACHE_HOME/stargrid"
    mkdir -m 777 "$XDG_CACHE_HOME/stargrid"
    chown 54321:54321 "$XDG_CACHE_HOME/stargrid"
    : >"$scratch/out"
    run_session
    refused_cleanly "the cache folder .* is refused" "another user's cache folder"
    grep -q "play: the local game server's log has no folder" "$scratch/out" || fail "$(cat "$scratch/out")"
    rm -rf "$XDG_CACHE_HOME/stargrid"
    printf '#!/bin/sh\nexit 1\n' >"$tree/build/tools/stargrid-server"
    : >"$scratch/out"
    run_session
    [ "$status" = 1 ] && grep -q "play: the local game server did not start" "$scratch/out" ||
      fail "a server that did not start: status $status, $(cat "$scratch/out")"
    [ -z "$(find "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" -name 'claim.link')" ] ||
      fail "a session without its server left $(find "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" -name 'claim.link' -printf '%p -> %l\n')"
    ;;
  FolderNamesReachPlayAsTheyAre)
    # A folder's name with an escape sequence, a backslash, a C1 control and a byte that is not UTF-8: the
    # claim's --folders quotes it for the terminal, and play, reading it back, registers in that very folder.
    odd=$scratch/$'a\e[2Jb\\x41\xc2\x9bc\xff'
    export XDG_DATA_HOME=$odd XDG_CACHE_HOME=$odd
    folders=$("$claim" --folders)
    ! LC_ALL=C grep -q '[[:cntrl:]]' <<<"$folders" && ! LC_ALL=C grep -q $'\xc2\x9b\|\xff' <<<"$folders" ||
      fail "--folders wrote a control byte: $(cat -v <<<"$folders")"
    grep -qxF "data_home=$scratch/a\x1b[2Jb\x5cx41\xc2\x9bc\xff" <<<"$folders" || fail "--folders wrote $folders"
    run_session
    [ "$status" = 0 ] || fail "the session ended with $status: $(cat "$scratch/out")"
    [ -f "$odd/applications/stargrid.desktop" ] && grep -q "listening on" "$odd/stargrid/server.log" ||
      fail "not registered and logged in the folder: $(find "$scratch" -path "$tree" -prune -o -print)"
    [ "$(find "$scratch" -mindepth 1 -maxdepth 1 -name 'a*' | wc -l)" = 1 ] || fail "$(ls -b "$scratch")"
    # What play says of the folder quotes its control characters, as every message does.
    grep -qF "(log: $scratch/a\x1b[2Jb\x41\xc2\x9bc\xff/stargrid/server.log)" "$scratch/out" &&
      ! tr -d '\n' <"$scratch/out" | LC_ALL=C grep -q $'[[:cntrl:]]\\|\xc2\x9b\\|\xff' || fail "play said $(cat -v "$scratch/out")"
    ;;
  FoldersTheGameRefusesEndTheSessionSayingWhatToDo)
    # Folders the claim refuses as the game would (stargrid-claim --folders), and folders the game itself
    # cannot claim (the real game, on a home on NFS without locks, with a link there in no form it writes):
    # after the reason, play says that the session stopped and what to do, and nothing runs.
    said="play: the session stopped; fix or free the folder named above, then run scripts/play again"
    # Status 1, the reason given then play's line, and no game ran: REASON WHAT.
    ends_saying_what_to_do() {
      [ "$status" = 1 ] && grep -qxF -- "$1" "$scratch/out" && [ "$(tail -n 1 "$scratch/out")" = "$said" ] &&
        [ "$(grep -c "^play:" "$scratch/out")" = 1 ] || fail "$2: status $status, said $(cat "$scratch/out")"
      ! game_runs && ! grep -q "running on" "$scratch/out" || fail "$2: a game ran: $(cat "$scratch/out")"
    }
    touch "$scratch/a-file"
    : >"$scratch/out"
    XDG_DATA_HOME=$scratch/a-file run_session
    ends_saying_what_to_do "UserFolders: XDG_DATA_HOME names a file, not a folder: $scratch/a-file" "a file for XDG_DATA_HOME"
    if [ "$(id -u)" = 0 ]; then
      mkdir -p -m 700 "$data"
      chown 54321:54321 "$data"
      : >"$scratch/out"
      run_session
      ends_saying_what_to_do "UserFolders: the data folder $data is refused: it belongs to user 54321" "another user's data folder"
      rm -rf "$data"
    fi
    ln -sf "$real_game" "$tree/build/stargrid"
    mkdir -p -m 700 "$data"
    ln -s junk "$data/claim.link"
    : >"$scratch/out"
    SDL_VIDEODRIVER=offscreen ALSOFT_DRIVERS=null STARGRID_TEST_NFS_LOCKS=none LD_PRELOAD=$shim \
      ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 run_session --frames 1
    ends_saying_what_to_do "stargrid: the player's folders cannot be claimed (cannot use $data/claim.link: it names \
no process in a form the game writes (\"junk\")), so the game does not start; remove $data/claim.link and start the \
game again" "a link the game cannot use"
    ;;
  *) fail "no case $case_name" ;;
esac
echo "PASS"
