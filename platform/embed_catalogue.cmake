# cmake -DINPUT=file.qm -DOUTPUT=file.cpp -P embed_catalogue.cmake: writes the bytes
# of a catalogue (compiled, or its source form) as the definitions platform/catalogues.h declares.
file(READ "${INPUT}" bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," array "${bytes}")
file(WRITE "${OUTPUT}" "#include \"platform/catalogues.h\"\n\nnamespace velkor {\n\n"
     "const unsigned char kEnglishCatalogue[] = {${array}};\n"
     "const std::size_t kEnglishCatalogueSize = ${size};\n\n}  // namespace velkor\n")
