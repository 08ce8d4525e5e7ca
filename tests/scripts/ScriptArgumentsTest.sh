#!/usr/bin/env bash
# The command lines of scripts/check-layers, scripts/fuzz, scripts/install-pigeon-standin, scripts/build,
# scripts/setup, scripts/play and scripts/test: usage on -h/--help, a wrong argument refused with a
# reason and status 2 before anything is built or installed, and a test run that ran no test failed.
# Usage: ScriptArgumentsTest.sh SOURCE-DIR CASE
#   CASE: CheckLayersFailsWithoutSources, CheckLayersExplainsItsOptions,
#         CheckLayersFailsOnATreeItCannotReadInFull, FuzzRefusesBadValuesBeforeBuilding,
#         InstallPigeonStandinRefusesUnknownOptions, InstallPigeonStandinRefusesABuildFolderThatIsNotThere,
#         BuildAndSetupTakeNoOptionForAnArgument, HelpOfPlayAndTestBuildsAndChangesNothing,
#         UsageIsPrintedWithoutCommentMarkers,
#         RefusalsQuoteArgumentsWithTheirControlCharactersEscaped,
#         TestRefusesWhatCTestDoesNotTakeBeforeRunningAnything, TestTakesEveryOptionCTestLists,
#         TestNamesAnEmptyOrBlankArgumentAsOne, TestFailsARunInWhichCTestRanNoTest,
#         TestFailsARunInWhichEveryTestItTookWasSkipped or TestJudgesWhatCTestRanWhateverItsOutputOptions
# The scripts run from a scratch tree whose scripts/build, cmake and package tools are stand-ins that only
# note they were called: a script that got past its arguments would otherwise build into the source tree.
set -euo pipefail
source_dir=$1
case_name=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

tree=$scratch/tree
mkdir -p "$tree/scripts" "$scratch/bin"
cp "$source_dir/scripts/check-layers" "$source_dir/scripts/fuzz" "$source_dir/scripts/install-pigeon-standin" \
  "$source_dir/scripts/printable.sh" "$tree/scripts/"
built=$scratch/built
for stand_in in "$tree/scripts/build" "$scratch/bin/cmake" "$scratch/bin/dpkg-query" "$scratch/bin/apt-get"; do
  printf '#!/bin/sh\necho "$0 $*" >>"%s"\nexit 1\n' "$built" >"$stand_in"
  chmod +x "$stand_in"
done
export PATH=$scratch/bin:$PATH

fail() { echo "FAIL: $*" >&2; exit 1; }
# Runs a script of the tree with the arguments given; its output goes to out and err, its status to $status.
run() {
  status=0
  "$tree/scripts/$1" "${@:2}" >"$scratch/out" 2>"$scratch/err" || status=$?
}
# The last run was refused: status 2, the reason on stderr with a pointer to --help, and no build.
expect_refusal() {
  local reason=$1 call=$2
  [ "$status" = 2 ] || fail "$call: status $status, not 2 ($(cat "$scratch/err"))"
  grep -qF -- "$reason" "$scratch/err" || fail "$call: stderr lacks \"$reason\": $(cat "$scratch/err")"
  grep -qF -- "--help shows the usage" "$scratch/err" || fail "$call: stderr does not point to --help"
  [ ! -e "$built" ] || fail "$call: started a build: $(cat "$built")"
}
# The opening comment of a script of the tree as its usage shows it: without the "# " before each line.
usage_of() { awk 'NR > 1 { if (!/^#/) exit; sub(/^# ?/, ""); print }' "$tree/scripts/$1"; }
# The last run printed the script's opening comment, and only that, with status 0 and no build.
expect_usage() {
  local script=$1 call=$2
  [ "$status" = 0 ] || fail "$call: status $status, not 0 ($(cat "$scratch/err"))"
  usage_of "$script" >"$scratch/usage"
  cmp -s "$scratch/out" "$scratch/usage" || fail "$call printed, not its usage comment: $(cat "$scratch/out")"
  [ ! -e "$built" ] || fail "$call: started a build: $(cat "$built")"
}

# The real scripts/test and CTest on a build folder of one test; the set-up, the layers and the build pass as
# stand-ins.
one_test_tree() {
  cp "$source_dir/scripts/test" "$tree/scripts/"
  for stand_in in setup build check-layers; do
    printf '#!/bin/sh\nexit 0\n' >"$tree/scripts/$stand_in"
    chmod +x "$tree/scripts/$stand_in"
  done
  mkdir -p "$tree/build"
  echo 'add_test(TheOnlyTest /bin/true)' >"$tree/build/CTestTestfile.cmake"
  export HOME=$scratch/home
}

case "$case_name" in
  CheckLayersFailsWithoutSources)
    mkdir -p "$scratch/empty" "$scratch/no-sources/kite/scene" "$scratch/sound/kite/scene"
    touch "$scratch/no-sources/kite/scene/notes.txt" "$scratch/a-file"
    printf '#include "platform/Clock.h"\n' >"$scratch/sound/kite/scene/Good.cpp"
    for root in "$scratch/empty" "$scratch/no-sources"; do
      run check-layers "$root"
      [ "$status" = 2 ] || fail "check-layers $root: status $status, not 2"
      grep -qF "no sources found under $root" "$scratch/err" || fail "check-layers $root: $(cat "$scratch/err")"
    done
    for root in "$scratch/missing" "$scratch/a-file"; do
      run check-layers "$root"
      expect_refusal "$root is not a folder" "check-layers $root"
    done
    # An empty ROOT is a mistake, never this repository.
    run check-layers ""
    expect_refusal 'ROOT needs a name, not ""' "check-layers ''"
    run check-layers "$scratch/sound"
    [ "$status" = 0 ] || fail "check-layers refused a sound tree: $(cat "$scratch/err")"
    ;;
  CheckLayersExplainsItsOptions)
    for option in -h --help; do
      run check-layers "$option"
      expect_usage check-layers "check-layers $option"
    done
    grep -qF -- "--self-test" "$scratch/out" || fail "the usage of check-layers lacks --self-test"
    for option in --bogus -x; do
      run check-layers "$option"
      expect_refusal "unknown option $option" "check-layers $option"
    done
    run check-layers "$source_dir" "$source_dir"
    expect_refusal "one ROOT at most" "check-layers with two roots"
    ;;
  CheckLayersFailsOnATreeItCannotReadInFull)
    mkdir -p "$scratch/sources/kite/scene"
    printf '#include "platform/Clock.h"\n' >"$scratch/sources/kite/scene/Good.cpp"
    # Root reads everything: the check then runs without the capabilities that let it.
    drop=()
    [ "$(id -u)" != 0 ] || drop=(setpriv --inh-caps=-all --bounding-set=-dac_override,-dac_read_search)
    for unreadable in kite/scene/Good.cpp kite; do
      chmod 000 "$scratch/sources/$unreadable"
      status=0
      "${drop[@]}" "$tree/scripts/check-layers" "$scratch/sources" >"$scratch/out" 2>"$scratch/err" || status=$?
      chmod 755 "$scratch/sources/$unreadable"
      [ "$status" = 1 ] && grep -q "$unreadable.*: Permission denied" "$scratch/err" &&
        grep -qF "could not be read in full" "$scratch/err" || fail "$unreadable unreadable: $status, $(cat "$scratch/err")"
    done
    # A root it cannot enter is named with the reason.
    chmod 000 "$scratch/sources"
    status=0
    "${drop[@]}" "$tree/scripts/check-layers" "$scratch/sources" >"$scratch/out" 2>"$scratch/err" || status=$?
    chmod 755 "$scratch/sources"
    [ "$status" = 1 ] &&
      [ "$(cat "$scratch/err")" = "check-layers: cannot enter $scratch/sources (Permission denied), so its layers are not checked" ] ||
      fail "root not enterable: $status, $(cat "$scratch/err")"
    ;;
  BuildAndSetupTakeNoOptionForAnArgument)
    cp "$source_dir/scripts/build" "$source_dir/scripts/setup" "$tree/scripts/"
    for script in build setup; do
      for option in -h --help; do
        run "$script" "$option"
        expect_usage "$script" "$script $option"
      done
      run "$script" --bogus
      expect_refusal "$script: unknown option --bogus" "$script --bogus"
    done
    # An empty argument is shown as one, and is no build/; a file is no build folder.
    run setup ""
    expect_refusal 'setup: it takes no arguments, not ""' "setup ''"
    run build "" -- stargrid
    expect_refusal 'build: DIR needs a name, not ""' "build ''"
    touch "$scratch/a-file"
    run build "$scratch/a-file"
    expect_refusal "build: $scratch/a-file is not a folder" "build a-file"
    ;;
  FuzzRefusesBadValuesBeforeBuilding)
    for option in --time --random-seed --runs; do
      run fuzz --check json "$option"
      expect_refusal "fuzz: $option needs a value" "fuzz $option without a value"
      run fuzz "$option" ""
      expect_refusal "fuzz: $option needs a value" "fuzz $option ''"
      for value in abc -5 1.5 --merge 4294967296; do
        run fuzz "$option" "$value" json
        expect_refusal "fuzz: $option needs a whole number" "fuzz $option $value"
      done
    done
    # libFuzzer would take a time of 0 for no limit and a seed of 0 for a random one.
    for option in --time --random-seed; do
      run fuzz "$option" 0 json
      expect_refusal "fuzz: $option needs a whole number (1 to 4294967295), not 0" "fuzz $option 0"
      run fuzz "$option" 000 json
      expect_refusal "fuzz: $option needs a whole number (1 to 4294967295), not 000" "fuzz $option 000"
    done
    for option in -h --help; do
      run fuzz "$option"
      expect_usage fuzz "fuzz $option"
    done
    # The form scripts/test calls still gets as far as the build.
    run fuzz --check --runs 100 --random-seed 7 json
    grep -qF -- "-DSTARGRID_FUZZ=ON" "$built" || fail "fuzz --check --runs 100 json did not reach the build"
    ;;
  InstallPigeonStandinRefusesUnknownOptions)
    for option in -h --help; do
      run install-pigeon-standin "$option"
      expect_usage install-pigeon-standin "install-pigeon-standin $option"
    done
    for arguments in "--bogus" "-x" "--uninstal" "$scratch/build --bogus" "--uninstall --force"; do
      read -r -a words <<<"$arguments"
      run install-pigeon-standin "${words[@]}"
      expect_refusal "unknown option ${words[-1]}" "install-pigeon-standin $arguments"
    done
    run install-pigeon-standin "$scratch/one" "$scratch/two"
    expect_refusal "one build folder at most" "install-pigeon-standin with two build folders"
    ;;
  InstallPigeonStandinRefusesABuildFolderThatIsNotThere)
    # A mistyped folder would otherwise get a whole new build.
    for arguments in "" "--uninstall"; do
      run install-pigeon-standin "" ${arguments:+"$arguments"}
      expect_refusal 'a build folder needs a name, not ""' "install-pigeon-standin '' $arguments"
      run install-pigeon-standin "$scratch/missing" ${arguments:+"$arguments"}
      expect_refusal "$scratch/missing is not a folder" "install-pigeon-standin missing $arguments"
      [ ! -e "$scratch/missing" ] || fail "install-pigeon-standin made $scratch/missing"
    done
    touch "$scratch/a-file"
    run install-pigeon-standin "$scratch/a-file"
    expect_refusal "$scratch/a-file is not a folder" "install-pigeon-standin a-file"
    # A folder that is there gets as far as its build.
    mkdir "$scratch/there"
    run install-pigeon-standin "$scratch/there"
    grep -qF -- "$scratch/there -- pigeon-standin" "$built" || fail "a build folder that is there was not built"
    ;;
  HelpOfPlayAndTestBuildsAndChangesNothing)
    # As in a fresh clone: nothing built, no player's folders; setup and CTest note when they are called.
    cp "$source_dir/scripts/play" "$source_dir/scripts/test" "$tree/scripts/"
    for stand_in in "$tree/scripts/setup" "$scratch/bin/ctest"; do cp "$tree/scripts/build" "$stand_in"; done
    export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/data XDG_CONFIG_HOME=$scratch/home/config
    # Play's usage, then the line given, and nothing made or run.
    expect_play_help() {
      run play --frames 3 "$option"
      { usage_of play; echo "$1"; } | cmp -s - "$scratch/out" &&
        [ "$status" = 0 ] && [ ! -e "$HOME" ] && [ ! -e "$built" ] ||
        fail "play $option: status $status, $(cat "$scratch/out" "$scratch/err" "$built" 2>&1), $(find "$HOME" 2>&1)"
    }
    for option in -h --help; do
      run test -R Play "$option"
      expect_usage test "test -R Play $option"
      expect_play_help "The game's options: build/stargrid --help lists them once it is built (scripts/play builds it)."
      [ ! -e "$tree/build" ] || fail "play $option made $tree/build"
      # Once the game is built, its own usage.
      mkdir "$tree/build"
      printf '#!/bin/sh\necho "the game, given $*"\n' >"$tree/build/stargrid"
      chmod +x "$tree/build/stargrid"
      expect_play_help "the game, given $option"
      rm -r "$tree/build"
    done
    ;;
  UsageIsPrintedWithoutCommentMarkers)
    # The usage is read from each script's opening comment, and printed as text: no line keeps its "# ".
    cp "$source_dir/scripts/build" "$source_dir/scripts/setup" "$source_dir/scripts/play" "$source_dir/scripts/test" \
      "$tree/scripts/"
    export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/data XDG_CONFIG_HOME=$scratch/home/config
    for script in build check-layers fuzz install-pigeon-standin play setup test; do
      run "$script" --help
      [ "$status" = 0 ] || fail "$script --help: status $status, $(cat "$scratch/err")"
      ! grep -q '^#' "$scratch/out" || fail "$script --help printed comment markers: $(cat "$scratch/out")"
      grep -qxF "$(sed -n '2s/^# //p' "$tree/scripts/$script")" "$scratch/out" ||
        fail "$script --help lacks its first line: $(cat "$scratch/out")"
    done
    ;;
  RefusalsQuoteArgumentsWithTheirControlCharactersEscaped)
    # An escape sequence in an argument would reach the terminal (ESC [2J clears it) and a newline would
    # split the line: each shows as \xNN, and what the script says holds no control character.
    cp "$source_dir/scripts/build" "$source_dir/scripts/setup" "$tree/scripts/"
    odd=$'\e[2J\nx' shown='\x1b[2J\x0ax'
    quoted() {
      expect_refusal "$1" "$2"
      ! tr -d '\n' <"$scratch/err" | LC_ALL=C grep -q '[[:cntrl:]]' || fail "$2: a control character reached stderr"
    }
    touch "$scratch/file$odd"
    run setup "--$odd"
    quoted "setup: unknown option --$shown" "setup --ODD"
    run setup "$odd"
    quoted "setup: it takes no arguments, not \"$shown\"" "setup ODD"
    run build "-$odd"
    quoted "build: unknown option -$shown" "build -ODD"
    run build "$scratch/file$odd"
    quoted "build: $scratch/file$shown is not a folder" "build FILE"
    run check-layers "--$odd"
    quoted "check-layers: unknown option --$shown" "check-layers --ODD"
    run check-layers "$scratch/missing$odd"
    quoted "check-layers: $scratch/missing$shown is not a folder" "check-layers MISSING"
    run fuzz --time "1$odd"
    quoted "fuzz: --time needs a whole number (1 to 4294967295), not 1$shown" "fuzz --time 1ODD"
    run fuzz "--$odd"
    quoted "fuzz: unknown option --$shown" "fuzz --ODD"
    run install-pigeon-standin "--$odd"
    quoted "install-pigeon-standin: unknown option --$shown" "install-pigeon-standin --ODD"
    run install-pigeon-standin "$scratch/missing$odd"
    quoted "install-pigeon-standin: $scratch/missing$shown is not a folder" "install-pigeon-standin MISSING"
    run install-pigeon-standin "$scratch/one" "$scratch/two$odd"
    quoted "not $scratch/one and $scratch/two$shown" "install-pigeon-standin with two build folders"
    # A file of the checked tree, and what it includes, are named as they are quoted.
    mkdir -p "$scratch/layers/kite/scene"
    printf '#include "kite/widgets/W\e[2J.h"\n' >"$scratch/layers/kite/scene/Up"$'\e[2J'".cpp"
    run check-layers "$scratch/layers"
    [ "$status" = 1 ] && grep -qxF 'kite/scene/Up\x1b[2J.cpp:1: includes kite/widgets/W\x1b[2J.h, which its layer may not see' \
      "$scratch/out" && ! LC_ALL=C grep -q $'\e' "$scratch/out" || fail "check-layers on a wrong include: $(cat -v "$scratch/out")"
    ;;
  TestRefusesWhatCTestDoesNotTakeBeforeRunningAnything)
    # CTest would ignore these and run every test: refused before the set-up, the build or CTest.
    cp "$source_dir/scripts/test" "$tree/scripts/"
    for stand_in in "$tree/scripts/setup" "$scratch/bin/ctest"; do cp "$tree/scripts/build" "$stand_in"; done
    export HOME=$scratch/home
    for call in "--bogus" "-R Play --bogus" "NoSuchOption" "-R" "-j" "-jx" "--no-tests=maybe"; do
      # shellcheck disable=SC2086
      run test $call
      case "$call" in
        -R | -j) reason="test: $call needs a value" ;;
        NoSuchOption) reason='test: CTest takes no argument "NoSuchOption" that is not an option'"'"'s value' ;;
        *) reason="test: CTest takes no option \"${call##* }\" (ctest --help lists its options)" ;;
      esac
      expect_refusal "$reason" "test $call"
    done
    # Text from outside is quoted with its control characters shown.
    run test $'--bo\egus'
    expect_refusal 'test: CTest takes no option "--bo\x1bgus"' "test --bo<ESC>gus"
    ;;
  TestTakesEveryOptionCTestLists)
    # Every option the installed CTest lists is taken (as far as the set-up, a stand-in here), asks for its
    # value, or is named as one that runs no test of this build: none is "no option" of CTest's.
    ctest_help=$(ctest --help)
    cp "$source_dir/scripts/test" "$tree/scripts/"
    for stand_in in "$tree/scripts/setup" "$scratch/bin/ctest"; do cp "$tree/scripts/build" "$stand_in"; done
    export HOME=$scratch/home
    # The options of each line, before its description: --no-tests=<[error|ignore]> as --no-tests=error.
    mapfile -t options < <(sed -n 's/^  \([-/].*\)$/\1/p' <<<"$ctest_help" | sed 's/= .*//' |
      grep -oE '(^|[ ,])(--?[A-Za-z][A-Za-z0-9.-]*|/[?V])(=<\[[a-z]+)?' | sed 's/^[ ,]//; s/=<\[/=/' | sort -u)
    [ "${#options[@]}" -gt 80 ] || fail "ctest --help listed too few options: ${options[*]}"
    for option in "${options[@]}"; do
      rm -f "$built"
      run test "$option"
      case "$option" in -h | --help) [ "$status" = 0 ] || fail "test $option: status $status" && continue ;; esac
      ! grep -q "CTest takes no" "$scratch/err" || fail "test $option: $(cat "$scratch/err")"
      [ "$status" != 2 ] || grep -qE "^test: ($option needs a value|CTest's .* runs no test)" "$scratch/err" ||
        fail "test $option: $(cat "$scratch/err")"
      [ "$status" = 2 ] || grep -q "scripts/setup" "$built" || fail "test $option went nowhere: status $status"
    done
    # Those whose value ctest --help does not show take one all the same.
    for call in "--overwrite SomeKey=1 -R Play" "--submit-index 2 -R Play" "--test-load 4 -R Play"; do
      rm -f "$built"
      # shellcheck disable=SC2086
      run test $call
      [ "$status" != 2 ] && grep -q "scripts/setup" "$built" || fail "test $call: status $status, $(cat "$scratch/err")"
    done
    ;;
  TestNamesAnEmptyOrBlankArgumentAsOne)
    cp "$source_dir/scripts/test" "$tree/scripts/"
    for stand_in in "$tree/scripts/setup" "$scratch/bin/ctest"; do cp "$tree/scripts/build" "$stand_in"; done
    export HOME=$scratch/home
    run test -R Play ""
    expect_refusal 'test: an empty argument ("") is no CTest option' "test -R Play ''"
    run test " "
    expect_refusal 'test: a blank argument (" ") is no CTest option' "test ' '"
    run test $'\t'
    expect_refusal 'test: a blank argument ("\x09") is no CTest option' "test TAB"
    # As a value it is CTest's to take.
    run test -R ""
    [ "$status" != 2 ] && grep -q "scripts/setup" "$built" || fail "test -R '': status $status, $(cat "$scratch/err")"
    ;;
  TestFailsARunInWhichCTestRanNoTest)
    one_test_tree
    run test -R TheOnlyTest
    [ "$status" = 0 ] && grep -q "^all  *passed" "$scratch/out" || fail "a run of one test: status $status, $(cat "$scratch/out")"
    run test -R NoSuchTestAtAll
    [ "$status" = 1 ] || fail "a run of no test ended with status $status: $(cat "$scratch/out")"
    grep -qx "== main: CTest ran no test: a run that runs none has not passed" "$scratch/out" &&
      grep -q "^main  *failed" "$scratch/out" && grep -q "^all  *failed" "$scratch/out" ||
      fail "a run of no test passed: $(cat "$scratch/out")"
    ;;
  TestFailsARunInWhichEveryTestItTookWasSkipped)
    # Tests CTest takes but runs to no verdict: skipped as Google Test skips (which CTest reports as skipped),
    # by a return code, and disabled.
    one_test_tree
    cat >>"$tree/build/CTestTestfile.cmake" <<'TESTS'
add_test(Skipped.LikeGoogleTest /bin/sh -c "echo '[  SKIPPED ] Skipped.LikeGoogleTest'")
set_tests_properties(Skipped.LikeGoogleTest PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
add_test(Skipped.ByItsCode /bin/sh -c "exit 77")
set_tests_properties(Skipped.ByItsCode PROPERTIES SKIP_RETURN_CODE 77)
add_test(Skipped.Disabled /bin/true)
set_tests_properties(Skipped.Disabled PROPERTIES DISABLED TRUE)
TESTS
    run test -R 'Skipped\.'
    [ "$status" = 1 ] &&
      grep -qx "== main: CTest ran no test: the 3 tests it took were skipped, disabled or not run, and a run that runs none has not passed" \
        "$scratch/out" && grep -q "^main  *failed" "$scratch/out" && grep -q "^all  *failed" "$scratch/out" ||
      fail "a run whose every test was skipped: status $status, $(cat "$scratch/out")"
    # One test that ran beside them is a run.
    run test -R 'TheOnlyTest|Skipped\.'
    [ "$status" = 0 ] && grep -q "^all  *passed" "$scratch/out" && ! grep -q "ran no test" "$scratch/out" ||
      fail "a run of one test and three skipped: status $status, $(cat "$scratch/out")"
    ;;
  TestJudgesWhatCTestRanWhateverItsOutputOptions)
    # Quiet, CTest prints no summary, and a run is judged by what it ran all the same.
    one_test_tree
    for quiet in -Q --quiet; do
      run test "$quiet" -R TheOnlyTest
      [ "$status" = 0 ] && grep -q "^all  *passed" "$scratch/out" || fail "test $quiet, one test: status $status, $(cat "$scratch/out")"
      run test "$quiet" -R NoSuchTestAtAll
      [ "$status" = 1 ] && grep -qx "== main: CTest ran no test: a run that runs none has not passed" "$scratch/out" ||
        fail "test $quiet, no test: status $status, $(cat "$scratch/out")"
    done
    # A JUnit report asked for is written where CTest puts it.
    run test -Q -R TheOnlyTest --output-junit mine.xml
    [ "$status" = 0 ] && grep -q 'tests="1"' "$tree/build/mine.xml" ||
      fail "test --output-junit mine.xml: status $status, $(cat "$scratch/out" "$tree/build/mine.xml" 2>&1)"
    ;;
  *) fail "no case $case_name" ;;
esac
echo "PASS"
