# Writes a C++ source that holds a file's bytes: cmake -DINPUT=file -DOUTPUT=source.cpp -DNAME=symbol
# -DNAMESPACE=ns -P EmbedFile.cmake. The source defines `NAME` (the bytes) and `NAME`Size.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    " bytes "${bytes}")
get_filename_component(from "${INPUT}" NAME)
file(WRITE "${OUTPUT}.new"
  "// Made by EmbedFile.cmake from ${from}; do not edit.\n"
  "#include <cstddef>\n\n"
  "namespace ${NAMESPACE} {\n\n"
  "extern const unsigned char ${NAME}[] = {\n    ${bytes}\n};\n"
  "extern const std::size_t ${NAME}Size = ${size};\n\n"
  "}  // namespace ${NAMESPACE}\n")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
