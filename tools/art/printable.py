"""Text from outside (an argument, a file name) as a message quotes it, as the programs' printableText does:
each control character (C0, DEL and C1) and each byte that is not UTF-8 as \\xNN, so that a newline cannot
split the message and an escape sequence cannot reach the terminal."""


def printable(text):
    out = []
    for char in text:
        code = ord(char)
        if 0xDC80 <= code <= 0xDCFF:  # a byte that is not UTF-8, as Python decodes arguments and file names
            out.append("\\x%02x" % (code - 0xDC00))
        elif code < 0x20 or 0x7F <= code <= 0x9F:
            out.append("".join("\\x%02x" % byte for byte in char.encode()))
        else:
            out.append(char)
    return "".join(out)
