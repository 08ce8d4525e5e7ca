# Sourced by the scripts: text from outside (an argument, a file name, a URL) as a message quotes it, as
# platform::printableText does in the programs: each control character (C0, DEL, and C1 as U+0080 to
# U+009F) and each byte that is not part of well-formed UTF-8 as \xNN, so that a newline cannot split the
# message and an escape sequence cannot reach the terminal (a lone 0x9b is a terminal's CSI). Everything
# else, Chinese text included, stays as it is.
printable() {
  local LC_ALL=C text=$1 out="" i=0 k lead second byte length low high
  while ((i < ${#text})); do
    printf -v lead '%d' "'${text:i:1}"
    if ((lead >= 0x20 && lead < 0x7f)); then
      out+=${text:i:1}
      i=$((i + 1))
      continue
    fi
    # The length of a well-formed UTF-8 sequence starting here (overlong forms, surrogates and code points
    # past U+10FFFF are none), or 0. A byte past the end reads as 0, which no sequence takes.
    length=0 low=0x80 high=0xbf
    if ((lead >= 0xc2 && lead <= 0xdf)); then
      length=2
    elif ((lead >= 0xe0 && lead <= 0xef)); then
      length=3 low=$((lead == 0xe0 ? 0xa0 : 0x80)) high=$((lead == 0xed ? 0x9f : 0xbf))
    elif ((lead >= 0xf0 && lead <= 0xf4)); then
      length=4 low=$((lead == 0xf0 ? 0x90 : 0x80)) high=$((lead == 0xf4 ? 0x8f : 0xbf))
    fi
    printf -v second '%d' "'${text:i+1:1}"
    if ((second < low || second > high)); then length=0; fi
    for ((k = 2; k < length; k++)); do
      printf -v byte '%d' "'${text:i+k:1}"
      if ((byte < 0x80 || byte > 0xbf)); then length=0; fi
    done
    if ((length == 0)); then
      printf -v byte '\\x%02x' "$lead"
      i=$((i + 1))
    elif ((lead == 0xc2 && second <= 0x9f)); then
      printf -v byte '\\x%02x\\x%02x' "$lead" "$second"
      i=$((i + 2))
    else
      byte=${text:i:length}
      i=$((i + length))
    fi
    out+=$byte
  done
  printf '%s' "$out"
}
