# Writes OUTPUT, a C++ file holding the page's files as raw string literals:
#   cmake -DSOURCE_DIR=station/web/page -DOUTPUT=web_assets.cpp -P embed.cmake
set(assets
  "/|station.html|text/html"
  "/station.css|station.css|text/css"
  "/station.js|station.js|text/javascript")
set(entries "")
foreach(asset IN LISTS assets)
  string(REPLACE "|" ";" fields "${asset}")
  list(GET fields 0 path)
  list(GET fields 1 file)
  list(GET fields 2 type)
  file(READ "${SOURCE_DIR}/${file}" body)
  string(FIND "${body}" ")velkor_web\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${file} holds the literal's end marker")
  endif()
  string(APPEND entries "    {\"${path}\", \"${type}; charset=utf-8\", R\"velkor_web(${body})velkor_web\"},\n")
endforeach()
file(WRITE "${OUTPUT}.new" "// Generated from station/web/page by embed.cmake.
#include \"station/web/web_assets.h\"

namespace velkor {
namespace {
const WebAsset kAssets[] = {
${entries}};
}  // namespace

std::span<const WebAsset> WebAssets() { return kAssets; }

}  // namespace velkor
")
# Rewritten only when it changes, so that a rebuild does not recompile it.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
