"""Menu/: the main menu's background, logo and buttons."""
import math
import random

from PIL import ImageChops

from art import style
from art.style import Canvas


def tile_button(width, height, colour, icon, caption, icon_colour=style.WHITE, disabled=False, caption_size=18):
    """A rounded tile: an icon above its caption, for the menu's rows of buttons."""
    c = Canvas(width, height)
    x0, y0, x1, y1 = style.pill(c, (1, 1, width - 1, height - 1), colour, radius=min(width, height) * 0.26,
                                disabled=disabled)
    body = colour if not disabled else style.desaturate(colour)
    ink = style.darker(body, 0.55)
    icon_size = min(width * 0.42, (y1 - y0) * 0.42)
    icon_y = y0 + (y1 - y0) * 0.38
    disc = icon_size * 0.78
    c.paint(c.ellipse_mask((width / 2 - disc, icon_y - disc, width / 2 + disc, icon_y + disc)),
            style.rgba(style.darker(body, 0.25), 150))
    c.icon((width / 2, icon_y), icon, icon_size, fill=icon_colour if not disabled else (225, 225, 230), stroke=1.5,
           stroke_fill=ink)
    c.text((width / 2, y0 + (y1 - y0) * 0.8), caption, caption_size, fill=style.WHITE, stroke=2, stroke_fill=ink)
    return c.finish()


def logo():
    """The game's name as a logo: round outlined letters with a gradient, pieces and stars about, 星格 under."""
    width, height = 228, 200
    c = Canvas(width, height)
    # A soft halo behind the name.
    halo = c.ellipse_mask((10, 30, width - 10, height - 20))
    c.glow(halo, 24, (120, 90, 255), 90)
    # Five pieces in an arc above the name.
    for k, name in enumerate(style.PIECE_ORDER):
        a = math.radians(-150 + k * 30)
        x, y = width / 2 + 78 * math.cos(a), 112 + 78 * math.sin(a)
        size = 26 if k in (0, 4) else 30
        style.gem(c, (x - size / 2, y - size / 2, x + size / 2, y + size / 2), style.PIECES[name])
    c.gradient_text((width / 2, 84), "Star", 52, (255, 246, 170), (255, 170, 40), stroke=4, stroke_fill=(70, 24, 110))
    c.gradient_text((width / 2 + 6, 130), "grid", 52, (190, 240, 255), (90, 160, 255), stroke=4,
                    stroke_fill=(40, 24, 110))
    c.gradient_text((width / 2, 178), "星 格", 30, style.WHITE, (230, 210, 255), stroke=3, stroke_fill=(70, 24, 110))
    for x, y, r in [(24, 120, 7), (206, 96, 8), (196, 170, 5), (34, 172, 5)]:
        style.sparkle(c, (x, y), r, style.WHITE)
    return c.finish()


def background():
    """The menu's night sky: stars, a glowing planet and pieces floating between the logo and the buttons.

    The picture is centred on the screen, so its rows 290 to 460 lie between the logo and the buttons on both
    screen heights."""
    width, height = 480, 852
    c = Canvas(width, height)
    style.sky(c, seed=11, stars=90)
    planet = c.ellipse_mask((330, 40, 450, 160))
    ring = ImageChops.subtract(c.ellipse_mask((296, 84, 484, 118)), c.ellipse_mask((308, 92, 472, 110)))
    c.glow(planet, 30, (150, 120, 255), 110)
    c.paint(ImageChops.multiply(ring, c.rect_mask((0, 80, width, 101))), style.rgba((200, 180, 255), 110))
    c.paint(planet, c.vertical_gradient((200, 170, 255), (110, 80, 200), (330, 40, 450, 160)))
    c.paint(c.ellipse_mask((350, 52, 420, 100)), style.rgba(style.WHITE, 40))
    c.paint(ImageChops.multiply(ring, c.rect_mask((0, 101, width, 120))), style.rgba((230, 210, 255), 170))
    rng = random.Random(5)
    for k in range(14):
        x = 40 + (k % 7) * 66 + rng.uniform(-14, 14)
        y = 318 + (k // 7) * 86 + rng.uniform(-18, 18)
        size = rng.choice([30, 34, 38])
        colour = style.PIECES[style.PIECE_ORDER[(k * 3) % 5]]
        faded = style.mix(colour, style.INDIGO, 0.35)
        style.gem(c, (x - size / 2, y - size / 2, x + size / 2, y + size / 2), faded)
    # A glowing horizon under the buttons.
    glow = c.ellipse_mask((-120, 700, 600, 1000))
    c.glow(glow, 40, (110, 80, 230), 120)
    return c.finish()


def sale_button():
    """The gift-pack offer on the menu: a gold burst with a gift and 特惠."""
    size = 88
    c = Canvas(size, size)
    burst = c.polygon_mask(style.star_points(size / 2, size / 2, 43, 34, points=12, rotation=-90))
    c.shadow(burst, (0, 3), 4, 110)
    c.paint(burst, c.vertical_gradient((255, 220, 90), (255, 130, 40), (0, 0, size, size)))
    disc = c.ellipse_mask((12, 12, size - 12, size - 12))
    c.paint(disc, c.vertical_gradient((255, 90, 110), (200, 30, 70), (12, 12, size - 12, size - 12)))
    c.outline(disc, 2, (255, 235, 170))
    c.icon((size / 2, 37), "gift", 28, fill=style.CREAM, stroke=1.5, stroke_fill=(110, 10, 40))
    c.text((size / 2, 62), "特惠", 18, fill=style.CREAM, stroke=2, stroke_fill=(110, 10, 40))
    return c.finish()


def count_badge():
    """The red badge on the share button; the game writes the number of red packets on it."""
    width, height = 34, 28
    c = Canvas(width, height)
    m = c.rounded_mask((1, 1, width - 1, height - 1), 13)
    c.shadow(m, (0, 1), 2, 120)
    c.paint(m, c.vertical_gradient((255, 110, 110), (220, 30, 50), (0, 0, width, height)))
    c.outline(m, 2, style.WHITE)
    return c.finish()


IMAGES = {
    "Menu/bg_menuscene.png": background,
    "Menu/bg_menutitle.png": logo,
    "Menu/bg_number.png": count_badge,
    "Menu/btn_start.png": lambda: style.labelled_button(240, 88, style.GREEN, "开始游戏", "play", size=32,
                                                        icon_size=30),
    "Menu/btn_sale.png": sale_button,
    "Menu/btn_help.png": lambda: tile_button(120, 76, style.VIOLET, "question", "帮助"),
    "Menu/btn_info.png": lambda: tile_button(120, 76, style.VIOLET, "user", "账号"),
    "Menu/btn_voice_on.png": lambda: tile_button(120, 76, style.VIOLET, "volume-up", "声音 开"),
    "Menu/btn_voice_off.png": lambda: tile_button(120, 76, style.VIOLET, "volume-off", "声音 关", disabled=True),
    "Menu/btn_shop.png": lambda: tile_button(84, 84, style.BLUE, "cart", "商店", icon_colour=style.GOLD),
    "Menu/btn_share.png": lambda: tile_button(84, 84, style.BLUE, "share", "分享", icon_colour=(150, 255, 170)),
    "Menu/btn_ranked.png": lambda: tile_button(84, 84, style.BLUE, "trophy", "排行榜", icon_colour=style.GOLD),
    "Menu/btn_activity.png": lambda: tile_button(84, 84, style.BLUE, "gift", "活动", icon_colour=(255, 160, 200)),
}
