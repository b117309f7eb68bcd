# The configure-time check of TC120MXS_FRAMEWORK_LIBS: a shared library without SONAME, given
# by path, is refused with the fix; one with SONAME, a plain name and a static archive pass;
# a path that does not exist is refused.
# Arguments: -DREADELF= -DWITH_SONAME= -DWITHOUT_SONAME= -DARCHIVE= -DSOURCE_DIR=
include(${CMAKE_CURRENT_LIST_DIR}/report_faults.cmake)
include(${SOURCE_DIR}/cmake/FrameworkLibraries.cmake)

set(faults "")
tc120mxs_framework_library_faults("${READELF}"
    "${WITH_SONAME};${WITHOUT_SONAME};vistrel;${ARCHIVE};/nonexistent/libgone.so" found)
list(LENGTH found count)
if(NOT count EQUAL 2)
    list(APPEND faults "want 2 faults (no SONAME, no such file), got ${count}: ${found}")
endif()
get_filename_component(name "${WITHOUT_SONAME}" NAME)
if(NOT found MATCHES "${WITHOUT_SONAME} has no SONAME[^;]*-Wl,-soname,${name}")
    list(APPEND faults "the library without SONAME is not refused with its fix: ${found}")
endif()
if(NOT found MATCHES "/nonexistent/libgone.so, which does not exist")
    list(APPEND faults "the missing library is not refused: ${found}")
endif()
report_faults("framework library check" faults)
