# velkor_microhttpd: GNU libmicrohttpd, the HTTP server of the station's page; its limits on
# connections, per-address connections, memory and idle time are its own options. A cross build
# takes the unit architecture's library (libmicrohttpd12:<arch>) with the build machine's
# header of the same version, as the -dev package pulls in the whole GnuTLS development set.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MICROHTTPD IMPORTED_TARGET libmicrohttpd)
add_library(velkor_microhttpd INTERFACE)
if(MICROHTTPD_FOUND)
  target_link_libraries(velkor_microhttpd INTERFACE PkgConfig::MICROHTTPD)
else()
  find_library(VELKOR_MICROHTTPD_LIBRARY NAMES microhttpd libmicrohttpd.so.12 REQUIRED)
  find_path(VELKOR_MICROHTTPD_INCLUDE microhttpd.h REQUIRED)
  message(STATUS "libmicrohttpd: ${VELKOR_MICROHTTPD_LIBRARY} with "
    "${VELKOR_MICROHTTPD_INCLUDE}/microhttpd.h")
  target_include_directories(velkor_microhttpd INTERFACE ${VELKOR_MICROHTTPD_INCLUDE})
  target_link_libraries(velkor_microhttpd INTERFACE ${VELKOR_MICROHTTPD_LIBRARY})
endif()
