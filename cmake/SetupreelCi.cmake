# SPDX-License-Identifier: GPL-3.0-or-later
# In CI (CI set when configuring) a test that skips fails: a skip there means
# the machine lacks what scripts/setup.sh installs, and hides a test that never
# ran. Qt Test's QSKIP ends with 0 after a "SKIP   :" line; a script's 77
# counts as skipped only through SKIP_RETURN_CODE, which is dropped.
if(DEFINED ENV{CI} AND NOT "$ENV{CI}" STREQUAL "" AND NOT "$ENV{CI}" MATCHES "^([Ff]alse|0)$")
    set(SETUPREEL_SKIPS_FAIL ON)
    message(STATUS "CI is set: a skipped test fails")
else()
    set(SETUPREEL_SKIPS_FAIL OFF)
endif()

# Every test of the current directory, once the directory is read to its end
# (a test's properties can be set only from the directory that added it).
function(setupreel_fail_skips_here)
    if(NOT SETUPREEL_SKIPS_FAIL)
        return()
    endif()
    get_property(scheduled DIRECTORY PROPERTY SETUPREEL_SKIPS_FAIL_SCHEDULED)
    if(NOT scheduled)
        set_property(DIRECTORY PROPERTY SETUPREEL_SKIPS_FAIL_SCHEDULED ON)
        cmake_language(DEFER CALL _setupreel_fail_skips_now)
    endif()
endfunction()

function(_setupreel_fail_skips_now)
    get_property(tests DIRECTORY PROPERTY TESTS)
    foreach(test IN LISTS tests)
        set_property(TEST ${test} PROPERTY SKIP_RETURN_CODE)
        set_property(TEST ${test} APPEND PROPERTY FAIL_REGULAR_EXPRESSION "SKIP   : ")
    endforeach()
endfunction()
