# Fails when a file of the core includes Qt, X11, the JSON, crypto or HTTP library, or anything of
# the front ends or the record library: the core serves velkor-flash, the simulator and the
# tests unchanged. Run as
#   cmake -DCORE=<core folder> -P core_layering.cmake
file(GLOB_RECURSE sources "${CORE}/*.h" "${CORE}/*.cpp")
set(offences "")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "[<\"](Q[A-Za-z]*|X11/[^>\"]*|qt[^>\"]*|nlohmann/[^>\"]*|openssl/[^>\"]*|httplib\.h)[>\"]" OR
       line MATCHES "\"(gui|cli|record|sim|station|testing|tests)/")
      file(RELATIVE_PATH name "${CORE}" "${source}")
      string(APPEND offences "  ${name}: ${line}\n")
    endif()
  endforeach()
endforeach()
if(offences)
  message(FATAL_ERROR "The core includes from a higher layer:\n${offences}")
endif()
list(LENGTH sources count)
message(STATUS "${count} core files include nothing from Qt, X11 or the front ends")
