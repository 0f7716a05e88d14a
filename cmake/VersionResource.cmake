# colvane_version_resource(<output .rc> PROGRAM <name> DESCRIPTION_ZH <text> DESCRIPTION_EN <text>
#                          [COMPANY <name>])
# Writes the Windows version information of the program <name>.exe: the project's name and
# version, the publisher (COMPANY, else COLVANE_PUBLISHER) and the copyright holder of
# packaging/copyright, in a Chinese and an English block with their own descriptions.

set(COLVANE_VERSION_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/versioninfo.rc.in)

# The project's own entry comes first in the copyright file: "Copyright: <years> <holder>".
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/copyright COLVANE_COPYRIGHT
  REGEX "^Copyright: " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright: *" "" COLVANE_COPYRIGHT "${COLVANE_COPYRIGHT}")
if(NOT COLVANE_COPYRIGHT)
  message(FATAL_ERROR "packaging/copyright has no Copyright line for the version information")
endif()

function(colvane_version_resource output)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "PROGRAM;DESCRIPTION_ZH;DESCRIPTION_EN;COMPANY" "")
  if(NOT DEFINED arg_COMPANY)
    set(arg_COMPANY "${COLVANE_PUBLISHER}")
  endif()
  # Windows shows four numbers; the project's version may name fewer.
  set(numbers)
  foreach(part MAJOR MINOR PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
      list(APPEND numbers 0)
    else()
      list(APPEND numbers ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  string(REPLACE ";" "." rc_version "${numbers}")
  string(REPLACE ";" "," rc_version_numbers "${numbers}")
  # Inside a resource string a backslash starts an escape and a quote is written twice; the
  # publisher's name is free text from the cache.
  set(arg_COPYRIGHT "${COLVANE_COPYRIGHT}")
  foreach(field PROGRAM DESCRIPTION_ZH DESCRIPTION_EN COMPANY COPYRIGHT)
    string(REPLACE "\\" "\\\\" text "${arg_${field}}")
    string(REPLACE "\"" "\"\"" text "${text}")
    set(rc_${field} "${text}")
  endforeach()
  configure_file(${COLVANE_VERSION_TEMPLATE} ${output} @ONLY)
endfunction()
