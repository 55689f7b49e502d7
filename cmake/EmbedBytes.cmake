# Writes the bytes of INPUT into OUTPUT as the C++ array NAME, with the
# size NAME_SIZE, both declared by HEADER.
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=symbol -DHEADER=header.h -P EmbedBytes.cmake
file(READ ${INPUT} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Lines of 16 bytes keep the file readable for tools that show it.
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}
  "// Generated from ${INPUT}; do not edit.\n"
  "#include \"${HEADER}\"\n\n"
  "const unsigned char ${NAME}[] = {\n${bytes}};\n"
  "const std::size_t ${NAME}Size = sizeof ${NAME};\n")
