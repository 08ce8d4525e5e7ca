"""Effect/, Guide/ and the application icon: the combo and stage-clear pictures, the particle star, the
tutorial's pages with their finger, and Icon.png."""
import math
import os

from PIL import Image, ImageChops, ImageDraw

from art import style
from art.style import Canvas

# Three combo levels: (size, word, colours top and bottom, outline, stars).
COMBOS = {
    1: ((300, 110), "好棒！", (200, 255, 160), (60, 200, 90), (20, 70, 30), 1),
    2: ((320, 120), "太棒了！", (180, 235, 255), (60, 140, 255), (20, 40, 110), 2),
    3: ((340, 130), "超级棒！", (255, 246, 160), (255, 120, 40), (110, 30, 20), 3),
}


def combo(level):
    (width, height), word, top, bottom, ink, stars = COMBOS[level]
    c = Canvas(width, height)
    burst = c.polygon_mask(style.star_points(width / 2, height / 2 + 8, height * 0.55, height * 0.4, points=16))
    c.glow(burst, 12, bottom, 120)
    c.paint(burst, style.rgba(style.lighter(bottom, 0.2), 110))
    for k in range(stars):
        x = width / 2 + (k - (stars - 1) / 2) * 34
        style.badge_star(c, (x, 18), 13)
    c.gradient_text((width / 2, height / 2 + 14), word, 48 + 4 * level, top, bottom, stroke=4, stroke_fill=ink)
    for x, y in [(24, 40), (width - 26, 34), (width - 40, height - 18), (36, height - 20)]:
        style.sparkle(c, (x, y), 6, style.WHITE)
    return c.finish()


def stage_clear():
    """Shown when the level's target is reached; it then shrinks into the top bar's corner."""
    width, height = 168, 100
    c = Canvas(width, height)
    # Clear of the top edge: shrunk into the top bar's corner, the picture's top meets the level's tab.
    for k, (x, y, r) in enumerate([(width / 2 - 40, 30, 12), (width / 2, 24, 15), (width / 2 + 40, 30, 12)]):
        style.badge_star(c, (x, y), r)
    style.ribbon(c, (width / 2, 68), 124, 42, "过关！", colour=(60, 190, 110), text_size=26)
    return c.finish()


def particle_star():
    size = 16
    c = Canvas(size, size)
    style.sparkle(c, (8, 8), 7.5, style.WHITE)
    c.paint(c.ellipse_mask((5.5, 5.5, 10.5, 10.5)), style.WHITE)
    return c.finish()


BOARDS = {
    # (before, after, marked cells) of 4 x 5 boards, one letter a piece, "." empty.
    "bomb": (["gbyrp", "bgrbb", "ygpgb", "pbybr"], ["gb.rp", "bgybb", "ygrgb", "pbybr"], {(2, 2)}),
    "paint": (["gbyrp", "bgrbb", "ygpgb", "pbybr"], ["gbyrp", "bgrbb", "ygggb", "pbybr"], {(2, 2)}),
    "reset": (["gbyrp", "bgrbp", "ygpgy", "pbybr"], ["ggbbp", "rgbpp", "yyrgg", "pbbyr"], set()),
}
COLOURS = {"g": "green", "r": "red", "y": "yellow", "p": "purple", "b": "blue"}
PAGES = {
    "bomb": ("炸弹", "bomb", ["点亮炸弹，再点任意一块", "这一块就会被炸掉"], (235, 80, 90)),
    "paint": ("画笔", "brush", ["点亮画笔，再点一块", "为它选一种新的颜色"], (60, 170, 255)),
    "reset": ("重排", "random", ["点一下重排", "所有方块的颜色重新打乱"], (150, 100, 255)),
}


def small_board(c, origin, layout, marked, cell=28):
    x0, y0 = origin
    m = c.rounded_mask((x0 - 5, y0 - 5, x0 + 5 * cell + 5, y0 + 4 * cell + 5), 9)
    c.paint(m, style.rgba((10, 8, 30), 180))
    for row, line in enumerate(layout):
        for column, key in enumerate(line):
            if key == ".":
                continue
            x, y = x0 + column * cell, y0 + row * cell
            style.gem(c, (x + 1, y + 1, x + cell - 1, y + cell - 1), style.PIECES[COLOURS[key]])
    for row, column in marked:
        x, y = x0 + column * cell, y0 + row * cell
        c.outline(c.rounded_mask((x - 2, y - 2, x + cell + 2, y + cell + 2), 8), 2.5, style.WHITE)


def guide_page(kind):
    """A tutorial page: the prop's name, a board before and after it is used, what to do, and what it costs."""
    name, icon, lines, colour = PAGES[kind]
    before, after, marked = BOARDS[kind]
    width, height = 400, 360
    c = Canvas(width, height)
    style.panel(c, (4, 2, width - 4, height - 6))
    c.text((width / 2 - 8, 22), "点击上方的道具按钮继续", 16, fill=style.GOLD, stroke=1.5)
    c.icon((width / 2 + 96, 22), "chevron-up", 13, fill=style.GOLD)
    style.ribbon(c, (width / 2, 62), 190, 44, "道具：" + name, colour=colour, icon=icon, text_size=22)
    small_board(c, (28, 104), before, marked)
    small_board(c, (232, 104), after, marked if kind != "bomb" else set())
    arrow = c.polygon_mask([(182, 148), (204, 148), (204, 138), (222, 160), (204, 182), (204, 172), (182, 172)])
    c.paint(arrow, style.GOLD)
    if kind == "bomb":
        c.icon((28 + 2.5 * 28 + 20, 104 + 2.5 * 28 + 16), "bomb", 26, fill=(40, 30, 40), stroke=2,
               stroke_fill=style.WHITE)
    if kind == "paint":
        c.icon((28 + 2.5 * 28 + 22, 104 + 2.5 * 28 + 14), "brush", 26, fill=(255, 240, 200), stroke=2,
               stroke_fill=style.INK)
    for k, line in enumerate(lines):
        c.text((width / 2, 252 + k * 30), line, 21, fill=style.WHITE, stroke=2)
    tag = c.rounded_mask((70, 304, width - 70, 336), 16)
    c.paint(tag, style.rgba((12, 8, 34), 160))
    style.diamond(c, (92, 320), 18)
    c.text((width / 2 + 12, 320), "每次 5 钻石，每关可用 3 次", 16, fill=style.CREAM)
    return c.finish()


def app_icon():
    size = 114
    c = Canvas(size, size)
    m = c.rounded_mask((0, 0, size, size), 24)
    c.paint(m, c.vertical_gradient(style.NAVY, style.INDIGO))
    for k, (x, y, colour) in enumerate([(32, 34, "red"), (70, 30, "yellow"), (30, 74, "blue"), (72, 72, "green")]):
        style.gem(c, (x - 20, y - 20, x + 20, y + 20), style.PIECES[colour])
    style.badge_star(c, (84, 84), 18)
    style.sparkle(c, (96, 20), 6)
    return c.finish()


def hand_frame(size, press):
    """A filled pointing hand, tilted to point up and left at the prop, pressed `press` points in."""
    c = Canvas(size, size)
    f = style.font(style.ICON_FONT, c.px(40))
    glyph = c.mask()
    ImageDraw.Draw(glyph).text((c.px(size / 2), c.px(size / 2)), style.ICONS["hand"], font=f, fill=255, anchor="mm")
    # The outline glyph's inside is whatever the outside cannot reach.
    outside = glyph.point(lambda v: 255 if v > 100 else 0)
    ImageDraw.floodfill(outside, (0, 0), 128)
    silhouette = outside.point(lambda v: 0 if v == 128 else 255)
    hand = Image.new("RGBA", c.image.size, (0, 0, 0, 0))
    layer = Canvas(size, size)
    layer.image = hand
    layer.shadow(silhouette, (0, 2), 2, 140)
    layer.paint(silhouette, (255, 236, 214))
    layer.paint(glyph, (60, 40, 40))
    turned = layer.image.rotate(28, resample=Image.BICUBIC, center=(c.px(size / 2), c.px(size / 2)))
    moved = ImageChops.offset(turned, -c.px(press), -c.px(press))
    c.image = moved
    if press >= 4:
        ring = c.ellipse_mask((8, 2, 26, 20))
        c.outline(ring, 2, style.rgba(style.WHITE, 200))
    return c.finish()


IMAGES = {
    "Effect/combo_1.png": lambda: combo(1),
    "Effect/combo_2.png": lambda: combo(2),
    "Effect/combo_3.png": lambda: combo(3),
    "Effect/stage_clear.png": stage_clear,
    "Effect/star.png": particle_star,
    "Guide/guide_bomb.png": lambda: guide_page("bomb"),
    "Guide/guide_paint.png": lambda: guide_page("paint"),
    "Guide/guide_reset.png": lambda: guide_page("reset"),
    "Icon.png": app_icon,
}


def finger_frames():
    return [hand_frame(64, press) for press in (0, 2, 4, 2)]
