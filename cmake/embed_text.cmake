# Writes a C++ source that holds a text file as a character array:
#   cmake -DIN=<text file> -DOUT=<source> -DSYMBOL=<name> -DNAMESPACE=<ns> -P embed_text.cmake
# The text goes into a raw string literal; its delimiter must not occur in it.
file(READ "${IN}" text)
string(FIND "${text}" ")embedded\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${IN} contains the raw-string delimiter )embedded\"")
endif()
string(LENGTH "${text}" size)
get_filename_component(name "${IN}" NAME)
file(WRITE "${OUT}.tmp"
  "// Generated at build time from ${name}; edit that file, not this one.\n"
  "namespace ${NAMESPACE} {\n"
  "extern const char ${SYMBOL}[];\n"
  "extern const unsigned long ${SYMBOL}Size;\n"
  "const char ${SYMBOL}[] = R\"embedded(${text})embedded\";\n"
  "const unsigned long ${SYMBOL}Size = ${size};\n"
  "} // namespace ${NAMESPACE}\n")
file(RENAME "${OUT}.tmp" "${OUT}")
