"""Every picture the game names and the drawing that makes it. There is no fallback: a name without a drawing
of its own stops the generator."""
import os
import re

from art import common, dialogs, effects, menu, scene, store, style

MODULES = (common, menu, scene, dialogs, store, effects)
# Pictures made of others: the pieces' sheet (tools/art/files.py).
SHEETS = {"Star/stars.png"}
# The pieces' own pictures, in the board's colour order (the sheet's order too).
PIECE_FILES = ["Star/star_%s.png" % colour for colour in style.PIECE_ORDER]


def drawings():
    table = {}
    for module in MODULES:
        for name, draw in module.IMAGES.items():
            if name in table:
                raise ValueError("%s is drawn twice" % name)
            table[name] = draw
    for name, colour in zip(PIECE_FILES, style.PIECE_ORDER):
        table[name] = (lambda c: lambda: style.gem_image(48, style.PIECES[c]))(colour)
    return table


def named_by_game(root):
    """The pictures the game's code names ("Folder/name.png" in Classes/), and its icon."""
    quoted = re.compile(r'"([A-Za-z]+/[A-Za-z0-9_/]+\.png)"')
    names = {"Icon.png"}
    classes = os.path.join(root, "Classes")
    for entry in sorted(os.listdir(classes)):
        with open(os.path.join(classes, entry), encoding="utf-8") as f:
            names.update(quoted.findall(f.read()))
    # Names built in code from a stem and a number.
    for stem, count in (("Menu/Ranked/icon_head_", 5), ("Menu/Ranked/icon_ranked_", 3), ("Menu/Sale/bg_sale_", 4)):
        names.update("%s%d.png" % (stem, k + 1) for k in range(count))
    return names


def check(root):
    """The names the game uses that have no drawing, and the drawings the game never uses."""
    table, named = drawings(), named_by_game(root)
    return sorted(named - set(table) - SHEETS), sorted(set(table) - named)
