"""The bitmap fonts of the play screen's numbers and words (".fnt" text descriptions with one page each).

Digits and Latin letters come from DejaVu Sans Bold, Chinese from WenQuanYi Micro Hei, all with an outline.
The line box is tight around the glyphs, so a label's content size is the text it shows."""
import os

from PIL import Image, ImageDraw

from art import style

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

# name: (pixel size, fill top, fill bottom, outline, with the Chinese captions)
FONTS = {
    "NumberA": (20, (255, 255, 255), (214, 226, 255), (36, 30, 90), False),  # level, diamonds
    "NumberB": (20, (255, 244, 150), (255, 196, 40), (90, 44, 0), False),  # target, best score
    "NumberC": (34, (255, 255, 255), (230, 214, 255), (96, 36, 140), False),  # score
    "NumberD": (40, (255, 250, 226), (255, 214, 120), (110, 30, 40), True),  # level and target banners
    "NumberE": (26, (255, 226, 120), (255, 140, 30), (90, 24, 0), True),  # combo
    "NumberF": (24, (226, 244, 255), (150, 210, 255), (20, 40, 100), True),  # prop prompts
}
STROKE = 2


def characters(with_chinese):
    chars = [chr(c) for c in range(32, 127)]
    if with_chinese:
        extra = "".join(WORDS.values()) + "".join(PROMPTS) + "：！"
        chars += sorted(set(extra) - set(chars))
    return chars


def render_glyph(ch, size, top, bottom, outline):
    face = style.font(style.CJK_FONT if style.has_cjk(ch) else style.LATIN_FONT, size)
    left, upper, right, lower = face.getbbox(ch, stroke_width=STROKE, anchor="ls")
    width, height = max(1, right - left), max(1, lower - upper)
    image = Image.new("RGBA", (width, height), (0, 0, 0, 0))
    if ch.strip():
        draw = ImageDraw.Draw(image)
        draw.text((-left, -upper), ch, font=face, fill=style.rgba(outline), stroke_width=STROKE,
                  stroke_fill=style.rgba(outline), anchor="ls")
        fill = Image.new("L", (width, height), 0)
        ImageDraw.Draw(fill).text((-left, -upper), ch, font=face, fill=255, anchor="ls")
        gradient = Image.new("RGBA", (1, height))
        for y in range(height):
            gradient.putpixel((0, y), style.rgba(style.mix(top, bottom, y / max(1, height - 1))))
        image.paste(gradient.resize((width, height)), (0, 0), fill)
    advance = int(round(face.getlength(ch))) + STROKE
    return image, left, upper, advance  # upper: the glyph's top above the baseline (negative)


def pack(images, page_width=512):
    x = y = row = 0
    places = []
    for image in images:
        if x + image.width + 1 > page_width:
            x, y, row = 0, y + row + 1, 0
        places.append((x, y))
        x += image.width + 1
        row = max(row, image.height)
    height = 1
    while height < y + row + 1:
        height *= 2
    return places, height


def write_font(out, name):
    size, top, bottom, outline, with_chinese = FONTS[name]
    glyphs = [(ch,) + render_glyph(ch, size, top, bottom, outline) for ch in characters(with_chinese)]
    # The line box runs from the highest glyph top to the lowest glyph bottom of what the font shows.
    shown = [g for g in glyphs if g[0].strip() and (g[0].isdigit() or style.has_cjk(g[0]) or g[0] in "+-:")]
    line_top = min(g[3] for g in shown)
    line_bottom = max(g[3] + g[1].height for g in shown)
    line_height = line_bottom - line_top
    base = -line_top
    places, page_height = pack([g[1] for g in glyphs])
    page = Image.new("RGBA", (512, page_height), (0, 0, 0, 0))
    lines = ['info face="%s" size=%d bold=1 italic=0 charset="" unicode=1 stretchH=100 smooth=1 aa=1 '
             'padding=0,0,0,0 spacing=1,1' % (name, size),
             "common lineHeight=%d base=%d scaleW=512 scaleH=%d pages=1 packed=0" % (line_height, base, page_height),
             'page id=0 file="%s.png"' % name,
             "chars count=%d" % len(glyphs)]
    for (ch, image, left, upper, advance), (x, y) in zip(glyphs, places):
        page.paste(image, (x, y))
        lines.append("char id=%d x=%d y=%d width=%d height=%d xoffset=%d yoffset=%d xadvance=%d page=0 chnl=15"
                     % (ord(ch), x, y, image.width, image.height, left, upper - line_top, advance))
    os.makedirs(os.path.join(out, "Font"), exist_ok=True)
    page.save(os.path.join(out, "Font", name + ".png"), "PNG", optimize=False, compress_level=9)
    with open(os.path.join(out, "Font", name + ".fnt"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def write_fonts(out):
    for name in FONTS:
        write_font(out, name)
