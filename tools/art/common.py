"""Common/: the dialog frames, the shade, the close button and the popup box with its buttons."""
from art import style
from art.style import Canvas


def dialog_frame(width, height, seed):
    """A plain dialog: the violet panel with a few stars in its corners; screens put their own header on it."""
    c = Canvas(width, height)
    style.panel(c, (4, 2, width - 4, height - 6))
    for k, (x, y) in enumerate([(22, height - 26), (width - 24, height - 30), (30, height - 44)]):
        style.sparkle(c, (x, y), 4 + k % 2 * 2, style.PANEL_BORDER, 150)
    del seed
    return c.finish()


def shade():
    """The grey shade behind dialogs: black at 55%. Screens scale it up to cover everything."""
    c = Canvas(24, 24, background=(0, 0, 0, 140))
    return c.finish()


def close_button():
    return style.round_button(44, style.RED, "times", icon_size=24)


def popup_box():
    """The popup: a violet frame around a light card on which the game writes its title and message in blue."""
    width, height = 400, 300
    c = Canvas(width, height)
    style.panel(c, (4, 2, width - 4, height - 6))
    style.card(c, (18, 16, width - 18, height - 96))
    # A line under the title's place (the title sits 40 points below the top edge).
    c.paint(c.rounded_mask((60, 62, width - 60, 64), 1), style.rgba(style.CARD_BORDER, 160))
    return c.finish()


def indicator():
    """The wait indicator: twelve dots, fading round the circle; the game turns it by 30 degrees a step."""
    import math
    size = 64
    c = Canvas(size, size)
    disc = c.ellipse_mask((6, 6, size - 6, size - 6))
    c.paint(disc, (30, 22, 70, 170))
    for k in range(12):
        a = math.radians(k * 30 - 90)
        r = 20
        x, y = size / 2 + r * math.cos(a), size / 2 + r * math.sin(a)
        dot = 3.6 - k * 0.12
        c.paint(c.ellipse_mask((x - dot, y - dot, x + dot, y + dot)), style.rgba(style.WHITE, 255 - k * 18))
    return c.finish()


def input_field():
    """The phone number field: a light rounded box with a phone at its left, clear where the digits go."""
    width, height = 300, 56
    c = Canvas(width, height)
    m = c.rounded_mask((2, 2, width - 2, height - 2), 14)
    c.paint(m, style.rgba((30, 20, 70), 120))
    inner = c.rounded_mask((2, 4, width - 2, height - 2), 14)
    c.paint(inner, c.vertical_gradient((236, 232, 250), (255, 255, 255), (2, 4, width - 2, height - 2)))
    c.outline(m, 2, style.CARD_BORDER)
    c.icon((26, height / 2 + 1), "mobile", 30, fill=(120, 110, 180))
    return c.finish()


IMAGES = {
    "Common/bg_dialog_2.png": lambda: dialog_frame(400, 640, 2),
    "Common/bg_dialog_3.png": lambda: dialog_frame(400, 480, 3),
    "Common/bg_gray_shadow.png": shade,
    "Common/btn_close.png": close_button,
    "Common/pop_alert.png": popup_box,
    "Common/pop_btn_ok.png": lambda: style.labelled_button(130, 52, style.GREEN, "确定", "check"),
    "Common/pop_btn_ok_.png": lambda: style.labelled_button(130, 52, style.GREEN, "确定", "check", disabled=True),
    "Common/pop_btn_no.png": lambda: style.labelled_button(130, 52, style.VIOLET, "以后再说", size=22),
    "Common/pop_btn_yes.png": lambda: style.labelled_button(130, 52, style.GREEN, "立即绑定", size=22),
    "Common/pop_indicator.png": indicator,
    "Common/pop_input.png": input_field,
}
