"""Menu/Help, Menu/Info, Menu/Login and Menu/Web: the help page, the account dialogs and the web page's bar.

Positions in the comments are those the screens give, from the dialog's bottom-left corner; the drawings
use Pillow's top-left coordinates (y from the top = height - y from the bottom)."""
from art import style
from art.style import Canvas

LINK = (200, 225, 255)


def help_page():
    """The rules: tap a group, the score of a group, the target and the bonus, the three props and their cost."""
    width, height = 440, 640
    c = Canvas(width, height)
    style.panel(c, (4, 2, width - 4, height - 6))
    style.ribbon(c, (width / 2 - 20, 36), 210, 48, "游戏帮助", colour=(90, 150, 255), icon="question")
    # 1. Tapping a group.
    section(c, (18, 72, width - 18, 232), "1", "怎么玩")
    mini_board(c, (30, 100))
    c.text((304, 128), "点击两个或以上", 20, fill=style.WHITE, stroke=2)
    c.text((304, 156), "相连的同色方块", 20, fill=style.WHITE, stroke=2)
    c.text((304, 184), "即可消除它们", 20, fill=style.WHITE, stroke=2)
    c.text((304, 212), "（上下左右相邻）", 16, fill=(200, 210, 255))
    # 2. Scoring.
    section(c, (18, 242, width - 18, 338), "2", "得分")
    c.text((width / 2, 276), "一次消除 n 个 = 5 × n × n 分", 22, fill=style.GOLD, stroke=2)
    c.text((width / 2, 310), "2个 20分 · 5个 125分 · 10个 500分", 17, fill=style.WHITE, stroke=1.5)
    # 3. Target and bonus.
    section(c, (18, 348, width - 18, 444), "3", "过关")
    c.icon((48, 384), "flag", 20, fill=style.GOLD)
    c.text((236, 384), "分数达到本关目标即可过关", 20, fill=style.WHITE, stroke=2)
    c.icon((48, 418), "gift", 20, fill=(255, 160, 200))
    c.text((236, 418), "剩余不足 10 块时有额外奖励", 20, fill=style.WHITE, stroke=2)
    # 4. The props.
    section(c, (18, 454, width - 18, 626), "4", "道具（每次 5 钻石，每关各 3 次）")
    for k, (icon, name, text) in enumerate([("bomb", "炸弹", "炸掉任意一块"), ("brush", "画笔", "给一块换颜色"),
                                            ("random", "重排", "打乱全部方块的颜色")]):
        y = 500 + k * 42
        tile = c.rounded_mask((34, y - 17, 70, y + 19), 9)
        c.paint(tile, c.vertical_gradient((150, 120, 255), (90, 60, 200), (34, y - 17, 70, y + 19)))
        c.icon((52, y + 1), icon, 22, fill=style.WHITE)
        c.text((104, y), name, 20, fill=style.GOLD, stroke=2)
        c.text((140, y), text, 19, fill=style.WHITE, stroke=1.5, anchor="lm")
        c.icon((372, y), "diamond", 16, fill=(150, 220, 255))
        c.text((396, y), "5", 19, fill=style.WHITE, stroke=1.5)
    return c.finish()


def section(c, box, number, title):
    m = c.rounded_mask(box, 14)
    c.paint(m, style.rgba((20, 12, 60), 120))
    c.outline(m, 1.5, style.rgba(style.PANEL_BORDER, 120))
    disc = c.ellipse_mask((box[0] + 8, box[1] - 8, box[0] + 34, box[1] + 18))
    c.paint(disc, style.ORANGE)
    c.outline(disc, 1.5, style.WHITE)
    c.text((box[0] + 21, box[1] + 5), number, 16, fill=style.WHITE)
    c.text((box[0] + 42, box[1] + 5), title, 16, fill=style.GOLD, stroke=1.5, anchor="lm")


def mini_board(c, origin):
    """A 5 x 4 board with a group of four red pieces outlined and a finger on it."""
    layout = ["gbyrp", "bgrrb", "ygrpg", "pbybr"]
    colours = {"g": "green", "r": "red", "y": "yellow", "p": "purple", "b": "blue"}
    group = {(1, 2), (1, 3), (2, 2), (0, 3)}
    x0, y0 = origin
    cell = 30
    board = c.rounded_mask((x0 - 6, y0 - 6, x0 + 5 * cell + 6, y0 + 4 * cell + 6), 10)
    c.paint(board, style.rgba((10, 8, 30), 170))
    for row, line in enumerate(layout):
        for column, key in enumerate(line):
            x, y = x0 + column * cell, y0 + row * cell
            colour = style.PIECES[colours[key]]
            if (row, column) not in group:
                colour = style.mix(colour, (40, 34, 80), 0.45)
            style.gem(c, (x + 1, y + 1, x + cell - 1, y + cell - 1), colour)
    for row, column in group:
        x, y = x0 + column * cell, y0 + row * cell
        c.outline(c.rounded_mask((x - 1, y - 1, x + cell + 1, y + cell + 1), 8), 2, style.WHITE)
    c.icon((x0 + 2.5 * cell + 10, y0 + 2.5 * cell + 12), "hand", 30, fill=style.WHITE, stroke=2, stroke_fill=style.INK)


def info_page():
    """Account information: who is playing; the binding state and the version sit on the light card below."""
    width, height = 400, 420
    c = Canvas(width, height)
    style.panel(c, (4, 2, width - 4, height - 6))
    style.ribbon(c, (width / 2 - 16, 36), 200, 48, "账号信息", colour=(90, 150, 255), icon="user")
    avatar = c.ellipse_mask((width / 2 - 42, 78, width / 2 + 42, 162))
    c.shadow(avatar, (0, 3), 4, 110)
    c.paint(avatar, c.vertical_gradient((150, 200, 255), (70, 110, 230), (0, 78, width, 162)))
    c.outline(avatar, 3, style.WHITE)
    c.icon((width / 2, 124), "user", 50, fill=style.WHITE)
    c.text((width / 2, 190), "绑定手机号，换手机也不丢进度", 17, fill=style.CREAM, stroke=1.5)
    style.card(c, (20, 272, width - 20, height - 10))
    return c.finish()


def bound_mark():
    width, height = 220, 28
    c = Canvas(width, height)
    c.icon((34, height / 2), "check", 18, fill=style.GREEN)
    c.text((122, height / 2), "已绑定手机号", 18, fill=(40, 120, 70))
    return c.finish()


def number_box():
    """The bound number's frame; the game writes the masked number in its middle."""
    width, height = 260, 52
    c = Canvas(width, height)
    m = c.rounded_mask((2, 2, width - 2, height - 2), 14)
    c.paint(m, style.WHITE)
    c.outline(m, 2, style.CARD_BORDER)
    c.icon((17, height / 2), "mobile", 20, fill=(150, 140, 200))  # clear of the number, up to 200 wide
    return c.finish()


def agreement_link():
    width, height = 200, 40
    c = Canvas(width, height)
    m = c.rounded_mask((1, 1, width - 1, height - 1), 19)
    c.paint(m, style.rgba((20, 12, 60), 150))
    c.outline(m, 1.5, style.rgba(LINK, 200))
    c.icon((28, height / 2), "file", 17, fill=LINK)
    c.text((112, height / 2 - 1), "《用户协议》", 18, fill=LINK)
    c.paint(c.rect_mask((60, 30, 166, 31.5)), style.rgba(LINK, 200))
    return c.finish()


def login_page():
    """Binding a phone: the two input boxes (centres 134 and 52 points above the middle, 34 right of it) with
    their icons, the agreement line and the bind button's place."""
    width, height = 440, 480
    c = Canvas(width, height)
    style.panel(c, (4, 2, width - 4, height - 6))
    style.ribbon(c, (width / 2 - 16, 36), 200, 48, "绑定手机", colour=(90, 150, 255), icon="mobile")
    for y, icon, caption in [(106, "mobile", "手机号"), (188, "lock", "密码")]:
        disc = c.ellipse_mask((40, y - 28, 86, y + 18))
        c.paint(disc, style.rgba((20, 12, 60), 150))
        c.icon((63, y - 5), icon, 24, fill=style.CREAM)
        c.text((63, y + 30), caption, 15, fill=(200, 210, 255))
    c.text((width / 2 + 34, 232), "密码为 4 到 12 位数字", 16, fill=(200, 210, 255))
    c.text((84, 282), "我已阅读并同意", 16, fill=style.CREAM, anchor="lm")
    # Under the bind button (110 points above the bottom).
    c.text((width / 2, height - 40), "绑定后换手机也不丢进度，还能领取红包", 16, fill=(200, 210, 255))
    return c.finish()


def tick(on):
    size = 36
    c = Canvas(size, size)
    m = c.rounded_mask((3, 3, size - 3, size - 3), 8)
    c.paint(m, style.WHITE if not on else style.GREEN)
    c.outline(m, 2.5, style.CARD_BORDER if not on else style.WHITE)
    if on:
        c.icon((size / 2, size / 2 + 1), "check", 20, fill=style.WHITE)
    return c.finish()


def text_input():
    """The edit boxes' nine-slice background: a light rounded field."""
    size = 48
    c = Canvas(size, size)
    m = c.rounded_mask((1, 1, size - 1, size - 1), 14)
    c.paint(m, c.vertical_gradient((232, 228, 248), (255, 255, 255), (0, 0, size, size)))
    c.outline(m, 2, style.CARD_BORDER)
    return c.finish()


def nav_bar():
    """The web page's navigation bar (the screen shows its first 480 x 80 points): the title goes in its middle."""
    width, height = 480, 80
    c = Canvas(width, height)
    c.paint(c.rect_mask((0, 0, width, height)), c.vertical_gradient(style.PANEL_TOP, (36, 26, 80), (0, 0, width,
                                                                                                   height)))
    c.paint(c.rect_mask((0, height - 3, width, height)), style.rgba(style.PANEL_BORDER, 200))
    for x, y in [(150, 16), (420, 60), (330, 14)]:
        style.sparkle(c, (x, y), 3, style.PANEL_BORDER, 140)
    return c.finish()


IMAGES = {
    "Menu/Help/bg_help.png": help_page,
    "Menu/Info/bg_info.png": info_page,
    "Menu/Info/btn_nowbind.png": lambda: style.labelled_button(220, 60, style.GREEN, "立即绑定", "mobile", size=24),
    "Menu/Info/img_bind.png": bound_mark,
    "Menu/Info/img_bindbox.png": number_box,
    "Menu/Login/bg_login.png": login_page,
    "Menu/Login/btn_agree_n.png": lambda: tick(False),
    "Menu/Login/btn_agree_s.png": lambda: tick(True),
    "Menu/Login/btn_bind.png": lambda: style.labelled_button(220, 64, style.GREEN, "立即绑定", "check", size=26),
    "Menu/Login/btn_bind_.png": lambda: style.labelled_button(220, 64, style.GREEN, "立即绑定", "check", size=26,
                                                              disabled=True),
    "Menu/Login/btn_pact.png": agreement_link,
    "Menu/Login/text_input.png": text_input,
    "Menu/Web/bg_nav.png": nav_bar,
    "Menu/Web/btn_back.png": lambda: style.labelled_button(100, 52, style.BLUE, "返回", "chevron-left", size=22,
                                                           icon_size=18),
}
