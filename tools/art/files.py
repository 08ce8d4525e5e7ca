"""The files around the pictures: the pieces' sprite sheet, the finger's animation sheet (a zlib-packed PVR),
the word table and the local store's products."""
import os
import struct
import zlib
from xml.sax.saxutils import escape

from art import effects, fonts, store, style


def save_png(image, path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    image.save(path, "PNG", optimize=False, compress_level=9)


def plist(body):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" '
            '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n'
            '<plist version="1.0">\n' + body + '</plist>\n')


def write_text(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


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


def write_star_sheet(out, pieces):
    """All five pieces on one sheet (frames named as the files), so the board draws in one batch."""
    from PIL import Image
    gap = 2  # keeps filtering from bleeding a neighbour's edge in
    sheet = Image.new("RGBA", (len(pieces) * (48 + gap), 48), (0, 0, 0, 0))
    entries = []
    for index, (name, image) in enumerate(pieces):
        sheet.paste(image, (index * (48 + gap), 0))
        entries.append(sheet_frame(name, index * (48 + gap), 0, 48, 48))
    save_png(sheet, os.path.join(out, "Star", "stars.png"))
    write_text(os.path.join(out, "Star", "stars.plist"), sheet_plist(entries, "stars.png", sheet.width, sheet.height))


def pvr3_rgba(image):
    """An uncompressed RGBA8888 PVR version 3 texture."""
    channels = struct.unpack("<Q", b"rgba" + bytes([8, 8, 8, 8]))[0]
    header = struct.pack("<IIQIIIIIIIII", 0x03525650, 0, channels, 0, 0, image.height, image.width, 1, 1, 1, 1, 0)
    return header + image.tobytes()


def ktz(payload):
    """The engine's zlib container: "KTZ!", compression 0, version 2, reserved, length, then the stream."""
    return b"KTZ!" + struct.pack(">HHII", 0, 2, 0, len(payload)) + zlib.compress(payload, 9)


def write_finger_sheet(out):
    from PIL import Image
    frames = effects.finger_frames()
    size = frames[0].width
    sheet = Image.new("RGBA", (size * len(frames), size), (0, 0, 0, 0))
    entries = []
    for index, frame in enumerate(frames):
        sheet.paste(frame, (index * size, 0))
        entries.append(sheet_frame("finger_anim%d.png" % index, index * size, 0, size, size))
    folder = os.path.join(out, "Guide")
    write_text(os.path.join(folder, "finger_anim.plist"),
               sheet_plist(entries, "finger_anim.pvr.ktz", sheet.width, sheet.height))
    with open(os.path.join(folder, "finger_anim.pvr.ktz"), "wb") as f:
        f.write(ktz(pvr3_rgba(sheet)))


def write_word_table(out):
    entries = "".join("    <key>%s</key>\n    <string>%s</string>\n" % (escape(k), escape(v))
                      for k, v in sorted(fonts.WORDS.items()))
    write_text(os.path.join(out, "Xml", "ChineseWords.xml"), plist("<array>\n  <dict>\n" + entries +
                                                                   "  </dict>\n</array>\n"))


def write_store_products(out):
    """The local store's products file: the four diamond packs with their titles and prices."""
    entries = "".join(
        "  <dict>\n    <key>productIdentifier</key><string>com.kwrlopa.tier%d</string>\n"
        "    <key>localizedTitle</key><string>钻石包 %d 档</string>\n"
        "    <key>localizedDescription</key><string>%d 颗钻石（礼包 %d 颗）</string>\n"
        "    <key>price</key><real>%.2f</real>\n"
        "    <key>priceLocale</key><string>zh_CN@currency=CNY</string>\n  </dict>\n"
        % (tier, tier, shop, sale, price) for tier, (price, shop, sale) in sorted(store.PACKS.items()))
    write_text(os.path.join(out, "Store", "Products.plist"), plist("<array>\n" + entries + "</array>\n"))


def missing_fonts():
    return [path for path in style.FONT_FILES if not os.path.exists(path)]
