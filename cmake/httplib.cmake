# velkor_httplib: cpp-httplib, the HTTP server of the station's page. Debian's
# libcpp-httplib-dev cannot be installed beside the build machine's for another architecture,
# so a cross build takes the unit architecture's library (libcpp-httplib0.11:<arch>) with the
# build machine's header of the same version and the definitions the library was built with.
find_package(PkgConfig REQUIRED)
pkg_check_modules(HTTPLIB IMPORTED_TARGET cpp-httplib)
add_library(velkor_httplib INTERFACE)
if(HTTPLIB_FOUND)
  target_link_libraries(velkor_httplib INTERFACE PkgConfig::HTTPLIB)
else()
  find_library(VELKOR_HTTPLIB_LIBRARY NAMES cpp-httplib libcpp-httplib.so.0.11 REQUIRED)
  find_path(VELKOR_HTTPLIB_INCLUDE httplib.h REQUIRED)
  message(STATUS "cpp-httplib: ${VELKOR_HTTPLIB_LIBRARY} with ${VELKOR_HTTPLIB_INCLUDE}/httplib.h")
  target_include_directories(velkor_httplib INTERFACE ${VELKOR_HTTPLIB_INCLUDE})
  target_link_libraries(velkor_httplib INTERFACE ${VELKOR_HTTPLIB_LIBRARY})
  target_compile_definitions(velkor_httplib INTERFACE CPPHTTPLIB_OPENSSL_SUPPORT
    CPPHTTPLIB_ZLIB_SUPPORT CPPHTTPLIB_BROTLI_SUPPORT)
endif()
