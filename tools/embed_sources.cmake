# Writes the text files given in SOURCES into OUT as a C++ table of raw string literals, so
# that the Xol sources of library/ are part of the executable. Run by the build:
#   cmake -DOUT=<file.inc> -DSOURCES=<a.xol|b.xol> -P embed_sources.cmake
string(REPLACE "|" ";" SOURCES "${SOURCES}")
set(body "// Generated from library/*.xol and console/*.xol by tools/embed_sources.cmake; do not edit.\n")
foreach(source ${SOURCES})
  get_filename_component(name ${source} NAME)
  file(READ ${source} text)
  string(FIND "${text}" ")xol\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${name} holds the raw-string delimiter )xol\"")
  endif()
  string(APPEND body "{\"${name}\", R\"xol(${text})xol\"},\n")
endforeach()
file(WRITE ${OUT}.tmp "${body}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
