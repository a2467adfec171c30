# Fails when a room of the source tree includes from a room it may not reach. Rooms are layered
# (core, record, devices, terminal, runs, station) and each includes only from its own and
# lower ones; the front ends (cli, gui) are imported by nothing and share only rooms below
# them. Outside libraries stay in their rooms: Qt and X11 in gui/, the option parser in the
# programs' own rooms (cli/, gui/, sim/), the HTTP library in station/web/, libudev in
# devices/, and the core uses none of them nor the JSON and crypto libraries. Run as
#   cmake -DSOURCE=<source folder> -P layering.cmake
cmake_minimum_required(VERSION 3.25)

# The core's own include root is core/: its sub-folders name the core.
set(core_parts report platform image link procedures settings session picker)
set(project_rooms core record devices terminal runs station testing sim gui cli tests)

# The project rooms each room may include from, besides itself.
set(reach_core "")
set(reach_record core)
set(reach_devices core record)
set(reach_terminal core record devices)
set(reach_runs core record devices terminal)
set(reach_station core record devices terminal runs)
set(reach_testing core)
set(reach_sim core testing)
set(reach_gui core record devices terminal runs station)
set(reach_cli core record devices terminal runs station)

# Outside libraries a room may not include, as patterns of the included name.
set(qt_x11 "^(Q[A-Za-z]*|qt[^/]*|X11/.*)$")
set(option_parser "^CLI/")
set(http_library "^(httplib|microhttpd)\\.h$")
set(udev "^libudev\\.h$")
set(json_crypto "^(nlohmann|openssl)/")

set(offences "")
set(counted 0)
foreach(room IN LISTS project_rooms)
  if(room STREQUAL "tests")
    continue()
  endif()
  file(GLOB_RECURSE sources "${SOURCE}/${room}/*.h" "${SOURCE}/${room}/*.cpp")
  foreach(source IN LISTS sources)
    math(EXPR counted "${counted} + 1")
    file(RELATIVE_PATH name "${SOURCE}" "${source}")
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      if(NOT line MATCHES "[<\"]([^>\"]+)[>\"]")
        continue()
      endif()
      set(included "${CMAKE_MATCH_1}")
      set(why "")
      # A project room, named by the first folder of the included path.
      string(REGEX MATCH "^[^/]+" first "${included}")
      if(first IN_LIST core_parts AND line MATCHES "\"")
        set(first core)
      endif()
      if(first IN_LIST project_rooms AND NOT first STREQUAL room AND
         NOT first IN_LIST reach_${room})
        set(why "${room}/ may not include from ${first}/")
      endif()
      # Outside libraries.
      if(included MATCHES "${qt_x11}" AND NOT room STREQUAL "gui")
        set(why "Qt and X11 only in gui/")
      elseif(included MATCHES "${option_parser}" AND NOT room MATCHES "^(cli|gui|sim)$")
        set(why "the option parser only in the programs' rooms")
      elseif(included MATCHES "${http_library}" AND NOT name MATCHES "^station/web/")
        set(why "the HTTP library only in station/web/")
      elseif(included MATCHES "${udev}" AND NOT room STREQUAL "devices")
        set(why "libudev only in devices/")
      elseif(included MATCHES "${json_crypto}" AND room STREQUAL "core")
        set(why "the core uses no JSON or crypto library")
      endif()
      if(why)
        string(APPEND offences "  ${name}: ${line}  (${why})\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(offences)
  message(FATAL_ERROR "Includes across the layers:\n${offences}")
endif()
message(STATUS "${counted} files include only from the rooms below them")
