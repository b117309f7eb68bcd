# The build stamp and the module's identification.

# Build date and time of the plug-in, in the forms "Mmm dd yyyy" and "hh:mm:ss", fixed at
# configure time. With SOURCE_DATE_EPOCH set (as a package build sets it, to the commit's
# time) they are that moment in UTC, so that two builds of one commit stamp the same text
# wherever they run.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(_stamp_zone UTC)
else()
    set(_stamp_zone "")
endif()
string(TIMESTAMP TC120MXS_BUILD_DATE "%b %d %Y" ${_stamp_zone})
string(TIMESTAMP TC120MXS_BUILD_TIME "%H:%M:%S" ${_stamp_zone})

# The module's identification, a string that `strings` finds in it:
# "tc120mxs VERSION (commit HASH)", the commit read at every build (with "-modified" when
# tracked files differ from it), or "tc120mxs VERSION" outside a git checkout of this tree.
set(TC120MXS_IDENTITY_SOURCE ${CMAKE_BINARY_DIR}/generated/ModuleIdentity.cpp)
find_program(GIT_EXECUTABLE git)
add_custom_target(tc120mxs_identity
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTPUT=${TC120MXS_IDENTITY_SOURCE}
            -DVERSION=${PROJECT_VERSION} "-DGIT=${GIT_EXECUTABLE}"
            -P ${CMAKE_CURRENT_LIST_DIR}/WriteModuleIdentity.cmake
    BYPRODUCTS ${TC120MXS_IDENTITY_SOURCE}
    VERBATIM)
