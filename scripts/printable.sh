# Sourced by the scripts: text from outside (an argument, a file name, a URL) as a message quotes it, each
# control character as \xNN, so that a newline cannot split the message and an escape sequence cannot
# reach the terminal. Bytes beyond ASCII stay as they are.
printable() {
  local LC_ALL=C text=$1 out="" c i
  for ((i = 0; i < ${#text}; i++)); do
    c=${text:i:1}
    if [[ $c == [[:cntrl:]] ]]; then printf -v c '\\x%02x' "'$c"; fi
    out+=$c
  done
  printf '%s' "$out"
}
