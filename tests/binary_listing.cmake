# What the binutils say about a built binary, for the link checks.

# binary_listing(OUT COMMAND...): the standard output of the command, which must succeed.
function(binary_listing out)
    execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE listing ERROR_VARIABLE errors
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "${command} failed: ${errors}")
    endif()
    set(${out} "${listing}" PARENT_SCOPE)
endfunction()

# needed_libraries(DYNAMIC OUT): the NEEDED entries of a `readelf -d` listing, in order.
function(needed_libraries dynamic out)
    string(REGEX MATCHALL "\\(NEEDED\\)[^[]*\\[[^]]+\\]" entries "${dynamic}")
    set(needed "")
    foreach(entry IN LISTS entries)
        string(REGEX REPLACE ".*\\[([^]]+)\\]" "\\1" library "${entry}")
        list(APPEND needed ${library})
    endforeach()
    set(${out} "${needed}" PARENT_SCOPE)
endfunction()
