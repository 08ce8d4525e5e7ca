"""The look every picture shares: palette, fonts, icons, and the drawing helpers built on them.

Shapes are drawn four times larger and scaled down, so their edges are smooth; every picture is made on a
`Canvas` of its final size in design points, with coordinates from the top left as Pillow counts them.
"""
import math
import random

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
LATIN_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
ICON_FONT = "/usr/share/fonts/truetype/font-awesome/fontawesome-webfont.ttf"
FONT_FILES = (CJK_FONT, LATIN_FONT, ICON_FONT)

SUPERSAMPLE = 4

# The night sky.
NAVY = (16, 20, 43)
INDIGO = (43, 32, 99)
# Panels and dialogs.
PANEL_TOP = (75, 58, 143)
PANEL_BOTTOM = (45, 34, 96)
PANEL_BORDER = (201, 184, 255)
# Light cards inside panels, where the game writes dark text.
CARD_TOP = (250, 247, 255)
CARD_BOTTOM = (226, 218, 252)
CARD_BORDER = (160, 140, 230)
CREAM = (255, 248, 225)
GOLD = (255, 204, 64)
WHITE = (255, 255, 255)
INK = (40, 28, 84)  # outlines of text on coloured ground
# Buttons by role.
GREEN = (52, 199, 111)
BLUE = (61, 139, 253)
RED = (229, 72, 77)
VIOLET = (124, 92, 230)
ORANGE = (255, 150, 40)
GREY = (150, 150, 165)

# The five piece colours, in the board's colour order (0 green, 1 red, 2 yellow, 3 purple, 4 blue).
PIECES = {
    "green": (132, 226, 111),
    "red": (253, 80, 126),
    "yellow": (253, 234, 84),
    "purple": (189, 78, 253),
    "blue": (84, 203, 254),
}
PIECE_ORDER = ["green", "red", "yellow", "purple", "blue"]

# Font Awesome 4.7 glyphs.
ICONS = {
    "bomb": "\uf1e2", "brush": "\uf1fc", "random": "\uf074", "diamond": "\uf219", "cart": "\uf07a",
    "pause": "\uf04c", "play": "\uf04b", "question": "\uf128", "info": "\uf129", "user": "\uf007",
    "volume-up": "\uf028", "volume-off": "\uf026", "music": "\uf001", "share": "\uf1e0", "trophy": "\uf091",
    "gift": "\uf06b", "times": "\uf00d", "check": "\uf00c", "mobile": "\uf10b", "lock": "\uf023", "star": "\uf005",
    "undo": "\uf0e2", "home": "\uf015", "refresh": "\uf021", "comments": "\uf086", "users": "\uf0c0",
    "chevron-left": "\uf053", "chevron-up": "\uf077", "hand": "\uf0a6", "file": "\uf15c", "bullseye": "\uf140", "flag": "\uf024",
    "clock": "\uf017", "ban": "\uf05e", "spinner": "\uf110", "envelope": "\uf0e0", "heart": "\uf004",
    "plus": "\uf067", "calendar": "\uf073", "arrow-down": "\uf063", "bolt": "\uf0e7",
}

_fonts = {}


def font(path, size):
    key = (path, size)
    if key not in _fonts:
        _fonts[key] = ImageFont.truetype(path, size)
    return _fonts[key]


def has_cjk(text):
    return any(ord(c) > 0x2e80 for c in text)


def text_font(text, size):
    """WenQuanYi Micro Hei for Chinese, DejaVu Sans Bold for Latin and digits."""
    return font(CJK_FONT if has_cjk(text) else LATIN_FONT, size)


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def lighter(rgb, t=0.35):
    return mix(rgb, WHITE, t)


def darker(rgb, t=0.3):
    return mix(rgb, (0, 0, 0), t)


def desaturate(rgb, keep=0.25):
    grey = int(0.3 * rgb[0] + 0.59 * rgb[1] + 0.11 * rgb[2])
    return mix((grey, grey, grey), rgb, keep)


def rgba(colour, alpha=None):
    """A colour with alpha: the given alpha, else the colour's own, else opaque."""
    if alpha is None:
        alpha = colour[3] if len(colour) > 3 else 255
    return tuple(colour[:3]) + (alpha,)


class Gradient:
    """A vertical gradient from one colour (rgb or rgba) to another over a box of the canvas (pixels)."""

    def __init__(self, top, bottom, box):
        self.top, self.bottom = rgba(top) if len(top) == 3 else top, rgba(bottom) if len(bottom) == 3 else bottom
        self.y0, self.y1 = box[1], max(box[1] + 1, box[3])

    def render(self, region):
        x0, y0, x1, y1 = region
        column = Image.new("RGBA", (1, y1 - y0))
        span = self.y1 - self.y0
        for y in range(y0, y1):
            t = min(1.0, max(0.0, (y - self.y0) / span))
            column.putpixel((0, y - y0), tuple(int(round(a + (b - a) * t)) for a, b in zip(self.top, self.bottom)))
        return column.resize((x1 - x0, y1 - y0))


class Canvas:
    """A transparent picture of w x h design points, drawn at SUPERSAMPLE times its size.

    Masks are full-size greyscale pictures; painting works only on the region a mask covers."""

    def __init__(self, width, height, background=None):
        self.width, self.height = width, height
        self.s = SUPERSAMPLE
        self.image = Image.new("RGBA", (width * self.s, height * self.s), rgba(background) if background else (0, 0, 0, 0))

    # ---- coordinates
    def px(self, value):
        return int(round(value * self.s))

    def box(self, box):
        return [self.px(v) for v in box]

    def region(self, mask, margin=0):
        """The pixels a mask covers, grown by a margin (points) and kept on the canvas; None when empty."""
        box = mask.getbbox()
        if not box:
            return None
        m = self.px(margin)
        return (max(0, box[0] - m), max(0, box[1] - m), min(self.image.width, box[2] + m),
                min(self.image.height, box[3] + m))

    # ---- masks
    def mask(self):
        return Image.new("L", self.image.size, 0)

    def rect_mask(self, box):
        m = self.mask()
        ImageDraw.Draw(m).rectangle(self.box(box), fill=255)
        return m

    def rounded_mask(self, box, radius):
        m = self.mask()
        x0, y0, x1, y1 = self.box(box)
        radius = min(self.px(radius), (x1 - x0) // 2, (y1 - y0) // 2)
        ImageDraw.Draw(m).rounded_rectangle((x0, y0, x1, y1), radius, fill=255)
        return m

    def ellipse_mask(self, box):
        m = self.mask()
        ImageDraw.Draw(m).ellipse(self.box(box), fill=255)
        return m

    def polygon_mask(self, points):
        m = self.mask()
        ImageDraw.Draw(m).polygon([(self.px(x), self.px(y)) for x, y in points], fill=255)
        return m

    def filtered(self, mask, margin, operation):
        """A mask changed by a filter that reaches `margin` points, worked out on the mask's region only."""
        region = self.region(mask, margin)
        out = self.mask()
        if region:
            out.paste(operation(mask.crop(region)), region[:2])
        return out

    def eroded(self, m, width):
        """The part of a region's mask at least `width` points inside its edge (a box blur that stays full)."""
        radius = max(1, self.px(width))
        return m.filter(ImageFilter.BoxBlur(radius)).point(lambda v: 255 if v >= 253 else 0)

    def shrink(self, mask, width):
        return self.filtered(mask, 1, lambda m: self.eroded(m, width))

    # ---- painting
    def vertical_gradient(self, top, bottom, box=None):
        return Gradient(top, bottom, self.box(box or (0, 0, self.width, self.height)))

    def paint(self, mask, paint, region=None):
        """Lays a colour (rgb or rgba), a gradient or a picture of the canvas's size through a mask."""
        region = region or self.region(mask)
        if not region:
            return
        cut = mask.crop(region)
        size = (region[2] - region[0], region[3] - region[1])
        if isinstance(paint, Gradient):
            layer = paint.render(region)
            layer.putalpha(ImageChops.multiply(layer.getchannel("A"), cut))
        elif isinstance(paint, Image.Image):
            layer = paint.crop(region)
            layer.putalpha(ImageChops.multiply(layer.getchannel("A"), cut))
        else:
            colour = rgba(paint) if len(paint) == 3 else paint
            layer = Image.new("RGBA", size, colour[:3] + (0,))
            layer.putalpha(cut if colour[3] == 255 else cut.point(lambda v, a=colour[3]: v * a // 255))
        self.image.alpha_composite(layer, region[:2])

    def shadow(self, mask, offset=(0, 4), blur=6, alpha=110, colour=(0, 0, 0)):
        dx, dy = self.px(offset[0]), self.px(offset[1])
        radius = self.px(blur) / 2

        def soften(m):
            moved = Image.new("L", m.size, 0)
            moved.paste(m, (dx, dy))
            return moved.filter(ImageFilter.GaussianBlur(radius)).point(lambda v: v * alpha // 255)
        margin = blur * 2 + max(abs(offset[0]), abs(offset[1]))
        self.paint(self.filtered(mask, margin, soften), colour)

    def glow(self, mask, radius, colour, alpha=180):
        blur = self.px(radius) / 2
        soft = self.filtered(mask, radius * 2, lambda m: m.filter(ImageFilter.GaussianBlur(blur)).point(
            lambda v: min(255, v * alpha * 2 // 255)))
        self.paint(soft, colour)

    def outline(self, mask, width, colour):
        """A band of the given width around the mask's edge, inside it."""
        band = self.filtered(mask, 1, lambda m: ImageChops.subtract(m, self.eroded(m, width / 2)))
        self.paint(band, colour)

    # ---- text and icons
    def text_mask(self, xy, text, size, face=None, anchor="mm", stroke=0, spacing=4):
        f = font(face, self.px(size)) if face else text_font(text, self.px(size))
        m = self.mask()
        ImageDraw.Draw(m).multiline_text((self.px(xy[0]), self.px(xy[1])), text, font=f, fill=255, anchor=anchor,
                                         stroke_width=self.px(stroke), stroke_fill=255, spacing=self.px(spacing),
                                         align="center")
        return m

    def text(self, xy, text, size, fill=WHITE, stroke=0, stroke_fill=INK, anchor="mm", face=None, spacing=4):
        """Text at a point (the anchor as Pillow names it), with an outline of `stroke` points."""
        if stroke:
            self.paint(self.text_mask(xy, text, size, face, anchor, stroke, spacing), stroke_fill)
        self.paint(self.text_mask(xy, text, size, face, anchor, 0, spacing), fill)

    def text_width(self, text, size, face=None, stroke=0):
        f = font(face, self.px(size)) if face else text_font(text, self.px(size))
        left, _, right, _ = f.getbbox(text, stroke_width=self.px(stroke))
        return (right - left) / self.s

    def gradient_text(self, xy, text, size, top, bottom, stroke=3, stroke_fill=INK, face=None, anchor="mm",
                      shadow=True):
        """Text filled with a vertical gradient, outlined, with a drop shadow."""
        outer = self.text_mask(xy, text, size, face, anchor, stroke)
        inner = self.text_mask(xy, text, size, face, anchor)
        if shadow:
            self.shadow(outer, (0, 3), 3, 120)
        self.paint(outer, stroke_fill)
        box = inner.getbbox() or (0, 0, 1, 1)
        self.paint(inner, Gradient(top, bottom, box))

    def icon(self, centre, name, size, fill=WHITE, stroke=0, stroke_fill=INK, shadow=False):
        glyph = ICONS[name]
        if shadow or stroke:
            outer = self.text_mask(centre, glyph, size, ICON_FONT, "mm", stroke)
            if shadow:
                self.shadow(outer, (0, 2), 2, 110)
            if stroke:
                self.paint(outer, stroke_fill)
        self.paint(self.text_mask(centre, glyph, size, ICON_FONT, "mm"), fill)

    # ---- result
    def finish(self):
        return self.image.resize((self.width, self.height), Image.BOX)


def star_points(cx, cy, outer, inner, points=5, rotation=-90):
    result = []
    for k in range(points * 2):
        r = outer if k % 2 == 0 else inner
        a = math.radians(rotation + k * 180 / points)
        result.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return result


def sky(canvas, seed, stars=40, box=None, calm_below=None):
    """The night sky: navy to indigo, with a sparse seeded field of small stars (some glowing).

    Stars stay above `calm_below` (a y from the top), so the board area keeps calm."""
    box = box or (0, 0, canvas.width, canvas.height)
    full = canvas.mask()
    ImageDraw.Draw(full).rectangle(canvas.box(box), fill=255)
    canvas.paint(full, canvas.vertical_gradient(NAVY, INDIGO, box))
    rng = random.Random(seed)
    limit = calm_below if calm_below is not None else box[3]
    for _ in range(stars):
        x = rng.uniform(box[0] + 4, box[2] - 4)
        y = rng.uniform(box[1] + 4, max(box[1] + 5, limit - 4))
        r = rng.choice([0.5, 0.5, 0.8, 1.0, 1.5])
        glowing = rng.random() < 0.25
        m = canvas.ellipse_mask((x - r, y - r, x + r, y + r))
        if glowing:
            canvas.glow(m, 4, (200, 210, 255), 160)
        canvas.paint(m, rgba(WHITE, rng.randint(150, 255)))


def panel(canvas, box, radius=24, top=PANEL_TOP, bottom=PANEL_BOTTOM, border=PANEL_BORDER, border_width=3,
          shadow=True):
    """A rounded panel: gradient, light border, soft drop shadow."""
    m = canvas.rounded_mask(box, radius)
    if shadow:
        canvas.shadow(m, (0, 5), 8, 130)
    canvas.paint(m, canvas.vertical_gradient(top, bottom, box))
    # A gloss along the top edge.
    x0, y0, x1, y1 = box
    gloss = ImageChops.multiply(canvas.shrink(m, border_width + 2),
                                canvas.rect_mask((x0, y0, x1, y0 + min(40, (y1 - y0) / 3))))
    canvas.paint(gloss, canvas.vertical_gradient(rgba(WHITE, 50), rgba(WHITE, 0), (x0, y0, x1, y0 + 40)))
    if border_width:
        canvas.outline(m, border_width, border)
    return m


def card(canvas, box, radius=16, top=CARD_TOP, bottom=CARD_BOTTOM, border=CARD_BORDER, border_width=2):
    """A light inset card inside a panel, for the game's dark text."""
    m = canvas.rounded_mask(box, radius)
    inset = canvas.rounded_mask((box[0], box[1] + 2, box[2], box[3]), radius)
    canvas.paint(inset, rgba((20, 10, 50), 90))
    canvas.paint(inset, canvas.vertical_gradient(top, bottom, box))
    if border_width:
        canvas.outline(m, border_width, border)
    return m


def ribbon(canvas, centre, width, height, text, colour=(255, 120, 80), text_size=None, icon=None):
    """A header ribbon naming a dialog: a banner with folded tails and the name in outlined cream."""
    cx, cy = centre
    x0, x1 = cx - width / 2, cx + width / 2
    y0, y1 = cy - height / 2, cy + height / 2
    tail = height * 0.45
    dark = darker(colour, 0.35)
    for side in (-1, 1):
        edge = x0 if side < 0 else x1
        tail_points = [(edge - side * tail * 0.2, y0 + height * 0.25), (edge + side * tail, y0 + height * 0.25),
                       (edge + side * tail * 0.55, y1 - height * 0.25 + height * 0.1),
                       (edge + side * tail, y1 + height * 0.12), (edge - side * tail * 0.2, y1 + height * 0.12)]
        canvas.paint(canvas.polygon_mask(tail_points), dark)
    m = canvas.rounded_mask((x0, y0, x1, y1), height * 0.3)
    canvas.shadow(m, (0, 3), 4, 120)
    canvas.paint(m, canvas.vertical_gradient(lighter(colour, 0.25), darker(colour, 0.1), (x0, y0, x1, y1)))
    canvas.outline(m, 2, lighter(colour, 0.6))
    size = text_size or height * 0.56
    if icon:
        tw = canvas.text_width(text, size)
        gap = size * 0.35
        total = tw + size + gap
        canvas.icon((cx - total / 2 + size / 2, cy), icon, size * 0.95, fill=CREAM, stroke=2, stroke_fill=darker(
            colour, 0.55))
        canvas.text((cx - total / 2 + size + gap + tw / 2, cy), text, size, fill=CREAM, stroke=2.5,
                    stroke_fill=darker(colour, 0.55))
    else:
        canvas.text((cx, cy), text, size, fill=CREAM, stroke=2.5, stroke_fill=darker(colour, 0.55))


def pill(canvas, box, colour, pressed=False, radius=None, disabled=False):
    """A button's body: vertical gradient, a lighter top edge and a darker bottom edge.

    Pressed: darker and 2 points lower. Disabled: desaturated."""
    if disabled:
        colour = desaturate(colour)
    x0, y0, x1, y1 = box
    radius = radius if radius is not None else (y1 - y0) / 2
    if pressed:
        colour = darker(colour, 0.18)
        y0 += 2
    else:
        y1 -= 2
    base = canvas.rounded_mask((x0, y0 + 2, x1, y1 + 2), radius)
    canvas.paint(base, darker(colour, 0.45))
    m = canvas.rounded_mask((x0, y0, x1, y1), radius)
    canvas.paint(m, canvas.vertical_gradient(lighter(colour, 0.3), darker(colour, 0.08), (x0, y0, x1, y1)))
    top = ImageChops.multiply(canvas.shrink(m, 1.5), canvas.rect_mask((x0, y0, x1, y0 + (y1 - y0) * 0.45)))
    canvas.paint(top, canvas.vertical_gradient(rgba(WHITE, 90), rgba(WHITE, 10), (x0, y0, x1, y0 + (y1 - y0) * 0.45)))
    canvas.outline(m, 2, lighter(colour, 0.5) if not disabled else lighter(colour, 0.3))
    return (x0, y0, x1, y1)


def labelled_button(width, height, colour, caption=None, icon=None, pressed=False, disabled=False, size=None,
                    icon_size=None, radius=None):
    """A pill button with an icon and a caption side by side."""
    c = Canvas(width, height)
    x0, y0, x1, y1 = pill(c, (1, 1, width - 1, height - 1), colour, pressed, radius, disabled)
    cy = (y0 + y1) / 2 - 1
    stroke_colour = darker(desaturate(colour) if disabled else colour, 0.55)
    text_colour = WHITE if not disabled else (235, 235, 240)
    size = size or min(height * 0.42, 26)
    icon_size = icon_size or size * 1.05
    if caption and icon:
        tw = c.text_width(caption, size)
        gap = size * 0.3
        total = icon_size + gap + tw
        left = width / 2 - total / 2
        c.icon((left + icon_size / 2, cy), icon, icon_size, fill=text_colour, stroke=1.5, stroke_fill=stroke_colour)
        c.text((left + icon_size + gap + tw / 2, cy), caption, size, fill=text_colour, stroke=2,
               stroke_fill=stroke_colour)
    elif caption:
        c.text((width / 2, cy), caption, size, fill=text_colour, stroke=2, stroke_fill=stroke_colour)
    elif icon:
        c.icon((width / 2, cy), icon, icon_size, fill=text_colour, stroke=1.5, stroke_fill=stroke_colour)
    return c.finish()


def round_button(size, colour, icon, icon_size=None, pressed=False, disabled=False):
    """A round button carrying an icon."""
    c = Canvas(size, size)
    pill(c, (1, 1, size - 1, size - 1), colour, pressed, (size - 2) / 2, disabled)
    c.icon((size / 2, size / 2 - 1), icon, icon_size or size * 0.5, fill=WHITE, stroke=1.5,
           stroke_fill=darker(desaturate(colour) if disabled else colour, 0.55))
    return c.finish()


def gem(canvas, box, colour, star=True):
    """A piece: a rounded square with a darker rim, a top-left highlight and a small embossed star."""
    x0, y0, x1, y1 = box
    size = x1 - x0
    radius = size * 0.22
    rim = canvas.rounded_mask(box, radius)
    canvas.paint(rim, darker(colour, 0.38))
    inset = size * 0.07
    body_box = (x0 + inset, y0 + inset, x1 - inset, y1 - inset)
    body = canvas.rounded_mask(body_box, radius * 0.8)
    canvas.paint(body, canvas.vertical_gradient(lighter(colour, 0.18), darker(colour, 0.1), body_box))
    # Highlight in the top-left corner, clear of the centre the screen tests read.
    hl = canvas.ellipse_mask((x0 + size * 0.14, y0 + size * 0.12, x0 + size * 0.42, y0 + size * 0.3))
    canvas.paint(hl, rgba(WHITE, 150))
    if star:
        cx, cy = (x0 + x1) / 2, (y0 + y1) / 2 + size * 0.02
        outer, inner = size * 0.2, size * 0.085
        canvas.paint(canvas.polygon_mask(star_points(cx + size * 0.015, cy + size * 0.025, outer, inner)),
                     rgba(darker(colour, 0.35), 200))
        canvas.paint(canvas.polygon_mask(star_points(cx, cy, outer, inner)), rgba(lighter(colour, 0.45), 235))


def gem_image(size, colour):
    c = Canvas(size, size)
    gem(c, (1, 1, size - 1, size - 1), colour)
    return c.finish()


def sparkle(canvas, centre, radius, colour=WHITE, alpha=255):
    """A four-point twinkle."""
    cx, cy = centre
    pts = star_points(cx, cy, radius, radius * 0.28, points=4, rotation=-90)
    m = canvas.polygon_mask(pts)
    canvas.glow(m, radius * 0.6, colour, 120)
    canvas.paint(m, rgba(colour, alpha))


def badge_star(canvas, centre, radius, fill=GOLD, outline=INK):
    pts = star_points(centre[0], centre[1], radius, radius * 0.45)
    m = canvas.polygon_mask(pts)
    canvas.shadow(m, (0, 2), 2, 100)
    canvas.paint(canvas.polygon_mask(star_points(centre[0], centre[1], radius + 1.5, radius * 0.45 + 1)), outline)
    canvas.paint(m, canvas.vertical_gradient(lighter(fill, 0.4), darker(fill, 0.1),
                                             (centre[0] - radius, centre[1] - radius, centre[0] + radius,
                                              centre[1] + radius)))


def diamond(canvas, centre, size, light=(170, 235, 255), dark=(40, 120, 230), rim=(20, 50, 130)):
    """A cut diamond: a crown over a pointed pavilion, its facets light and dark."""
    cx, cy = centre
    w, h = size, size * 0.86
    top, girdle, bottom = cy - h * 0.42, cy - h * 0.1, cy + h * 0.5
    outline = [(cx - w * 0.3, top), (cx + w * 0.3, top), (cx + w / 2, girdle), (cx, bottom), (cx - w / 2, girdle)]
    m = canvas.polygon_mask(outline)
    canvas.shadow(m, (0, size * 0.05), size * 0.06, 110)
    canvas.paint(m, rim)
    inner = canvas.shrink(m, max(0.8, size * 0.04))
    canvas.paint(inner, dark)
    facets = [
        ([(cx - w * 0.3, top), (cx, top), (cx - w * 0.12, girdle), (cx - w / 2, girdle)], mix(light, dark, 0.15)),
        ([(cx, top), (cx + w * 0.3, top), (cx + w / 2, girdle), (cx + w * 0.12, girdle)], mix(light, dark, 0.45)),
        ([(cx, top), (cx - w * 0.12, girdle), (cx + w * 0.12, girdle)], light),
        ([(cx - w / 2, girdle), (cx - w * 0.12, girdle), (cx, bottom)], mix(light, dark, 0.3)),
        ([(cx - w * 0.12, girdle), (cx + w * 0.12, girdle), (cx, bottom)], mix(light, dark, 0.6)),
    ]
    from PIL import ImageChops as _chops
    for points, colour in facets:
        canvas.paint(_chops.multiply(canvas.polygon_mask(points), inner), colour)
    canvas.paint(canvas.polygon_mask([(cx - w * 0.22, top + h * 0.06), (cx - w * 0.1, top + h * 0.06),
                                      (cx - w * 0.2, girdle - h * 0.04)]), rgba(WHITE, 170))
