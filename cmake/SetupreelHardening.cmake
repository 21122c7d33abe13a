# SPDX-License-Identifier: GPL-3.0-or-later
# The distribution's hardening, as a Debian package is built: dpkg-buildflags
# with every hardening feature (stack protector, _FORTIFY_SOURCE, format
# checks, full RELRO with BIND_NOW; PIE is the compiler's default there).
# The build type keeps its own optimisation and debug information, so -O and
# -g are left out; the file-prefix maps are this build's own (below).
option(SETUPREEL_HARDEN "Build with the distribution's hardening flags (dpkg-buildflags)" ON)
find_program(SETUPREEL_DPKG_BUILDFLAGS dpkg-buildflags)
if(SETUPREEL_HARDEN AND NOT SETUPREEL_DPKG_BUILDFLAGS)
    message(WARNING "dpkg-buildflags was not found (Debian: package dpkg-dev): "
                    "built without the distribution's hardening flags")
elseif(SETUPREEL_HARDEN)
    set(_hardening_compile)
    set(_hardening_link)
    foreach(_var CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND "${CMAKE_COMMAND}" -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    "${SETUPREEL_DPKG_BUILDFLAGS}" --get ${_var}
            OUTPUT_VARIABLE _flags OUTPUT_STRIP_TRAILING_WHITESPACE
            COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(_flags UNIX_COMMAND "${_flags}")
        list(FILTER _flags EXCLUDE REGEX "^-(g.*|O.*|f(file|debug|macro)-prefix-map=.*)$")
        if(_var STREQUAL "LDFLAGS")
            list(APPEND _hardening_link ${_flags})
        else()
            list(APPEND _hardening_compile ${_flags})
        endif()
    endforeach()
    message(STATUS "Hardening flags (dpkg-buildflags): ${_hardening_compile} ${_hardening_link}")
    # _FORTIFY_SOURCE needs the optimiser (glibc warns without it); under the
    # sanitizers its checked copies would bypass AddressSanitizer's own checks.
    set(_fortify_when "$<NOT:$<OR:$<CONFIG:Debug>,$<BOOL:${SETUPREEL_SANITIZE}>>>")
    list(TRANSFORM _hardening_compile REPLACE "^(-D_FORTIFY_SOURCE=.*)$" "$<${_fortify_when}:\\1>")
    target_compile_options(setupreel_options INTERFACE ${_hardening_compile})
    target_link_options(setupreel_options INTERFACE ${_hardening_link})
endif()

# No build folder or source folder in what is built (debug information, a
# file name in a message), so two builds from the same commit are alike
# wherever they are made.
target_compile_options(setupreel_options INTERFACE
    "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=."
    "-ffile-prefix-map=${CMAKE_BINARY_DIR}=.")
