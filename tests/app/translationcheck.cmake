# Brings a copy of the English translation up to the sources with lupdate and fails when a
# message is left without its translation or has lost its source text: either would show a
# Chinese text, or keep a dead one, in the English window.
#   cmake -DLUPDATE=... -DPROJECT_SOURCE_DIR=... -DTRANSLATION=... -DSOURCES=a;b -DWORK=dir -P
file(MAKE_DIRECTORY ${WORK})
get_filename_component(name ${TRANSLATION} NAME)
configure_file(${TRANSLATION} ${WORK}/${name} COPYONLY)
execute_process(
  COMMAND ${LUPDATE} -locations none -I ${PROJECT_SOURCE_DIR} ${SOURCES} -ts ${WORK}/${name}
  RESULT_VARIABLE failed OUTPUT_VARIABLE report ERROR_VARIABLE report)
if(failed)
  message(FATAL_ERROR "lupdate failed:\n${report}")
endif()

file(READ ${WORK}/${name} updated)
string(REGEX MATCHALL "<source>[^<]*</source>[ \t\r\n]*<translation type=\"[a-z]+\""
  unfinished "${updated}")
if(unfinished)
  string(REPLACE ";" "\n" unfinished "${unfinished}")
  message(FATAL_ERROR "${name} is not complete; run the target colvane_lupdate, then "
    "translate or drop these messages:\n${unfinished}")
endif()
message(STATUS "${name} translates every text of the sources")
