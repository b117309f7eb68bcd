# Writes the source file that holds the module's identification; the file is left alone when
# its text would not change, so that an unchanged commit compiles nothing again.
# Arguments: -DSOURCE_DIR= -DOUTPUT= -DVERSION= [-DGIT=]
set(identity "tc120mxs ${VERSION}")
if(GIT)
    # Only a checkout of this tree itself: sources unpacked inside another repository (a
    # distribution's build folder) must not take that repository's commit.
    execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse --show-toplevel
                    OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE status ERROR_QUIET)
    if(status EQUAL 0 AND top)
        file(REAL_PATH "${top}" top)
        file(REAL_PATH "${SOURCE_DIR}" source)
    endif()
    if(status EQUAL 0 AND top STREQUAL source)
        execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                        OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                        RESULT_VARIABLE status ERROR_QUIET)
        execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} status --porcelain --untracked-files=no
                        OUTPUT_VARIABLE changes ERROR_QUIET)
        if(status EQUAL 0 AND commit)
            if(changes)
                string(APPEND commit "-modified")
            endif()
            string(APPEND identity " (commit ${commit})")
        endif()
    endif()
endif()

set(text "// Generated at build time: the module's identification.
[[gnu::used]] static const char kIdentity[] = \"${identity}\";
")
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
    file(WRITE ${OUTPUT} "${text}")
endif()
