// Base64 decoding (RFC 4648 standard alphabet).
#pragma once

namespace kite {

// Decodes `length` bytes of Base64 text into a malloc'ed block handed to the
// caller and returns the number of bytes decoded. Characters outside the
// alphabet (line breaks, spaces) are skipped; "=" ends the text; a last group
// of two or three characters decodes with or without its padding. On error
// (a lone last character) returns 0 with *out null.
int base64Decode(const unsigned char* in, unsigned int length, unsigned char** out);

}  // namespace kite
