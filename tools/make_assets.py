#!/usr/bin/python3
"""Draws every image, sprite sheet, bitmap font and the word table the game names, and makes its sounds, into Resources/.

Runs on the system Python, where Debian's python3-pil lives. Deterministic: the same fonts and Pillow give the same bytes, so the output is
committed and only regenerated when this script changes.
    tools/make_assets.py [--out DIR]
"""
import argparse
import ctypes
import hashlib
import math
import os
import struct
import sys
import zlib
from xml.sax.saxutils import escape

from PIL import Image, ImageDraw, ImageFont

CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
LATIN_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"

# Piece colours: far apart in hue, so a screenshot reads back unambiguously.
STAR_COLOURS = {
    "green": (46, 204, 64),
    "red": (230, 38, 60),
    "yellow": (255, 214, 0),
    "purple": (150, 60, 230),
    "blue": (30, 120, 255),
}
BOARD_BACKGROUND = (18, 22, 44)

# The captions behind the word-table keys the play screen uses.
WORDS = {
    "guanqia": "关卡",
    "mubiao": "目标",
    "fen": "分",
    "lianji": "连击",
    "shengyu": "剩余",
    "ge": "个",
    "jiangli": "奖励",
}
# Texts the play screen shows in its bitmap fonts besides numbers and words.
PROMPTS = ["选择要炸掉的贪官", "选择需要变色的贪官", "重新排列花费5颗钻石"]

# The diamond packs the store sells: tier -> (price in yuan, diamonds from the shop, diamonds from the sale).
PACKS = {2: (12.0, 140, 240), 4: (25.0, 355, 510), 8: (50.0, 1000, 1200), 16: (98.0, 3000, 3000)}
# One fill per rung of the sale ladder, so a shot tells the offers apart.
SALE_FILLS = [(200, 60, 70), (210, 110, 40), (130, 60, 170), (40, 120, 190)]
SHOP_TEXT = (255, 248, 220)
PRICE_TEXT = (255, 214, 90)

# Bitmap fonts: (pixel size, fill colour, outline colour, with the Chinese captions).
FONTS = {
    "NumberA": (26, (255, 255, 255), (40, 40, 90), False),
    "NumberB": (24, (255, 226, 90), (90, 50, 0), False),
    "NumberC": (40, (255, 255, 255), (120, 40, 120), False),
    "NumberD": (40, (255, 240, 200), (110, 30, 30), True),
    "NumberE": (32, (255, 160, 40), (80, 20, 0), True),
    "NumberF": (26, (220, 240, 255), (20, 40, 90), True),
}

IMAGES = [
    "Icon.png",
    "Common/bg_dialog_1.png", "Common/bg_dialog_2.png", "Common/bg_dialog_3.png", "Common/bg_gray_shadow.png",
    "Common/btn_close.png", "Common/pop_alert.png", "Common/pop_btn_no.png", "Common/pop_btn_ok.png",
    "Common/pop_btn_ok_.png", "Common/pop_btn_yes.png", "Common/pop_indicator.png", "Common/pop_input.png",
    "Effect/combo_1.png", "Effect/combo_2.png", "Effect/combo_3.png", "Effect/stage_clear.png", "Effect/star.png",
    "Guide/guide_bomb.png", "Guide/guide_paint.png", "Guide/guide_reset.png",
    "Menu/Help/bg_help.png",
    "Menu/Info/bg_info.png", "Menu/Info/btn_nowbind.png", "Menu/Info/img_bind.png", "Menu/Info/img_bindbox.png",
    "Menu/Login/bg_login.png", "Menu/Login/btn_agree_n.png", "Menu/Login/btn_agree_s.png", "Menu/Login/btn_bind.png",
    "Menu/Login/btn_bind_.png", "Menu/Login/btn_pact.png", "Menu/Login/text_input.png",
    "Menu/Ranked/bg_ranked_box.png", "Menu/Ranked/bg_ranked_title.png", "Menu/Ranked/bg_self_ranked.png",
    "Menu/Ranked/btn_receive_reward.png", "Menu/Ranked/icon_head_1.png", "Menu/Ranked/icon_head_2.png",
    "Menu/Ranked/icon_head_3.png", "Menu/Ranked/icon_head_4.png", "Menu/Ranked/icon_head_5.png",
    "Menu/Ranked/icon_ranked_1.png", "Menu/Ranked/icon_ranked_2.png", "Menu/Ranked/icon_ranked_3.png",
    "Menu/Ranked/img_info_tips.png", "Menu/Ranked/ranked_cell_self.png", "Menu/Ranked/ranked_cell_user.png",
    "Menu/Sale/bg_sale_1.png", "Menu/Sale/bg_sale_2.png", "Menu/Sale/bg_sale_3.png", "Menu/Sale/bg_sale_4.png",
    "Menu/Sale/btn_buy.png", "Menu/Sale/icon_handsel.png", "Menu/Sale/title_sale.png",
    "Menu/Share/bg_share.png", "Menu/Share/btn_receive.png", "Menu/Share/btn_receive_.png",
    "Menu/Share/btn_share_pgfriend.png", "Menu/Share/btn_share_pgfriend_.png", "Menu/Share/btn_share_pgtimeline.png",
    "Menu/Share/btn_share_pgtimeline_.png",
    "Menu/Shop/bg_shop.png", "Menu/Shop/btn_buy.png",
    "Menu/Web/bg_nav.png", "Menu/Web/btn_back.png",
    "Menu/bg_menuscene.png", "Menu/bg_menutitle.png", "Menu/bg_number.png", "Menu/btn_activity.png",
    "Menu/btn_help.png", "Menu/btn_info.png", "Menu/btn_ranked.png", "Menu/btn_sale.png", "Menu/btn_share.png",
    "Menu/btn_shop.png", "Menu/btn_start.png", "Menu/btn_voice_off.png", "Menu/btn_voice_on.png",
    "Scene/bg_game_over.png", "Scene/bg_game_pause.png", "Scene/bg_mainscene.png", "Scene/bg_topmenu.png",
    "Scene/btn_music_off.png", "Scene/btn_music_on.png", "Scene/btn_over_keep.png", "Scene/btn_pause.png",
    "Scene/btn_pause_back.png", "Scene/btn_pause_reset.png", "Scene/btn_shop.png", "Scene/btn_sound_off.png",
    "Scene/btn_sound_on.png", "Scene/pop_btn_ok.png", "Scene/prop_bomb.png", "Scene/prop_bomb_sel.png",
    "Scene/prop_count.png", "Scene/prop_paint.png", "Scene/prop_paint_arrow.png", "Scene/prop_paint_back.png",
    "Scene/prop_paint_box.png", "Scene/prop_paint_sel.png", "Scene/prop_reset.png", "Scene/prop_reset_forbit.png",
]

# Sizes in pixels (= design points): exact names first, then by the name's start.
EXACT_SIZES = {
    "Icon.png": (114, 114),
    "Common/bg_gray_shadow.png": (480, 852),
    "Common/btn_close.png": (48, 48),
    "Common/bg_dialog_1.png": (460, 620),
    "Common/pop_indicator.png": (64, 64),
    # The popup box holds a title, a message of up to three lines and a row of buttons; the phone
    # input's field sits between the message and the OK button.
    "Common/pop_alert.png": (400, 290),
    "Common/pop_input.png": (300, 56),
    "Effect/star.png": (16, 16),
    "Effect/stage_clear.png": (320, 120),
    "Menu/bg_menuscene.png": (480, 852),
    "Menu/bg_menutitle.png": (400, 160),
    "Menu/bg_number.png": (120, 40),
    # The menu's middle row holds three buttons side by side, 35 points apart, within 480.
    "Menu/btn_help.png": (120, 56),
    "Menu/btn_info.png": (120, 56),
    "Menu/btn_voice_on.png": (120, 56),
    "Menu/btn_voice_off.png": (120, 56),
    # The menu's bottom row holds four buttons side by side, 35 points apart, within 480.
    "Menu/btn_shop.png": (90, 56),
    "Menu/btn_share.png": (90, 56),
    "Menu/btn_ranked.png": (90, 56),
    "Menu/btn_activity.png": (90, 56),
    "Menu/Web/bg_nav.png": (480, 64),
    "Menu/Shop/bg_shop.png": (440, 650),
    "Menu/Shop/btn_buy.png": (120, 56),
    "Menu/Sale/title_sale.png": (240, 70),
    "Menu/Sale/bg_sale_1.png": (360, 260),
    "Menu/Sale/bg_sale_2.png": (360, 260),
    "Menu/Sale/bg_sale_3.png": (360, 260),
    "Menu/Sale/bg_sale_4.png": (360, 260),
    "Scene/bg_mainscene.png": (480, 852),
    "Scene/bg_topmenu.png": (480, 250),
    "Scene/btn_pause.png": (60, 60),
    "Scene/btn_shop.png": (110, 44),
    "Scene/prop_count.png": (28, 28),
    "Scene/prop_paint_arrow.png": (30, 20),
    "Scene/prop_paint_back.png": (40, 40),
    "Scene/prop_paint_box.png": (320, 80),
}
# Panels the game writes its own text on: no name across their middle.
TEXT_BACKGROUNDS = {"Common/pop_alert.png"}
PREFIX_SIZES = [
    ("Effect/combo_", (300, 100)),
    ("Scene/prop_", (76, 76)),
    ("Menu/Ranked/ranked_cell", (440, 70)),
    ("Menu/Ranked/icon_", (56, 56)),
    ("Menu/Login/btn_agree", (32, 32)),
    ("Common/pop_btn", (120, 48)),
    ("Common/pop_", (360, 220)),
    ("Guide/", (320, 200)),
    ("bg_", (400, 300)),
    ("btn_", (150, 56)),
    ("icon_", (64, 64)),
    ("img_", (240, 120)),
    ("title_", (300, 80)),
    ("text_", (300, 50)),
]


def size_of(name):
    if name in EXACT_SIZES:
        return EXACT_SIZES[name]
    base = os.path.basename(name)
    for prefix, size in PREFIX_SIZES:
        if name.startswith(prefix) or base.startswith(prefix):
            return size
    return (120, 60)


def colour_of(name):
    digest = hashlib.md5(name.rstrip("_.png").encode()).digest()
    return (60 + digest[0] % 150, 60 + digest[1] % 150, 60 + digest[2] % 150)


def latin_font(size):
    return ImageFont.truetype(LATIN_FONT, size)


def draw_panel(name):
    width, height = size_of(name)
    image = Image.new("RGBA", (width, height), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    fill = colour_of(name)
    if os.path.basename(name).rstrip(".png").endswith("_"):  # the pressed state of a button
        fill = tuple(c * 3 // 4 for c in fill)
    radius = max(2, min(width, height) // 6)
    draw.rounded_rectangle([0, 0, width - 1, height - 1], radius, fill=fill + (255,),
                           outline=(255, 255, 255, 255), width=2)
    if name in TEXT_BACKGROUNDS:
        return image
    label = os.path.basename(name)[:-4]
    font = latin_font(max(8, min(height // 3, 18)))
    box = draw.textbbox((0, 0), label, font=font)
    if box[2] - box[0] < width - 4:
        draw.text(((width - (box[2] - box[0])) / 2, (height - (box[3] - box[1])) / 2 - box[1]), label,
                  font=font, fill=(255, 255, 255, 255))
    return image


def draw_star(rgb):
    image = Image.new("RGBA", (48, 48), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    dark = tuple(c * 3 // 5 for c in rgb)
    draw.rounded_rectangle([1, 1, 46, 46], 8, fill=rgb + (255,), outline=dark + (255,), width=3)
    light = tuple(min(255, c + (255 - c) // 2) for c in rgb)
    draw.ellipse([7, 7, 15, 15], fill=light + (255,))  # a highlight kept clear of the centre
    return image


def cjk_font(size):
    return ImageFont.truetype(CJK_FONT, size)


def price_text(tier):
    return "¥%.2f" % PACKS[tier][0]


def draw_centred(draw, centre, text, font, fill):
    box = draw.textbbox((0, 0), text, font=font)
    draw.text((centre[0] - (box[2] - box[0]) / 2 - box[0], centre[1] - (box[3] - box[1]) / 2 - box[1]), text,
              font=font, fill=fill + (255,))


def draw_diamond(draw, centre, radius):
    x, y = centre
    draw.polygon([(x, y - radius), (x + radius, y), (x, y + radius), (x - radius, y)], fill=(90, 200, 255, 255),
                 outline=(255, 255, 255, 255))


def draw_shop():
    """The shop's packs, one row per buy button (button centres at y = 508, 386, 264, 142 from the bottom)."""
    width, height = size_of("Menu/Shop/bg_shop.png")
    image = Image.new("RGBA", (width, height), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    draw.rounded_rectangle([0, 0, width - 1, height - 1], 24, fill=(70, 40, 110, 255), outline=(255, 255, 255, 255),
                           width=3)
    draw_centred(draw, (width / 2 - 70, 50), "我的钻石", cjk_font(24), SHOP_TEXT)
    for row, (tier, (_, diamonds, _)) in enumerate(sorted(PACKS.items())):
        y = height - (508 - 122 * row)
        draw.rounded_rectangle([16, y - 50, width - 17, y + 50], 14, fill=(100, 64, 150, 255))
        draw_diamond(draw, (52, y), 22)
        draw_centred(draw, (160, y - 16), "%d 钻石" % diamonds, cjk_font(28), SHOP_TEXT)
        draw_centred(draw, (160, y + 22), price_text(tier), latin_font(22), PRICE_TEXT)
    return image


def draw_sale_offer(name):
    """One pack of the sale ladder: "Menu/Sale/bg_sale_N.png" offers the N-th tier."""
    rung = int(name[-5]) - 1
    tier = sorted(PACKS)[rung]
    width, height = size_of(name)
    image = Image.new("RGBA", (width, height), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    draw.rounded_rectangle([0, 0, width - 1, height - 1], 20, fill=SALE_FILLS[rung] + (255,), outline=(255, 220, 120, 255),
                           width=3)
    draw_diamond(draw, (width / 2, 62), 36)
    draw_centred(draw, (width / 2, 140), "%d 钻石" % PACKS[tier][2], cjk_font(40), SHOP_TEXT)
    # Right of centre, clear of the gift mark the screen sets on the offer's lower left.
    draw_centred(draw, (width / 2 + 40, 200), "仅需 " + price_text(tier), cjk_font(28), PRICE_TEXT)
    return image


def draw_captioned(name, caption, font_size, fill, round_shape=False):
    width, height = size_of(name)
    image = Image.new("RGBA", (width, height), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    if round_shape:
        draw.ellipse([0, 0, width - 1, height - 1], fill=fill + (255,), outline=(255, 255, 255, 255), width=2)
    else:
        draw.rounded_rectangle([0, 0, width - 1, height - 1], min(width, height) // 4, fill=fill + (255,),
                               outline=(255, 255, 255, 255), width=2)
    draw_centred(draw, (width / 2, height / 2), caption, cjk_font(font_size), (255, 255, 255))
    return image


def draw_special(name):
    if name == "Menu/Shop/bg_shop.png":
        return draw_shop()
    if name.startswith("Menu/Sale/bg_sale_"):
        return draw_sale_offer(name)
    if name in ("Menu/Shop/btn_buy.png", "Menu/Sale/btn_buy.png"):
        return draw_captioned(name, "购买", 26, (40, 170, 70))
    if name == "Menu/Sale/title_sale.png":
        return draw_captioned(name, "超值礼包", 36, (220, 120, 30))
    if name == "Menu/Sale/icon_handsel.png":
        return draw_captioned(name, "赠", 32, (230, 50, 50), round_shape=True)
    if name == "Scene/bg_mainscene.png":
        return Image.new("RGBA", size_of(name), BOARD_BACKGROUND + (255,))
    if name == "Common/bg_gray_shadow.png":
        return Image.new("RGBA", size_of(name), (0, 0, 0, 150))
    if name == "Effect/star.png":
        image = Image.new("RGBA", (16, 16), (0, 0, 0, 0))
        ImageDraw.Draw(image).ellipse([1, 1, 14, 14], fill=(255, 255, 255, 255))
        return image
    return None


def save_png(image, path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    image.save(path, "PNG", optimize=False, compress_level=9)


def sheet_frame(name, x, y, width, height):
    return ("    <key>%s</key>\n    <dict>\n"
            "      <key>frame</key><string>{{%d,%d},{%d,%d}}</string>\n"
            "      <key>offset</key><string>{0,0}</string>\n"
            "      <key>rotated</key><false/>\n"
            "      <key>sourceSize</key><string>{%d,%d}</string>\n    </dict>\n"
            % (name, x, y, width, height, width, height))


def sheet_plist(entries, texture, width, height):
    return plist("<dict>\n  <key>frames</key>\n  <dict>\n" + "".join(entries) + "  </dict>\n"
                 "  <key>metadata</key>\n  <dict>\n    <key>format</key><integer>2</integer>\n"
                 "    <key>textureFileName</key><string>%s</string>\n"
                 "    <key>size</key><string>{%d,%d}</string>\n  </dict>\n</dict>\n" % (texture, width, height))


def write_stars(out):
    """Each piece on its own, and all five on one sheet (frames named as the files) so the board draws in one batch."""
    gap = 2  # keeps filtering from bleeding a neighbour's edge in
    sheet = Image.new("RGBA", (len(STAR_COLOURS) * (48 + gap), 48), (0, 0, 0, 0))
    entries = []
    for index, (colour, rgb) in enumerate(STAR_COLOURS.items()):
        star = draw_star(rgb)
        name = "Star/star_%s.png" % colour
        save_png(star, os.path.join(out, name))
        sheet.paste(star, (index * (48 + gap), 0))
        entries.append(sheet_frame(name, index * (48 + gap), 0, 48, 48))
    save_png(sheet, os.path.join(out, "Star", "stars.png"))
    with open(os.path.join(out, "Star", "stars.plist"), "w", encoding="utf-8") as f:
        f.write(sheet_plist(entries, "stars.png", sheet.width, sheet.height))


def write_images(out):
    write_stars(out)
    for name in IMAGES:
        save_png(draw_special(name) or draw_panel(name), os.path.join(out, name))


def plist(body):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" '
            '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n'
            '<plist version="1.0">\n' + body + '</plist>\n')


def write_word_table(out):
    entries = "".join("    <key>%s</key>\n    <string>%s</string>\n" % (escape(k), escape(v))
                      for k, v in sorted(WORDS.items()))
    path = os.path.join(out, "Xml", "ChineseWords.xml")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(plist("<array>\n  <dict>\n" + entries + "  </dict>\n</array>\n"))


def write_store_products(out):
    """The local store's products file: the four diamond packs with their titles and prices."""
    entries = "".join(
        "  <dict>\n    <key>productIdentifier</key><string>com.kwrlopa.tier%d</string>\n"
        "    <key>localizedTitle</key><string>钻石包 %d 档</string>\n"
        "    <key>localizedDescription</key><string>%d 颗钻石（礼包 %d 颗）</string>\n"
        "    <key>price</key><real>%.2f</real>\n"
        "    <key>priceLocale</key><string>zh_CN@currency=CNY</string>\n  </dict>\n"
        % (tier, tier, shop, sale, price) for tier, (price, shop, sale) in sorted(PACKS.items()))
    path = os.path.join(out, "Store", "Products.plist")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(plist("<array>\n" + entries + "</array>\n"))


def font_characters(with_chinese):
    characters = [chr(c) for c in range(32, 127)]
    if with_chinese:
        extra = "".join(WORDS.values()) + "".join(PROMPTS) + "：！"
        characters += sorted(set(extra) - set(characters))
    return characters


def render_glyphs(characters, size, fill, outline):
    font = ImageFont.truetype(CJK_FONT, size)
    ascent, descent = font.getmetrics()
    glyphs = []
    for ch in characters:
        left, top, right, bottom = font.getbbox(ch, stroke_width=2)
        advance = int(round(font.getlength(ch))) + 2
        width, height = max(1, right - left), max(1, bottom - top)
        image = Image.new("RGBA", (width, height), (0, 0, 0, 0))
        ImageDraw.Draw(image).text((-left, -top), ch, font=font, fill=fill + (255,), stroke_width=2,
                                   stroke_fill=outline + (255,))
        glyphs.append((ch, image, left, top, advance))
    return glyphs, ascent + descent + 4, ascent


def pack(glyphs, page_width=512):
    x = y = row_height = 0
    places = []
    for _, image, _, _, _ in glyphs:
        if x + image.width + 1 > page_width:
            x, y, row_height = 0, y + row_height + 1, 0
        places.append((x, y))
        x += image.width + 1
        row_height = max(row_height, image.height)
    height = 1
    while height < y + row_height + 1:
        height *= 2
    return places, height


def write_font(out, name, size, fill, outline, with_chinese):
    glyphs, line_height, base = render_glyphs(font_characters(with_chinese), size, fill, outline)
    places, page_height = pack(glyphs)
    page = Image.new("RGBA", (512, page_height), (0, 0, 0, 0))
    lines = ['info face="%s" size=%d bold=0 italic=0 charset="" unicode=1 stretchH=100 smooth=1 aa=1 '
             'padding=0,0,0,0 spacing=1,1' % (name, size),
             "common lineHeight=%d base=%d scaleW=512 scaleH=%d pages=1 packed=0" % (line_height, base, page_height),
             'page id=0 file="%s.png"' % name,
             "chars count=%d" % len(glyphs)]
    for (ch, image, left, top, advance), (x, y) in zip(glyphs, places):
        page.paste(image, (x, y))
        lines.append("char id=%d x=%d y=%d width=%d height=%d xoffset=%d yoffset=%d xadvance=%d page=0 chnl=15"
                     % (ord(ch), x, y, image.width, image.height, left, top, advance))
    save_png(page, os.path.join(out, "Font", name + ".png"))
    with open(os.path.join(out, "Font", name + ".fnt"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def pvr3_rgba(image):
    """An uncompressed RGBA8888 PVR version 3 texture."""
    channels = struct.unpack("<Q", b"rgba" + bytes([8, 8, 8, 8]))[0]
    header = struct.pack("<IIQIIIIIIIII", 0x03525650, 0, channels, 0, 0, image.height, image.width, 1, 1, 1, 1, 0)
    return header + image.tobytes()


def ktz(payload):
    """The engine's zlib container: "KTZ!", compression 0, version 2, reserved, length, then the stream."""
    return b"KTZ!" + struct.pack(">HHII", 0, 2, 0, len(payload)) + zlib.compress(payload, 9)


def write_finger_sheet(out):
    frames, size = 4, 64
    sheet = Image.new("RGBA", (size * frames, size), (0, 0, 0, 0))
    draw = ImageDraw.Draw(sheet)
    entries = []
    for index in range(frames):
        x0 = index * size
        dip = index * 4  # the finger presses down frame by frame
        draw.rounded_rectangle([x0 + 24, 8 + dip, x0 + 40, 50 + dip // 2], 7, fill=(255, 224, 189, 255),
                               outline=(120, 80, 50, 255), width=2)
        entries.append(sheet_frame("finger_anim%d.png" % index, x0, 0, size, size))
    folder = os.path.join(out, "Guide")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "finger_anim.plist"), "w", encoding="utf-8") as f:
        f.write(sheet_plist(entries, "finger_anim.pvr.ktz", size * frames, size))
    with open(os.path.join(folder, "finger_anim.pvr.ktz"), "wb") as f:
        f.write(ktz(pvr3_rgba(sheet)))


# Sounds: (seconds, notes in hertz played one after the other). Short tones, told apart by ear and by size.
SOUNDS = {
    "Music/bgm.mp3": (4.0, [262, 330, 392, 330, 294, 349, 440, 349]),
    "Music/readygo.mp3": (0.6, [392, 523]),
    "Music/pop.mp3": (0.08, [880]),
    "Music/combo_1.mp3": (0.3, [523, 659]),
    "Music/combo_2.mp3": (0.4, [523, 659, 784]),
    "Music/combo_3.mp3": (0.5, [523, 659, 784, 1047]),
    "Music/propselect.mp3": (0.15, [660]),
    "Music/propbomb.mp3": (0.3, [110, 82]),
    "Music/proppaint.mp3": (0.3, [784, 988]),
    "Music/proprainbow.mp3": (0.5, [523, 587, 659, 698, 784]),
    "Music/nextgame.mp3": (0.8, [523, 659, 784, 1047]),
}
SOUND_RATE = 22050
SF_FORMAT_MP3 = 0x230000 | 0x0082  # MPEG layer III through libsndfile's LAME encoder
SFM_WRITE = 0x20


class SfInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int), ("channels", ctypes.c_int),
                ("format", ctypes.c_int), ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


def tone_samples(seconds, notes):
    total = int(seconds * SOUND_RATE)
    per_note = total // len(notes)
    samples = []
    for i in range(total):
        note = notes[min(i // per_note, len(notes) - 1)]
        into = (i % per_note) / per_note
        envelope = min(1.0, into * 20) * (1.0 - into) ** 0.5  # soft attack, fading tail
        samples.append(int(12000 * envelope * math.sin(2 * math.pi * note * i / SOUND_RATE)))
    return samples


def write_sounds(out):
    sndfile = ctypes.CDLL("libsndfile.so.1")
    sndfile.sf_open.restype = ctypes.c_void_p
    sndfile.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(SfInfo)]
    sndfile.sf_writef_short.restype = ctypes.c_int64
    sndfile.sf_writef_short.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_short), ctypes.c_int64]
    sndfile.sf_close.argtypes = [ctypes.c_void_p]
    for name, (seconds, notes) in SOUNDS.items():
        path = os.path.join(out, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        info = SfInfo(0, SOUND_RATE, 1, SF_FORMAT_MP3, 0, 0)
        handle = sndfile.sf_open(path.encode(), SFM_WRITE, ctypes.byref(info))
        if not handle:
            sys.exit("make_assets: libsndfile cannot write MP3 to %s" % path)
        samples = tone_samples(seconds, notes)
        frames = (ctypes.c_short * len(samples))(*samples)
        written = sndfile.sf_writef_short(handle, frames, len(samples))
        sndfile.sf_close(handle)
        if written != len(samples):
            sys.exit("make_assets: short write to %s" % path)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(root, "Resources"))
    args = parser.parse_args()
    for path in (CJK_FONT, LATIN_FONT):
        if not os.path.exists(path):
            sys.exit("make_assets: %s is missing (scripts/setup installs it)" % path)
    write_images(args.out)
    write_word_table(args.out)
    write_store_products(args.out)
    for name, (size, fill, outline, with_chinese) in FONTS.items():
        write_font(args.out, name, size, fill, outline, with_chinese)
    write_finger_sheet(args.out)
    write_sounds(args.out)


if __name__ == "__main__":
    main()
