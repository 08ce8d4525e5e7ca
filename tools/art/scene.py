"""Scene/: the play screen, its top bar and props, the pause and game-over dialogs and the paint chooser."""
from art import style
from art.style import Canvas

BOARD_SIZE = 480  # 10 x 10 cells of 48 points, from the bottom of the screen


def background():
    """The play screen's sky; anchored at the bottom, its lowest 480 rows lie under the board, calm, with faint
    cell slots."""
    width, height = 480, 852
    c = Canvas(width, height)
    style.sky(c, seed=21, stars=70, calm_below=height - BOARD_SIZE - 6)
    board_top = height - BOARD_SIZE
    c.paint(c.rect_mask((0, board_top, width, height)), c.vertical_gradient((22, 24, 58, 200), (14, 16, 40, 230),
                                                                            (0, board_top, width, height)))
    for row in range(10):
        for column in range(10):
            x, y = column * 48, board_top + row * 48
            c.paint(c.rounded_mask((x + 3, y + 3, x + 45, y + 45), 9), style.rgba((60, 60, 120), 60))
    c.paint(c.rect_mask((0, board_top - 2, width, board_top)), style.rgba(style.PANEL_BORDER, 90))
    return c.finish()


def top_bar():
    """The top bar's frames and captions, where the game writes its numbers: the target at (90, 34) from the
    top, the best score at (240, 52), the level at (54, 110); the diamond counter is the shop button."""
    width, height = 480, 136
    c = Canvas(width, height)
    strip = c.rect_mask((0, 0, width, 62))
    c.paint(strip, c.vertical_gradient((30, 22, 70, 230), (50, 36, 110, 220), (0, 0, width, 62)))
    c.paint(c.rect_mask((0, 60, width, 62)), style.rgba(style.PANEL_BORDER, 160))
    # Target: a caption over a frame for the number.
    frame(c, (24, 22, 156, 47))
    c.icon((30, 11), "flag", 13, fill=style.GOLD)
    c.text((64, 11), "目标", 16, fill=style.GOLD, stroke=1.5)
    # Best score.
    frame(c, (176, 40, 304, 64))
    c.icon((208, 28), "trophy", 14, fill=style.GOLD)
    c.text((246, 28), "最高分", 16, fill=style.GOLD, stroke=1.5)
    # Level: a tab hanging under the strip.
    tab = c.rounded_mask((16, 56, 92, 132), 16)
    c.shadow(tab, (0, 3), 4, 110)
    c.paint(tab, c.vertical_gradient(style.PANEL_TOP, style.PANEL_BOTTOM, (16, 56, 92, 132)))
    c.outline(tab, 2, style.PANEL_BORDER)
    c.text((54, 82), "关卡", 17, fill=style.CREAM, stroke=1.5)
    c.paint(c.rounded_mask((24, 98, 84, 124), 12), style.rgba((16, 12, 40), 150))
    return c.finish()


def frame(c, box):
    m = c.rounded_mask(box, (box[3] - box[1]) / 2)
    c.paint(m, style.rgba((12, 8, 34), 190))
    c.outline(m, 1.5, style.rgba(style.PANEL_BORDER, 170))


def shop_counter():
    """The shop button, which is the diamond counter: a diamond, a frame for the count and a plus to buy."""
    width, height = 120, 40
    c = Canvas(width, height)
    m = c.rounded_mask((8, 6, width - 6, height - 4), 15)
    c.paint(m, style.rgba((12, 8, 34), 200))
    c.outline(m, 2, (120, 200, 255))
    gem = c.ellipse_mask((0, 2, 36, 38))
    c.paint(gem, c.vertical_gradient((90, 170, 255), (40, 90, 220), (0, 2, 36, 38)))
    c.outline(gem, 2, (190, 230, 255))
    c.icon((18, 21), "diamond", 19, fill=style.WHITE)
    plus = c.ellipse_mask((width - 16, 0, width, 16))
    c.paint(plus, style.GREEN)
    c.outline(plus, 1.5, style.WHITE)
    c.icon((width - 8, 8.5), "plus", 10, fill=style.WHITE)
    return c.finish()


def prop(icon, state):
    """A prop button. Armed: a gold tile with a glow; cooling down: grey with a clock."""
    width, height = 70, 66
    c = Canvas(width, height)
    box = (4, 3, width - 4, height - 3)
    m = c.rounded_mask(box, 16)
    if state == "armed":
        c.glow(m, 6, (255, 220, 80), 255)
        c.paint(m, c.vertical_gradient((255, 240, 140), (255, 160, 30), box))
        c.outline(m, 2.5, style.WHITE)
        c.icon((width / 2, height / 2), icon, 34, fill=(120, 40, 0), stroke=1, stroke_fill=style.WHITE)
        for x, y in [(14, 12), (57, 14), (58, 52)]:
            style.sparkle(c, (x, y), 4, style.WHITE)
        return c.finish()
    disabled = state == "cooling"
    body = (110, 84, 220) if not disabled else (110, 110, 120)
    c.shadow(m, (0, 3), 3, 120)
    c.paint(m, c.vertical_gradient(style.lighter(body, 0.25), style.darker(body, 0.25), box))
    c.outline(m, 2, style.lighter(body, 0.55))
    c.icon((width / 2, height / 2 - 1), icon, 32, fill=style.WHITE if not disabled else (200, 200, 205), stroke=1.5,
           stroke_fill=style.darker(body, 0.6))
    if disabled:
        disc = c.ellipse_mask((width - 28, 4, width - 4, 28))
        c.paint(disc, (70, 70, 80))
        c.outline(disc, 1.5, style.WHITE)
        c.icon((width - 16, 16), "clock", 16, fill=style.WHITE)
    return c.finish()


def count_badge():
    size = 26
    c = Canvas(size, size)
    m = c.ellipse_mask((1, 1, size - 1, size - 1))
    c.paint(m, c.vertical_gradient((255, 100, 110), (210, 30, 60), (0, 0, size, size)))
    c.outline(m, 2, style.WHITE)
    return c.finish()


def switch(icon, caption, on):
    """A sound or music switch: lit with its icon when on, grey and crossed out when off."""
    width, height = 120, 88
    c = Canvas(width, height)
    colour = style.BLUE if on else style.GREY
    x0, y0, x1, y1 = style.pill(c, (1, 1, width - 1, height - 1), colour, radius=22, disabled=not on)
    ink = style.darker(colour if on else style.desaturate(colour), 0.55)
    c.icon((width / 2, 34), icon, 30, fill=style.WHITE if on else (225, 225, 230), stroke=1.5, stroke_fill=ink)
    if not on:
        c.paint(c.polygon_mask([(38, 14), (43, 10), (84, 54), (79, 58)]), style.RED)
    c.text((width / 2, 68), caption + ("  开" if on else "  关"), 18, fill=style.WHITE, stroke=2, stroke_fill=ink)
    return c.finish()


def pause_title():
    """The pause dialog's header, over the dialog frame (8 points inside its edges): a ribbon naming it."""
    width, height = 384, 464
    c = Canvas(width, height)
    style.ribbon(c, (width / 2, 36), 200, 48, "暂停", colour=(255, 130, 70), icon="pause")
    for x in (70, width - 70):
        style.badge_star(c, (x, 38), 9)
    # Under the switches (their centres are 127 points above this picture's bottom edge).
    c.text((width / 2, height - 40), "返回主菜单后，本局进度会保留", 16, fill=style.lighter(style.PANEL_BORDER, 0.3))
    return c.finish()


def game_over_title():
    """The game-over header and message over the dialog frame: the level is lost; five diamonds buy a retry
    (the continue button sits 80 points above the dialog's bottom) and the close button leads to the menu."""
    width, height = 384, 464
    c = Canvas(width, height)
    style.ribbon(c, (width / 2, 36), 230, 48, "游戏结束", colour=(235, 80, 100))
    # A sad piece.
    size = 96
    x, y = width / 2, 140
    style.gem(c, (x - size / 2, y - size / 2, x + size / 2, y + size / 2), style.PIECES["blue"], star=False)
    for ex in (-16, 16):
        c.paint(c.ellipse_mask((x + ex - 6, y - 14, x + ex + 6, y + 2)), style.rgba((20, 40, 90)))
    c.paint(c.polygon_mask([(x - 18, y + 26), (x, y + 16), (x + 18, y + 26), (x + 18, y + 30), (x, y + 21),
                            (x - 18, y + 30)]), style.rgba((20, 40, 90)))
    c.paint(c.ellipse_mask((x + 24, y - 4, x + 32, y + 10)), (160, 220, 255))
    c.text((width / 2, 232), "目标分数未达成", 26, fill=style.CREAM, stroke=2.5)
    c.text((width / 2, 276), "花 5 颗钻石，本关重来一次", 18, fill=(200, 230, 255), stroke=1.5)
    style_line(c, 302, width)
    c.text((width / 2, height - 24), "点右上角 ✕ 回到主菜单", 16, fill=style.lighter(style.PANEL_BORDER, 0.2))
    return c.finish()


def style_line(c, y, width):
    c.paint(c.rect_mask((60, y, width - 60, y + 1.5)), style.rgba(style.PANEL_BORDER, 110))


def continue_button():
    width, height = 240, 64
    c = Canvas(width, height)
    x0, y0, x1, y1 = style.pill(c, (1, 1, width - 1, height - 1), style.GREEN)
    ink = style.darker(style.GREEN, 0.55)
    cy = (y0 + y1) / 2 - 1
    c.icon((30, cy), "refresh", 22, fill=style.WHITE, stroke=1.5, stroke_fill=ink)
    c.text((98, cy), "继续游戏", 24, fill=style.WHITE, stroke=2, stroke_fill=ink)
    tag = c.rounded_mask((160, cy - 15, 226, cy + 15), 15)
    c.paint(tag, style.rgba((10, 60, 30), 150))
    c.icon((180, cy), "diamond", 16, fill=(150, 220, 255))
    c.text((207, cy), "5", 20, fill=style.WHITE, stroke=1.5, stroke_fill=ink)
    return c.finish()


def chooser_box():
    """The paint chooser: five colour buttons (left part) and the back button (right end) sit on it."""
    width, height = 440, 96
    c = Canvas(width, height)
    style.panel(c, (2, 2, width - 2, height - 4), radius=20)
    c.text((width / 2 - 32, 13), "选择新的颜色", 15, fill=style.CREAM, stroke=1.5)
    for k in range(5):
        x = width / 2 - 32 - 176 + 24 + k * 76
        c.paint(c.ellipse_mask((x - 27, 48 - 27 + 4, x + 27, 48 + 27 + 4)), style.rgba((10, 6, 30), 110))
    return c.finish()


def chooser_arrow():
    width, height = 36, 40
    c = Canvas(width, height)
    m = c.polygon_mask([(3, 2), (33, 2), (18, 38)])
    c.shadow(m, (0, 2), 2, 120)
    c.paint(m, c.vertical_gradient(style.PANEL_TOP, style.GOLD, (0, 0, width, height)))
    c.outline(m, 2, style.WHITE)
    return c.finish()


IMAGES = {
    "Scene/bg_mainscene.png": background,
    "Scene/bg_topmenu.png": top_bar,
    "Scene/btn_shop.png": shop_counter,
    "Scene/btn_pause.png": lambda: style.round_button(56, style.VIOLET, "pause", icon_size=24),
    "Scene/prop_bomb.png": lambda: prop("bomb", "ready"),
    "Scene/prop_bomb_sel.png": lambda: prop("bomb", "armed"),
    "Scene/prop_paint.png": lambda: prop("brush", "ready"),
    "Scene/prop_paint_sel.png": lambda: prop("brush", "armed"),
    "Scene/prop_reset.png": lambda: prop("random", "ready"),
    "Scene/prop_reset_forbit.png": lambda: prop("random", "cooling"),
    "Scene/prop_count.png": count_badge,
    "Scene/prop_paint_box.png": chooser_box,
    "Scene/prop_paint_arrow.png": chooser_arrow,
    "Scene/prop_paint_back.png": lambda: style.round_button(44, style.RED, "undo", icon_size=22),
    "Scene/bg_game_pause.png": pause_title,
    "Scene/btn_pause_back.png": lambda: style.labelled_button(240, 60, style.BLUE, "返回主菜单", "home", size=24),
    "Scene/btn_pause_reset.png": lambda: style.labelled_button(240, 60, style.ORANGE, "重新开始", "refresh", size=24),
    "Scene/btn_music_on.png": lambda: switch("music", "音乐", True),
    "Scene/btn_music_off.png": lambda: switch("music", "音乐", False),
    "Scene/btn_sound_on.png": lambda: switch("volume-up", "音效", True),
    "Scene/btn_sound_off.png": lambda: switch("volume-off", "音效", False),
    "Scene/bg_game_over.png": game_over_title,
    "Scene/btn_over_keep.png": continue_button,
    "Scene/pop_btn_ok.png": lambda: style.labelled_button(130, 52, style.GREEN, "确定", "check", pressed=True),
}
