"""Menu/Shop, Menu/Sale, Menu/Share and Menu/Ranked: where diamonds are bought, red packets claimed and ranks
shown. The packs' numbers come from the store's products, so the pictures always tell the truth."""
from art import style
from art.style import Canvas

# The diamond packs the store sells: tier -> (price in yuan, diamonds from the shop, diamonds from the sale).
PACKS = {2: (12.0, 140, 240), 4: (25.0, 355, 510), 8: (50.0, 1000, 1200), 16: (98.0, 3000, 3000)}
PRICE = (255, 214, 90)


def price_text(tier):
    return "¥%.2f" % PACKS[tier][0]


def diamond_pile(c, centre, count, size=22):
    """One to four diamonds heaped, more for larger packs."""
    cx, cy = centre
    spots = [(0, 0)] if count == 1 else [(-0.45, 0.2), (0.45, 0.2), (0, -0.35)][:count] if count <= 3 else \
        [(-0.55, 0.3), (0.55, 0.3), (0, 0.3), (-0.28, -0.3), (0.28, -0.3)]
    for dx, dy in spots:
        x, y = cx + dx * size, cy + dy * size
        style.diamond(c, (x, y), size)


def shop_page():
    """The shop: a header with the diamond count's frame (the count sits 20 right of the middle, 50 below the
    top), and one row per pack whose buy button sits at x 340 (rows at 508, 386, 264, 142 from the bottom)."""
    width, height = 440, 660
    c = Canvas(width, height)
    style.panel(c, (4, 2, width - 4, height - 6))
    c.icon((40, 50), "cart", 26, fill=style.GOLD, stroke=1.5)
    c.text((66, 50), "商店", 24, fill=style.CREAM, stroke=2, anchor="lm")
    counter = c.rounded_mask((166, 34, 314, 66), 16)
    c.paint(counter, style.rgba((12, 8, 34), 200))
    c.outline(counter, 2, (120, 200, 255))
    c.icon((184, 50), "diamond", 18, fill=(120, 210, 255))
    for row, tier in enumerate(sorted(PACKS)):
        _, diamonds, _ = PACKS[tier]
        y = height - (508 - 122 * row)
        m = c.rounded_mask((16, y - 54, width - 16, y + 54), 16)
        c.paint(m, c.vertical_gradient((96, 74, 180), (66, 48, 140), (16, y - 54, width - 16, y + 54)))
        c.outline(m, 1.5, style.rgba(style.PANEL_BORDER, 150))
        disc = c.ellipse_mask((28, y - 38, 104, y + 38))
        c.paint(disc, style.rgba((20, 12, 60), 150))
        diamond_pile(c, (66, y + 2), row + 1 if row < 3 else 5, 24 if row < 3 else 20)
        c.text((122, y - 16), "%d 钻石" % diamonds, 28, fill=style.WHITE, stroke=2, anchor="lm")
        c.text((122, y + 22), price_text(tier), 22, fill=PRICE, stroke=2, anchor="lm")
    c.text((width / 2, height - 34), "钻石可以用来使用道具、继续游戏", 16, fill=(200, 210, 255))
    return c.finish()


def sale_frame():
    """The sale dialog: a golden frame with a sunburst behind the offer (its middle), room for the title at the
    top and for the buy button 185 points below the middle."""
    import math
    width, height = 460, 620
    c = Canvas(width, height)
    style.panel(c, (4, 30, width - 4, height - 6), top=(120, 50, 150), bottom=(70, 30, 110), border=style.GOLD)
    for k in range(16):
        a0, a1 = math.radians(k * 22.5), math.radians(k * 22.5 + 11)
        cx, cy, r = width / 2, height / 2, 260
        ray = c.polygon_mask([(cx, cy), (cx + r * math.cos(a0), cy + r * math.sin(a0)),
                              (cx + r * math.cos(a1), cy + r * math.sin(a1))])
        inside = c.rounded_mask((8, 34, width - 8, height - 10), 22)
        from PIL import ImageChops
        c.paint(ImageChops.multiply(ray, inside), style.rgba((255, 220, 120), 18))
    c.text((width / 2, 148), "限时特惠 · 比商店多送钻石", 18, fill=style.CREAM, stroke=1.5)
    c.text((width / 2, height - 50), "购买后钻石立即到账", 16, fill=(240, 210, 255))
    return c.finish()


def sale_offer(rung):
    """One pack of the sale ladder; the gift mark sits on its lower left (85, 45 from that corner)."""
    tier = sorted(PACKS)[rung]
    price, shop, sale = PACKS[tier]
    width, height = 360, 260
    c = Canvas(width, height)
    fills = [((255, 120, 130), (200, 40, 90)), ((255, 170, 80), (215, 90, 30)), ((190, 120, 255), (110, 50, 200)),
             ((110, 200, 255), (40, 110, 210))]
    m = c.rounded_mask((4, 4, width - 4, height - 4), 22)
    c.shadow(m, (0, 4), 6, 130)
    c.paint(m, c.vertical_gradient(fills[rung][0], fills[rung][1], (4, 4, width - 4, height - 4)))
    c.outline(m, 3, (255, 230, 150))
    glow = c.ellipse_mask((width / 2 - 70, 10, width / 2 + 70, 120))
    c.glow(glow, 20, (255, 255, 200), 120)
    diamond_pile(c, (width / 2, 68), rung + 2 if rung < 3 else 5, 42 if rung < 2 else 34)
    c.text((width / 2, 146), "%d 钻石" % sale, 40, fill=style.WHITE, stroke=3, stroke_fill=style.darker(
        fills[rung][1], 0.5))
    bonus = "比商店多送 %d" % (sale - shop) if sale > shop else "至尊大礼包"
    # Right of the gift mark, which the screen sets on the offer's lower left.
    tag = c.rounded_mask((width / 2 - 56, 176, width / 2 + 116, 204), 14)
    c.paint(tag, style.rgba((255, 255, 255), 60))
    c.text((width / 2 + 30, 190), bonus, 18, fill=style.CREAM, stroke=1.5,
           stroke_fill=style.darker(fills[rung][1], 0.5))
    c.text((width / 2 + 60, 233), "仅需 ¥%.2f" % price, 22, fill=(255, 240, 150), stroke=2,
           stroke_fill=style.darker(fills[rung][1], 0.55))
    return c.finish()


def handsel():
    size = 72
    c = Canvas(size, size)
    burst = c.polygon_mask(style.star_points(size / 2, size / 2, 35, 29, points=14))
    c.shadow(burst, (0, 2), 3, 120)
    c.paint(burst, c.vertical_gradient((255, 90, 90), (200, 20, 50), (0, 0, size, size)))
    c.outline(burst, 2, (255, 230, 150))
    c.text((size / 2, size / 2 - 1), "赠", 32, fill=(255, 240, 180), stroke=2, stroke_fill=(110, 10, 30))
    return c.finish()


def sale_title():
    width, height = 240, 70
    c = Canvas(width, height)
    style.ribbon(c, (width / 2, height / 2), 176, 52, "超值礼包", colour=(255, 110, 60), icon="gift", text_size=26)
    return c.finish()


def share_header():
    """The share dialog's header: a red packet with diamonds, and what sharing brings."""
    width, height = 340, 230
    c = Canvas(width, height)
    style.ribbon(c, (width / 2, 30), 200, 46, "分享有礼", colour=(235, 70, 90), icon="share")
    env = c.rounded_mask((width / 2 - 46, 66, width / 2 + 46, 174), 14)
    c.glow(env, 16, (255, 200, 120), 120)
    c.paint(env, c.vertical_gradient((250, 80, 80), (190, 20, 40), (0, 66, width, 174)))
    c.paint(c.polygon_mask([(width / 2 - 46, 76), (width / 2 + 46, 76), (width / 2, 118)]), (220, 40, 60))
    seal = c.ellipse_mask((width / 2 - 18, 100, width / 2 + 18, 136))
    c.paint(seal, c.vertical_gradient((255, 230, 120), (240, 170, 30), (0, 100, width, 136)))
    c.icon((width / 2, 119), "diamond", 18, fill=(180, 60, 20))
    for x, y in [(width / 2 - 80, 90), (width / 2 + 82, 120), (width / 2 - 70, 150)]:
        style.diamond(c, (x, y), 22)
    c.text((width / 2, 198), "分享游戏给好友，领取红包钻石", 18, fill=style.CREAM, stroke=1.5)
    return c.finish()


def share_caption(text):
    width, height = 110, 30
    c = Canvas(width, height)
    c.paint(c.rounded_mask((1, 2, width - 1, height - 2), 13), style.rgba((12, 8, 34), 150))
    c.text((width / 2, height / 2), text, 16, fill=style.CREAM)
    return c.finish()


def ranked_title():
    width, height = 260, 50
    c = Canvas(width, height)
    style.ribbon(c, (width / 2, height / 2), 190, 44, "排行榜", colour=(255, 170, 40), icon="trophy")
    return c.finish()


def ranked_box():
    """The frame around the leaderboard's table (330 x 330, 8 points inside)."""
    size = 346
    c = Canvas(size, size)
    m = c.rounded_mask((1, 1, size - 1, size - 1), 14)
    c.paint(m, style.rgba((14, 10, 40), 190))
    c.outline(m, 2, style.rgba(style.PANEL_BORDER, 180))
    return c.finish()


def self_strip():
    """The player's own rank (its middle line) and best score (30 points lower) are written on this strip."""
    width, height = 360, 98
    c = Canvas(width, height)
    m = c.rounded_mask((2, 2, width - 2, height - 2), 18)
    c.paint(m, c.vertical_gradient((110, 80, 210), (70, 50, 150), (0, 0, width, height)))
    c.outline(m, 2, style.GOLD)
    disc = c.ellipse_mask((12, 26, 52, 66))
    c.paint(disc, style.rgba((20, 12, 60), 160))
    c.icon((32, 46), "user", 22, fill=style.GOLD)
    return c.finish()


def info_tips():
    width, height = 320, 56
    c = Canvas(width, height)
    m = c.rounded_mask((2, 4, width - 2, height - 4), 24)
    c.paint(m, style.rgba((12, 8, 34), 140))
    c.outline(m, 1.5, style.rgba(style.GOLD, 160))
    c.icon((30, height / 2), "trophy", 20, fill=style.GOLD)
    c.text((width / 2 + 14, height / 2), "排名靠前可领取丰厚奖励", 18, fill=style.CREAM)
    return c.finish()


def head(index):
    size = 52
    c = Canvas(size, size)
    colours = [(255, 196, 50), (200, 210, 230), (230, 150, 90), (110, 160, 255), (150, 140, 190)]
    m = c.ellipse_mask((2, 2, size - 2, size - 2))
    c.paint(m, c.vertical_gradient(style.lighter(colours[index], 0.3), colours[index], (0, 0, size, size)))
    c.outline(m, 2.5, style.WHITE)
    c.icon((size / 2, size / 2 + 3), "user", 30, fill=style.WHITE, stroke=1, stroke_fill=style.darker(colours[index]))
    return c.finish()


def medal(place):
    size = 56
    c = Canvas(size, size)
    colours = [(255, 200, 40), (210, 220, 235), (225, 140, 80)]
    ribbon = c.polygon_mask([(16, 0), (26, 0), (30, 18), (20, 22)])
    c.paint(ribbon, (220, 60, 80))
    c.paint(c.polygon_mask([(40, 0), (30, 0), (26, 18), (36, 22)]), (60, 110, 220))
    disc = c.ellipse_mask((8, 12, 48, 52))
    c.shadow(disc, (0, 2), 2, 110)
    c.paint(disc, c.vertical_gradient(style.lighter(colours[place], 0.4), style.darker(colours[place], 0.15),
                                      (8, 12, 48, 52)))
    c.outline(disc, 2.5, style.lighter(colours[place], 0.6))
    c.text((28, 32), str(place + 1), 22, fill=style.WHITE, stroke=2, stroke_fill=style.darker(colours[place], 0.5))
    return c.finish()


def cell(own):
    """A leaderboard row's background: light, so the game's blue (others) or orange (own) text reads on it."""
    width, height = 326, 88
    c = Canvas(width, height)
    m = c.rounded_mask((2, 2, width - 2, height - 2), 14)
    if own:
        c.paint(m, c.vertical_gradient((255, 248, 220), (255, 226, 160), (0, 0, width, height)))
        c.outline(m, 2.5, (255, 170, 40))
        style.badge_star(c, (306, 66), 9)
    else:
        c.paint(m, c.vertical_gradient((246, 244, 255), (222, 216, 250), (0, 0, width, height)))
        c.outline(m, 1.5, style.CARD_BORDER)
    return c.finish()


IMAGES = {
    "Menu/Shop/bg_shop.png": shop_page,
    "Menu/Shop/btn_buy.png": lambda: style.labelled_button(120, 56, style.GREEN, "购买", "cart", size=22),
    "Menu/Sale/bg_sale_1.png": lambda: sale_offer(0),
    "Menu/Sale/bg_sale_2.png": lambda: sale_offer(1),
    "Menu/Sale/bg_sale_3.png": lambda: sale_offer(2),
    "Menu/Sale/bg_sale_4.png": lambda: sale_offer(3),
    "Menu/Sale/btn_buy.png": lambda: style.labelled_button(200, 64, style.GREEN, "立即购买", "cart", size=26),
    "Menu/Sale/icon_handsel.png": handsel,
    "Menu/Sale/title_sale.png": sale_title,
    "Common/bg_dialog_1.png": sale_frame,
    "Menu/Share/bg_share.png": share_header,
    "Menu/Share/btn_share_pgfriend.png": lambda: style.round_button(80, style.GREEN, "comments", icon_size=36),
    "Menu/Share/btn_share_pgtimeline.png": lambda: style.round_button(80, style.ORANGE, "users", icon_size=34),
    "Menu/Share/btn_share_pgfriend_.png": lambda: share_caption("发送给好友"),
    "Menu/Share/btn_share_pgtimeline_.png": lambda: share_caption("分享到动态"),
    "Menu/Share/btn_receive.png": lambda: style.labelled_button(220, 60, style.RED, "领取红包", "envelope", size=24),
    "Menu/Share/btn_receive_.png": lambda: style.labelled_button(220, 60, style.RED, "暂无红包", "envelope", size=24,
                                                                 disabled=True),
    "Menu/Ranked/bg_ranked_title.png": ranked_title,
    "Menu/Ranked/bg_ranked_box.png": ranked_box,
    "Menu/Ranked/bg_self_ranked.png": self_strip,
    "Menu/Ranked/btn_receive_reward.png": lambda: style.labelled_button(220, 60, style.GREEN, "领取奖励", "gift",
                                                                        size=24),
    "Menu/Ranked/img_info_tips.png": info_tips,
    "Menu/Ranked/ranked_cell_self.png": lambda: cell(True),
    "Menu/Ranked/ranked_cell_user.png": lambda: cell(False),
}
for _k in range(5):
    IMAGES["Menu/Ranked/icon_head_%d.png" % (_k + 1)] = (lambda k: lambda: head(k))(_k)
for _k in range(3):
    IMAGES["Menu/Ranked/icon_ranked_%d.png" % (_k + 1)] = (lambda k: lambda: medal(k))(_k)
