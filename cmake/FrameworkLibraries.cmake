# Checks of the libraries named in TC120MXS_FRAMEWORK_LIBS, made at configure time.

# tc120mxs_framework_library_faults(READELF LIBRARIES OUT): a list of what is wrong with the
# libraries given by path, each with how to fix it; empty when nothing is.
# - A cached value outlives the configure that gave it: a path that no longer exists.
# - A shared library without SONAME, linked by path, is recorded in NEEDED by that path: the
#   module and the tools would look for the build machine's file on the board.
function(tc120mxs_framework_library_faults readelf libraries out)
    set(faults "")
    foreach(library IN LISTS libraries)
        if(NOT library MATCHES "/")
            continue() # a name: the linker finds it, and records its SONAME or the name
        endif()
        if(NOT EXISTS "${library}")
            string(CONCAT fault "TC120MXS_FRAMEWORK_LIBS names ${library}, which does not "
                   "exist (configure with -DTC120MXS_FRAMEWORK_LIBS= to link none)")
            list(APPEND faults "${fault}")
            continue()
        endif()
        # A static archive has no dynamic section, and readelf fails on a linker script:
        # neither is recorded by path.
        execute_process(COMMAND ${readelf} -d "${library}" OUTPUT_VARIABLE dynamic
                        ERROR_QUIET RESULT_VARIABLE status)
        if(status EQUAL 0 AND dynamic MATCHES "Dynamic section"
           AND NOT dynamic MATCHES "\\(SONAME\\)")
            get_filename_component(name "${library}" NAME)
            string(CONCAT fault
                 "${library} has no SONAME: linked by path, that host path would be written "
                 "into the NEEDED entries of the module and the board tools. Give the library "
                 "one (relink it with -Wl,-soname,${name}, or patchelf --set-soname ${name} "
                 "on a copy) and name that copy here")
            list(APPEND faults "${fault}")
        endif()
    endforeach()
    set(${out} "${faults}" PARENT_SCOPE)
endfunction()
