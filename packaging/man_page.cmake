# Writes the manual page of one program with help2man, from the program's own --help and
# --version, and from the --help of each subcommand named.
#
#   cmake -DHELP2MAN=... -DPROGRAM=<command to run> -DNAME=<program name> -DSUMMARY=<one line>
#         -DSUBCOMMANDS=<a;b> -DOUTPUT=<page> -DWORK=<folder> -P man_page.cmake
#
# Leaves <page>.gz.
#
# PROGRAM may be a wrapper that runs the program under an emulator.
file(MAKE_DIRECTORY "${WORK}")
# The help is wrapped to the terminal the build runs in, if any: the page is the same for all.
set(ENV{COLUMNS} 80)
set(include_file "${WORK}/${NAME}.h2m")
set(include_text "")
if(SUBCOMMANDS)
  string(APPEND include_text "[COMMANDS]\n")
  foreach(command IN LISTS SUBCOMMANDS)
    execute_process(COMMAND "${PROGRAM}" ${command} --help
      OUTPUT_VARIABLE help RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${NAME} ${command} --help failed: ${result}")
    endif()
    # roff: a leading dot or quote would start a request, a backslash an escape.
    string(REPLACE "\\" "\\e" help "${help}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
    string(APPEND include_text ".SS \"${NAME} ${command}\"\n.nf\n${help}.fi\n")
  endforeach()
endif()
set(include_option "")
if(include_text)
  file(WRITE "${include_file}" "${include_text}")
  set(include_option --include "${include_file}")
endif()
execute_process(
  COMMAND "${HELP2MAN}" --no-info --no-discard-stderr --name "${SUMMARY}" ${include_option}
          --output "${OUTPUT}" "${PROGRAM}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${NAME}: ${result}")
endif()
# Installed compressed, as Debian keeps its pages; -n leaves the time out of the file.
execute_process(COMMAND gzip -9nf "${OUTPUT}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${NAME}: ${result}")
endif()
