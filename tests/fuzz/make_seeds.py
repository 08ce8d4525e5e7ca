#!/usr/bin/python3
"""Writes the fuzz targets' seed inputs into a folder per target: files of Resources/ and small
files made here from scratch (images of every format, sounds, property lists, a TrueType font,
replies, URLs). scripts/fuzz --seed merges them into the committed corpora."""
import base64
import gzip
import io
import json
import os
import plistlib
import shutil
import struct
import sys
import wave
import zlib

from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RESOURCES = os.path.join(ROOT, "Resources")
SCHEME = "pg5e18c0a7d94b2f63"


def put(out, target, name, data):
    folder = os.path.join(out, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def resource(path):
    with open(os.path.join(RESOURCES, path), "rb") as f:
        return f.read()


def deep(levels):
    return "[" * levels + "]" * levels


# Images ---------------------------------------------------------------------------------------
def pattern(size, mode="RGBA"):
    image = Image.new(mode, (size, size))
    image.putdata([(x * 60 % 256, y * 60 % 256, 128, 255)[: len(mode)] for y in range(size) for x in range(size)])
    return image


def encoded(image, fmt, **options):
    buffer = io.BytesIO()
    image.save(buffer, fmt, **options)
    return buffer.getvalue()


def pvr2(width, height, pixel_type, bpp, data):
    header = struct.pack("<13I", 52, height, width, 0, 0x10000 | pixel_type, len(data), bpp, 0, 0, 0, 0xFF000000,
                         0x21525650, 1)
    return header + data


def pvr3(width, height, pixel_format, data):
    header = struct.pack("<IIQIIIIIIIII", 0x03525650, 0, pixel_format, 0, 0, height, width, 1, 1, 1, 1, 0)
    return header + data


def dds(width, height, fourcc, data):
    header = bytearray(128)
    struct.pack_into("<4sIIIII", header, 0, b"DDS ", 124, 0x1007, height, width, len(data))
    struct.pack_into("<II4s", header, 76, 32, 4, fourcc)
    return bytes(header) + data


def ktx(width, height, internal_format, data):
    identifier = bytes([0xAB, 0x4B, 0x54, 0x58, 0x20, 0x31, 0x31, 0xBB, 0x0D, 0x0A, 0x1A, 0x0A])
    header = identifier + struct.pack("<13I", 0x04030201, 0, 1, 0, internal_format, 0, width, height, 0, 0, 1, 1, 0)
    return header + struct.pack("<I", len(data)) + data


def pkm(width, height, data):
    return b"PKM 10" + struct.pack(">HHHHH", 0, width, height, width, height) + data


def tga(width, height, pixels):
    return struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 32, 8) + pixels


def ktz(data):
    packed = zlib.compress(data)
    return b"KTZ!" + struct.pack(">HHII", 2, 0, 0, len(data)) + packed


def images(out):
    for name in ("Effect/star.png", "Icon.png", "Guide/finger_anim.pvr.ktz"):
        put(out, "image", os.path.basename(name), resource(name))
    small = pattern(4)
    put(out, "image", "rgba.png", encoded(small, "PNG"))
    put(out, "image", "palette.png", encoded(small.convert("P"), "PNG"))
    put(out, "image", "grey.jpg", encoded(small.convert("L"), "JPEG"))
    put(out, "image", "rgb.jpg", encoded(small.convert("RGB"), "JPEG"))
    put(out, "image", "rgba.tiff", encoded(small, "TIFF"))
    put(out, "image", "lossless.webp", encoded(small, "WEBP", lossless=True))
    put(out, "image", "lossy.webp", encoded(small.convert("RGB"), "WEBP", quality=50))
    rgba = small.tobytes()
    put(out, "image", "rgba8888.pvr", pvr2(4, 4, 0x12, 32, rgba))
    put(out, "image", "pvrtc4.pvr", pvr3(8, 8, 2, bytes(range(32))))
    put(out, "image", "etc1.pkm", pkm(4, 4, bytes(range(8))))
    put(out, "image", "dxt1.dds", dds(4, 4, b"DXT1", bytes(range(8))))
    put(out, "image", "dxt5.dds", dds(4, 4, b"DXT5", bytes(range(16))))
    put(out, "image", "atc.ktx", ktx(4, 4, 0x8C92, bytes(range(8))))
    put(out, "image", "rgba.tga", tga(4, 4, rgba))
    put(out, "image", "rgba.png.gz", gzip.compress(encoded(small, "PNG"), mtime=0))
    put(out, "image", "rgba.pvr.ktz", ktz(pvr2(4, 4, 0x12, 32, rgba)))


# Fonts ----------------------------------------------------------------------------------------
def bitmap_fonts(out):
    for name in ("NumberA.fnt", "NumberF.fnt"):
        put(out, "bitmap_font", name, resource("Font/" + name))
    info = struct.pack("<hBBHHBBBBBB", 24, 0, 0, 100, 1, 0, 0, 0, 0, 1, 1) + b"Fuzz\0"
    common = struct.pack("<HHHHHBBBBB", 26, 20, 64, 64, 1, 0, 0, 0, 0, 0)
    pages = b"fuzz.png\0"
    chars = b"".join(struct.pack("<IHHHHhhhBB", 48 + i, i * 10, 0, 9, 20, 0, 2, 10, 0, 15) for i in range(3))
    kerning = struct.pack("<IIh", 48, 49, -1)
    blocks = b"".join(struct.pack("<BI", kind, len(body)) + body
                      for kind, body in ((1, info), (2, common), (3, pages), (4, chars), (5, kerning)))
    put(out, "bitmap_font", "digits.bmf", b"BMF\x03" + blocks)


def truetype(out):
    """A TrueType font of two glyphs (.notdef and a triangle 'A'), table by table."""
    def table_checksum(data):
        data += b"\0" * (-len(data) % 4)
        return sum(struct.unpack(">%dI" % (len(data) // 4), data)) & 0xFFFFFFFF

    triangle = struct.pack(">hhhhh", 1, 0, 0, 500, 700) + struct.pack(">H", 2) + struct.pack(">H", 0) + \
        bytes([1, 1, 1]) + struct.pack(">hhh", 0, 250, 250) + struct.pack(">hhh", 0, 700, -700)
    glyf = triangle + b"\0" * (-len(triangle) % 4)
    tables = {
        b"head": struct.pack(">IIIIHHqqhhhhHHhhh", 0x10000, 0x10000, 0, 0x5F0F3CF5, 0, 1000, 0, 0, 0, 0, 500, 700,
                             0, 8, 2, 0, 0),
        b"hhea": struct.pack(">IhhhHhhhhhhhhhhhH", 0x10000, 800, -200, 0, 600, 0, 0, 500, 1, 0, 0, 0, 0, 0, 0,
                             0, 2),
        b"maxp": struct.pack(">IHHHHHHHHHHHHHH", 0x10000, 2, 3, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0),
        b"OS/2": struct.pack(">HhHHHhhhhhhhhhhh", 1, 500, 400, 5, 0, 100, 100, 0, 0, 100, 100, 0, 0, 50, 250, 0)
        + bytes(10) + struct.pack(">IIII", 1, 0, 0, 0) + b"FUZZ" + struct.pack(">HHHhhhHH", 0x40, 65, 65, 800, -200,
                                                                                0, 800, 200) + struct.pack(">II", 1, 0),
        b"hmtx": struct.pack(">HhHh", 500, 0, 600, 0),
        b"cmap": struct.pack(">HHHHI", 0, 1, 3, 1, 12) + struct.pack(">HHHHHHH", 4, 32, 0, 4, 4, 1, 0)
        + struct.pack(">HH", 65, 0xFFFF) + struct.pack(">H", 0) + struct.pack(">HH", 65, 0xFFFF)
        + struct.pack(">hh", -64, 1) + struct.pack(">HH", 0, 0),
        b"loca": struct.pack(">HHH", 0, 0, len(glyf) // 2),
        b"glyf": glyf,
        b"name": struct.pack(">HHH", 0, 1, 18) + struct.pack(">HHHHHH", 3, 1, 0x409, 1, 8, 0)
        + "Fuzz".encode("utf-16-be"),
        b"post": struct.pack(">IiHHIIIII", 0x30000, 0, 0, 0, 0, 0, 0, 0, 0),
    }
    tags = sorted(tables)
    offset = 12 + 16 * len(tags)
    directory, body = b"", b""
    for tag in tags:
        data = tables[tag]
        directory += struct.pack(">4sIII", tag, table_checksum(data), offset + len(body), len(data))
        body += data + b"\0" * (-len(data) % 4)
    count = len(tags)
    put(out, "truetype_font", "triangle.ttf", struct.pack(">IHHHH", 0x10000, count, 128, 3, count * 16 - 128)
        + directory + body)


# Sounds ---------------------------------------------------------------------------------------
def sounds(out):
    for name in ("pop.mp3", "propselect.mp3"):
        put(out, "sound_file", name, resource("Music/" + name))
    for width, channels in ((1, 1), (2, 2)):
        buffer = io.BytesIO()
        with wave.open(buffer, "wb") as w:
            w.setnchannels(channels)
            w.setsampwidth(width)
            w.setframerate(8000)
            w.writeframes(bytes((i * 37) % 256 for i in range(64 * width * channels)))
        put(out, "sound_file", "pcm%d-%dch.wav" % (width * 8, channels), buffer.getvalue())


# Property lists, preferences, the ledger, exchanges ------------------------------------------
def property_lists(out):
    for name in ("Info.plist", "Star/stars.plist", "Store/Products.plist"):
        put(out, "plist_xml", os.path.basename(name), resource(name))
    sample = {"text": "中文 and \r\n", "number": -7, "real": 0.5, "yes": True, "data": b"\0\1\2",
              "list": [1, "two", {"three": 3}], "big": 2 ** 40}
    put(out, "plist_xml", "sample.plist", plistlib.dumps(sample, fmt=plistlib.FMT_XML))
    put(out, "plist_binary", "sample.bplist", plistlib.dumps(sample, fmt=plistlib.FMT_BINARY))
    put(out, "plist_binary", "products.bplist",
        plistlib.dumps(plistlib.loads(resource("Store/Products.plist")), fmt=plistlib.FMT_BINARY))
    preferences = {"currentScore": 1200, "cellphone": "MTM4MTIzNDU2Nzg=", "playerStatus": 1, "colorKey0": 3,
                   "isSoundOn": True}
    put(out, "preferences", "store.plist", b"\0" + plistlib.dumps(preferences, fmt=plistlib.FMT_XML))
    put(out, "preferences", "legacy.xml", b"\1" + b'<?xml version="1.0" encoding="UTF-8"?>\n<userDefaultRoot>'
        b"<currentScore>1200</currentScore><cellphone>MTM4</cellphone><isSoundOn>true</isSoundOn>"
        b"</userDefaultRoot>\n")
    ledger = {"transactions": [
        {"transactionIdentifier": "t-1", "productIdentifier": "com.kwrlopa.tier2", "quantity": 1,
         "applicationUsername": "", "state": 0, "error": 0, "errorText": ""},
        {"transactionIdentifier": "t-2", "productIdentifier": "com.kwrlopa.tier4", "quantity": 2,
         "applicationUsername": "u", "state": 1, "error": 0, "errorText": ""}]}
    put(out, "store_ledger", "ledger.plist", plistlib.dumps(ledger, fmt=plistlib.FMT_XML))
    exchanges = {
        "media.plist": {"command": "1010", "title": "t", "description": "d", "thumbData": b"\x89PNG",
                        "objectType": "5", "mediaUrl": "http://example.com/", "scene": "1", "sdkver": "1.5"},
        "auth.plist": {"command": "2030", "result": "0", "state": "s", "returnFromApp": "1"},
        "text.plist": {"command": "1020", "title": "hello", "scene": "0", "openID": "o1", "language": "zh_CN",
                       "country": "CN"},
    }
    for name, fields in exchanges.items():
        dictionary = {SCHEME: plistlib.dumps(fields, fmt=plistlib.FMT_BINARY)}
        put(out, "exchange_dictionary", name, plistlib.dumps(fields, fmt=plistlib.FMT_XML))
        put(out, "exchange_dictionary", name + ".bin", plistlib.dumps(fields, fmt=plistlib.FMT_BINARY))
        put(out, "plist_binary", "exchange-" + name + ".bin", plistlib.dumps(dictionary, fmt=plistlib.FMT_BINARY))


def bplist(objects, top, offset_size=2):
    """A binary property list of the objects as given, references one byte each, so that objects can be
    shared as another program's writer may share them."""
    out = bytearray(b"bplist00")
    offsets = []
    for body in objects:
        offsets.append(len(out))
        out += body
    table = len(out)
    for offset in offsets:
        out += offset.to_bytes(offset_size, "big")
    return bytes(out + bytes(6) + bytes([offset_size, 1]) + struct.pack(">QQQ", len(objects), top, table))


def marked(kind, count, body=b""):
    if count < 15:
        return bytes([kind | count]) + body
    return bytes([kind | 0x0F, 0x13]) + count.to_bytes(8, "big") + body


def fan_out(data_bytes, fan):
    """Data, an array of fan references to it and an array of fan references to that: fan * fan copies
    of the data once every reference is followed (objects 0 to 2, the outer array last)."""
    return [marked(0x40, data_bytes, bytes(range(256)) * (data_bytes // 256) + bytes(data_bytes % 256)),
            marked(0xA0, fan, bytes([0]) * fan), marked(0xA0, fan, bytes([1]) * fan)]


def shared_lists(out):
    # Under 4 KB that decode to 62,500 copies of 3,300 bytes: refused by the budget.
    fan = bplist(fan_out(3300, 250), 2)
    # The same string under two keys and a small dictionary twice in an array: read as copies.
    shared = bplist([marked(0x50, 5, b"title"), marked(0x50, 5, b"again"), marked(0x50, 6, b"points"),
                     marked(0x60, 3, "星 s".encode("utf-16-be")), marked(0x50, 1, b"x"), bytes([0x10, 7]),
                     marked(0xD0, 1, bytes([4, 5])), marked(0xA0, 2, bytes([6, 6])),
                     marked(0xD0, 3, bytes([0, 1, 2, 3, 3, 7]))], 8)
    # plistlib writes a text once however many records hold it; read, it is one copy a record.
    text = "".join(chr(ord("a") + i % 26) for i in range(700))
    records = plistlib.dumps([{"id": i, "text": text} for i in range(120)], fmt=plistlib.FMT_BINARY)
    for target in ("plist_binary", "file_utils"):
        put(out, target, "fan-out.bplist", fan)
        put(out, target, "shared.bplist", shared)
        put(out, target, "shared-text.bplist", records)
    put(out, "file_utils", "words.plist", resource("Xml/ChineseWords.xml"))
    for name in ("Info.plist", "Star/stars.plist", "Guide/finger_anim.plist"):
        put(out, "file_utils", os.path.basename(name), resource(name))
        put(out, "file_utils", os.path.basename(name) + ".bin",
            plistlib.dumps(plistlib.loads(resource(name)), fmt=plistlib.FMT_BINARY))


# Texts: URLs, replies, answers, scripts, cookies ---------------------------------------------
def texts(out):
    cards = "%5B%7B%22card_id%22%3A%22c1%22%2C%22card_ext%22%3A%22e%22%2C%22is_succ%22%3A%221%22%7D%5D"
    for i, url in enumerate([
            SCHEME + "://oauth?code=abc&state=s&lang=zh_CN&country=CN",
            SCHEME + "://pay/?returnKey=k&ret=-2&notifyStr=n",
            SCHEME + "://cardPackage/?errCode=0&addCardInfo=" + cards,
            SCHEME + "://cardPackage/x?addCardInfo=" + "[" * 40,
            SCHEME + "://pigeon/sendresp/?",
            SCHEME + "://platformId=pigeon&ret=0",
            SCHEME + "://wapoauth?code=1"]):
        put(out, "game_url", "url%d.txt" % i, url)
    for i, url in enumerate([
            "pigeon://app/%s/sendreq/?" % SCHEME,
            "pigeon://app/%s/auth/?scope=snsapi_userinfo&state=x%%20y" % SCHEME,
            "pigeon://app/%s/pay/?partnerId=1&prepayId=2&timeStamp=3&nonceStr=4&package=5&sign=6" % SCHEME,
            "pigeonapi://cardpackage/?" + cards,
            "a=1&b=%E4%B8%AD&c=+x+&d=%zz"]):
        put(out, "messenger_url", "url%d.txt" % i, url)
    rows = [{"oneself": "0", "cellphone": "138****5678", "ranked": str(i), "score": str(1000 - i)} for i in range(3)]
    replies = {
        "bootstrap.json": {"code": "0000", "bodymessage": "http://127.0.0.1:8080/game"},
        "login.json": {"code": "0000", "bodymessage": {"score": "27000", "diamond": "5", "gametag": "1"}},
        "version.json": {"code": "0000", "bodymessage": {"version": "7", "forcedupdate": "0"}},
        "ranked.json": {"code": "0000", "bodymessage": rows + [dict(rows[0], oneself="1")]},
        "wrong.json": {"code": 0, "bodymessage": [1, 2]},
    }
    for name, reply in replies.items():
        put(out, "server_reply", name, json.dumps(reply, ensure_ascii=False, separators=(",", ":")))
    put(out, "server_reply", "deep.json", '{"code":"0000","bodymessage":' + deep(70) + "}")
    answers = {
        "config.json": {"cfg": {"1": {"c": {"rs": 2, "__HIBERNATE__": "9.9", "__PGSTAT_KILL__": {"sv": "1.0"}},
                                      "v": 4, "m": "d41d8cd98f00b204e9800998ecf8427e"},
                                "2": {"c": {"key": "value", "n": [1, 2]}, "v": 1, "m": ""}}},
        "mid.json": {"mid": "123", "cfg": {}},
    }
    for name, answer in answers.items():
        put(out, "statistics_answer", name, json.dumps(answer, separators=(",", ":")))
        put(out, "json", name, json.dumps(answer, indent=1))
    put(out, "json", "scalars.json", '[0,-1,1.5e3,true,false,null,"\\u4e2d\\n",{}]')
    put(out, "json", "deep.json", deep(70))
    events = json.dumps([{"et": 1000, "ei": "e", "ts": 1, "si": 2, "idx": 3, "kv": {"a": "b"}}],
                        separators=(",", ":")).encode()
    key = b"7c2e94b05a1fd3689e0b4c7a21f5d8e3"
    put(out, "stat_report", "plain.bin", b"\1" + rc4(events, key))
    framed = struct.pack(">I", len(events)) + gzip.compress(events, mtime=0)
    put(out, "stat_report", "compressed.bin", b"\2" + rc4(framed, key))
    put(out, "input_script", "play.script",
        "# a game\ntap 90 320 889\ntap 130 220 681\ndown 200 10 10\nmove 201 20 20\nup 202 20 20\n"
        "drag 210 100 100 300 300 8\nbackground 300\nforeground 320\nshot 330 out/frame.png\nquit 400\n")
    put(out, "input_script", "shot.txt", "35:/tmp/a b.png")
    packed = resource("Guide/finger_anim.pvr.ktz")
    put(out, "zip", "finger.ktz", packed)
    put(out, "zip", "text.gz", gzip.compress(b"hello hello hello", mtime=0))
    put(out, "zip", "text.zlib", zlib.compress(b"hello hello hello"))
    put(out, "zip", "text.b64", base64.b64encode(b"\0\1\2hello"))
    for i, header in enumerate([
            "session=abc; Path=/; Domain=.game.example.com; Expires=Wed, 21 Oct 2037 07:28:00 GMT; Secure",
            "http://127.0.0.1:8080/game/x\nid=1; Max-Age=60; HttpOnly",
            "a=b; domain=example.org"]):
        put(out, "cookies", "cookie%d.txt" % i, header)


# Debug console sessions: every command, with arguments good and bad -----------------------------
def console(out):
    sessions = {
        "base.txt": "help\nversion\nallocator\ndebugmsg\ndebugmsg on\ndebugmsg off\nfileutils\nfileutils flush\n"
                    "fileutils x\nnonsense\n\n   \n  help\r\nexit\nversion\n",
        "director.txt": "fps\nfps on\nfps off\nprojection\nprojection 2d\nprojection 3d\nprojection 4d\nconfig\n"
                        "scenegraph\ntexture\ntexture flush\ntexture x\ndirector help\ndirector -h\n"
                        "director pause\ndirector resume\ndirector stop\ndirector start\ndirector end\n",
        "resolution.txt": "resolution\nresolution 640 1136 2\nresolution  +320\t480 4 \nresolution 10 ten 1\n"
                          "resolution 4294967396 20 1\nresolution 0 1 5\n",
        "touch.txt": "touch help\ntouch -h\ntouch tap 10 20\ntouch tap 10.5 -2e1\ntouch swipe 0 0 5 0\n"
                     "touch swipe 10 10 12 14\ntouch swipe 640 1136 0.5 0\ntouch swipe 0.1 3 639.9 1135.7\n"
                     "touch tap 1e39 nan\ntouch tap 1  2\ntouch swipe 1 2 3\ntouch press 1 2\n",
        "upload.txt": "upload notes.txt aGVsbG8=\nupload a aGk=aGk=QQ\nupload empty\nupload ../x aGk=\n"
                      "upload .. aGk=\nupload a\0b aGk=\nupload a:b\n",
    }
    for name, text in sessions.items():
        put(out, "console", name, text)
    # A line past the limit: refused, and its tail with it.
    put(out, "console", "long.txt", "upload big " + "QUFB" * 4100 + "\nversion\n")


def rc4(data, key):
    state = list(range(256))
    j = 0
    for i in range(256):
        j = (j + state[i] + key[i % len(key)]) % 256
        state[i], state[j] = state[j], state[i]
    i = j = 0
    result = bytearray()
    for byte in data:
        i = (i + 1) % 256
        j = (j + state[i]) % 256
        state[i], state[j] = state[j], state[i]
        result.append(byte ^ state[(state[i] + state[j]) % 256])
    return bytes(result)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "seeds"
    shutil.rmtree(out, ignore_errors=True)
    for make in (images, bitmap_fonts, truetype, sounds, property_lists, shared_lists, texts, console):
        make(out)


if __name__ == "__main__":
    main()
