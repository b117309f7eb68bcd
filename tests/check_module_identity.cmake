# The module names its version (and commit) in a string that survives stripping, as the
# module ships: `strings libtc120mxs.so | grep '^tc120mxs '` finds it.
# Arguments: -DSTRIP= -DMODULE= -DVERSION= -DWORK=
include(${CMAKE_CURRENT_LIST_DIR}/report_faults.cmake)
set(stripped ${WORK}/identity-stripped.so)
execute_process(COMMAND ${STRIP} --strip-all -o ${stripped} ${MODULE} RESULT_VARIABLE status
                ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${STRIP} failed on ${MODULE}: ${errors}")
endif()
file(STRINGS ${stripped} identity REGEX "^tc120mxs ")
file(REMOVE ${stripped})
set(faults "")
string(REPLACE "." "\\." version "${VERSION}")
if(NOT identity MATCHES "^tc120mxs ${version}( \\(commit [0-9a-f]+(-modified)?\\))?$")
    list(APPEND faults "want 'tc120mxs ${VERSION}' and the commit, found '${identity}'")
endif()
report_faults("${MODULE} once stripped" faults)
message(STATUS "${identity}")
