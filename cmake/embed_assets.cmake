# Turns the dashboard's three text files into one C++ source with their exact bytes.
# Run as: cmake -DOUT=<file> -DSRC_DIR=<web dir> -P embed_assets.cmake
set(assets
  page_template page.html
  theme_preload_block theme_preload.html
  theme_bridge_block theme_bridge.html)
set(text "// Generated from web/ at build time; edit the files there.\n#include \"web/page_assets.h\"\n\n")
list(LENGTH assets n)
math(EXPR last "${n} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET assets ${i} name)
  list(GET assets ${j} file)
  file(READ ${SRC_DIR}/${file} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(REGEX REPLACE "(('\\\\x..',){16})" "\\1\n" bytes "${bytes}")
  string(APPEND text "static constexpr char ${name}_bytes[] = {\n${bytes}'\\0'};\n")
  string(APPEND text "const std::string_view ${name}{${name}_bytes, ${size}};\n\n")
endforeach()
file(WRITE ${OUT}.tmp "${text}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
