# Sourced by the scripts/play tests: a scratch tree in which scripts/play runs with stand-ins for its
# setup, build and stand-in install, which would otherwise build and install into the tree the tests run
# from, and with the real claim on the player's folders (stargrid-claim, the game's own). The test writes
# the server and the game it wants under TREE/build; a stand-in game answers play's check of its options
# (--check-options first) as the game does: status 0 for options it takes, 2 for others.
# make_play_tree TREE SOURCE-DIR CLAIM-PROGRAM
make_play_tree() {
  local tree=$1 source_dir=$2 claim=$3 stub
  mkdir -p "$tree/scripts" "$tree/build/tools"
  cp "$source_dir/scripts/play" "$source_dir/scripts/printable.sh" "$tree/scripts/"
  cp "$claim" "$tree/build/tools/stargrid-claim"
  for stub in setup build install-pigeon-standin; do
    printf '#!/bin/sh\nexit 0\n' >"$tree/scripts/$stub"
  done
}
