#!/usr/bin/python3
"""Draws every image, sprite sheet, bitmap font and the word table the game names, and makes its sounds, into Resources/.

Runs on the system Python, where Debian's python3-pil lives; the icons come from Debian's fonts-font-awesome.
Deterministic: the same fonts and Pillow give the same bytes, so the output is committed and only regenerated
when the generator changes. The drawings live in tools/art/, one module per part of the game.
    tools/make_assets.py [--out DIR] [--only NAME...]
    tools/make_assets.py --check [--root DIR]   lists the pictures the game names that have no drawing
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from art import catalogue, files, fonts, sounds  # noqa: E402
from art.printable import printable  # noqa: E402


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(root, "Resources"))
    parser.add_argument("--only", nargs="*", help="draw only these images (names as the game gives them)")
    parser.add_argument("--check", action="store_true", help="only check that every picture has its drawing")
    parser.add_argument("--root", default=root, help="the source tree whose Classes/ name the pictures")
    args = parser.parse_args()
    undrawn, unused = catalogue.check(args.root)
    if undrawn or unused:
        sys.exit("make_assets: no drawing for %s; drawings the game never names: %s" % (undrawn, unused))
    if args.check:
        return
    missing = files.missing_fonts()
    if missing:
        sys.exit("make_assets: %s is missing (scripts/setup installs it)" % ", ".join(missing))
    table = catalogue.drawings()
    unknown = [name for name in args.only or [] if name not in table]
    if unknown:
        sys.exit("make_assets: no drawing for %s" % ", ".join(printable(name) for name in unknown))
    for name in args.only if args.only is not None else sorted(table):
        files.save_png(table[name](), os.path.join(args.out, name))
    if args.only is not None:
        return
    files.write_star_sheet(args.out, [(name, table[name]()) for name in catalogue.PIECE_FILES])
    files.write_word_table(args.out)
    files.write_store_products(args.out)
    fonts.write_fonts(args.out)
    files.write_finger_sheet(args.out)
    sounds.write_sounds(args.out)


if __name__ == "__main__":
    main()
