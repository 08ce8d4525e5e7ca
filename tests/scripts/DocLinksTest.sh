#!/usr/bin/env bash
# The README and the pages of docs/ link only to what is there: every link and picture is relative and
# names a file or folder of the repository, an anchor names a heading of the page it points to, and every
# page of docs/ is linked from README.md, so none is left where no reader finds it.
# Usage: DocLinksTest.sh SOURCE-DIR     checks the README and docs/ of SOURCE-DIR
#        DocLinksTest.sh --self-test    shows on scratch trees that a broken link or anchor, a link that is
#                                       not relative and a page nobody links to each fail the check
# Prints one "PAGE: LINK: reason" line per fault and exits 1 when there is any.
set -euo pipefail

# Every link target of a Markdown page, one a line: [text](target) and src="..."/href="...", outside
# fenced code and code spans (a code span may wrap onto the next line).
links_of() {
  perl -CSD -0777 -ne '
    s/^(```|~~~).*?^\1[^\n]*$//gms;
    s/`[^`]*`//g;
    print "$1\n" while /\]\(\s*<?([^)\s>]*)>?(?:\s+"[^"]*")?\s*\)/g;
    print "$1\n" while /\b(?:src|href)="([^"]*)"/g;
  ' "$1"
}

# The anchors of a page's headings, one a line, made as the forge that shows the pages makes them:
# lower case, formatting and punctuation dropped, spaces to hyphens, a repeated one numbered.
anchors_of() {
  perl -CSD -ne '
    if (/^```|^~~~/) { $fenced = !$fenced; next }
    next if $fenced || !/^#{1,6}\s+(.*?)\s*#*\s*$/;
    my $t = lc $1;
    $t =~ s/\[([^\]]*)\]\([^)]*\)/$1/g;
    $t =~ s/[^\w\- ]//g;
    $t =~ s/ /-/g;
    print $seen{$t}++ ? "$t-" . ($seen{$t} - 1) : $t, "\n";
  ' "$1"
}

# Checks the tree at $1; prints the faults and returns 1 when there is any.
check_tree() {
  local root faults=0 page link path anchor target linked
  root=$(cd "$1" && pwd -P)
  [ -f "$root/README.md" ] || { echo "README.md: there is none under $root"; return 1; }
  linked=$(mktemp)
  local pages=("$root/README.md")
  if [ -d "$root/docs" ]; then
    while IFS= read -r -d '' page; do pages+=("$page"); done < <(find "$root/docs" -name '*.md' -print0 | sort -z)
  fi
  for page in "${pages[@]}"; do
    local name=${page#"$root/"}
    while IFS= read -r link; do
      [ -n "$link" ] || { echo "$name: (): an empty link"; faults=1; continue; }
      if [[ $link =~ ^[A-Za-z][A-Za-z0-9+.-]*: || $link == /* ]]; then
        echo "$name: $link: not a relative link"; faults=1; continue
      fi
      path=${link%%#*} anchor=""
      [ "$path" = "$link" ] || anchor=${link#*#}
      if [ -z "$path" ]; then
        target=$page
      else
        target=$(realpath -m "$(dirname "$page")/$path")
        if [[ $target != "$root" && $target != "$root/"* ]]; then
          echo "$name: $link: it leads out of the repository"; faults=1; continue
        fi
        [ -e "$target" ] || { echo "$name: $link: there is no such file"; faults=1; continue; }
      fi
      [ "$page" != "$root/README.md" ] || echo "$target" >>"$linked"
      if [ -n "$anchor" ]; then
        if [[ $target != *.md || ! -f $target ]]; then
          echo "$name: $link: an anchor in what is not a page"; faults=1
        elif ! anchors_of "$target" | grep -qxF -- "$anchor"; then
          echo "$name: $link: ${target#"$root/"} has no heading \"#$anchor\""; faults=1
        fi
      fi
    done < <(links_of "$page")
  done
  for page in "${pages[@]:1}"; do
    grep -qxF -- "$page" "$linked" || { echo "${page#"$root/"}: README.md does not link to it"; faults=1; }
  done
  rm -f "$linked"
  return "$faults"
}

scratch=""
self_test() {
  local status
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  # A sound tree: links, a picture, anchors (one of a heading given twice), a link in code that is none.
  make_tree() {
    rm -rf "$scratch/tree"
    mkdir -p "$scratch/tree/docs"
    printf 'x' >"$scratch/tree/docs/shot.png"
    cat >"$scratch/tree/README.md" <<'EOF'
# Sound
<img src="docs/shot.png" alt="a shot"> See [a page](docs/page.md), its [part](docs/page.md#the-players-part-two),
[the second](docs/page.md#again-1) and [this](#sound). Code is no link: `[x](nowhere.md)`, and a span may
wrap: `[y](
nowhere.md)`.
```
[z](nowhere.md)
```
EOF
    cat >"$scratch/tree/docs/page.md" <<'EOF'
# A page
Back to [the README](../README.md).
## The player's part: `two`
## Again
## Again
EOF
  }
  make_tree
  check_tree "$scratch/tree" >"$scratch/out" || { echo "FAIL: a sound tree failed:"; cat "$scratch/out"; return 1; }
  # Each fault alone fails the check, naming the page, the link and why.
  expect_fault() {
    local what=$1 expected=$2
    status=0
    check_tree "$scratch/tree" >"$scratch/out" || status=$?
    [ "$status" = 1 ] || { echo "FAIL: $what: status $status, not 1"; return 1; }
    grep -qF -- "$expected" "$scratch/out" || { echo "FAIL: $what: no \"$expected\" in:"; cat "$scratch/out"; return 1; }
    echo "caught $what: $(cat "$scratch/out")"
    make_tree
  }
  echo 'A [gone](docs/gone.md) page.' >>"$scratch/tree/README.md"
  expect_fault "a link to no file" "README.md: docs/gone.md: there is no such file"
  echo 'See [it](page.md#no-such-part).' >>"$scratch/tree/docs/page.md"
  expect_fault "an anchor no heading has" "docs/page.md: page.md#no-such-part: docs/page.md has no heading"
  echo 'See [the system](/etc/hostname).' >>"$scratch/tree/docs/page.md"
  expect_fault "a link that is not relative" "docs/page.md: /etc/hostname: not a relative link"
  echo 'See [the web](https://example.org/).' >>"$scratch/tree/README.md"
  expect_fault "a link to the web" "README.md: https://example.org/: not a relative link"
  echo 'See [above](../../outside.md).' >>"$scratch/tree/docs/page.md"
  expect_fault "a link out of the tree" "docs/page.md: ../../outside.md: it leads out of the repository"
  printf '# Alone\n' >"$scratch/tree/docs/alone.md"
  expect_fault "a page the README does not link to" "docs/alone.md: README.md does not link to it"
  echo "self-test passed"
}

if [ "${1:-}" = "--self-test" ]; then
  self_test
else
  [ $# = 1 ] || { echo "usage: DocLinksTest.sh SOURCE-DIR | --self-test" >&2; exit 2; }
  check_tree "$1"
fi
