# SPDX-License-Identifier: GPL-3.0-or-later
# A library the program loads shows it only its entry points (each marked
# Q_DECL_EXPORT): its own functions and the static libraries linked into it
# stay inside, so two libraries never bind to each other's copies.
function(setupreel_hide_symbols target)
    set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL)
endfunction()

# The build tree is laid out as an installed copy, so the program runs from it.
set(SETUPREEL_APP_DIR    "${CMAKE_BINARY_DIR}/setupreel")
set(SETUPREEL_SYSTEM_DIR "${SETUPREEL_APP_DIR}/system32")
set(SETUPREEL_FONTS_DIR  "${SETUPREEL_APP_DIR}/Fonts")
set(SETUPREEL_INSTALL_DIR "lib/setupreel")
file(MAKE_DIRECTORY "${SETUPREEL_SYSTEM_DIR}" "${SETUPREEL_FONTS_DIR}")

# Everything the runnable folder holds; tests that start the real program or load
# the real controls depend on it.
add_custom_target(setupreel_runtime ALL)

# A hosted control: a Qt plugin in the system folder under its own file name.
# CORE_ONLY: a control that needs no window system (the terminal commands load
# it too); it sees the widget headers only for the factory's parent type.
function(setupreel_add_control target file_base file_suffix)
    cmake_parse_arguments(C "CORE_ONLY" "" "" ${ARGN})
    add_library(${target} MODULE ${C_UNPARSED_ARGUMENTS})
    if(C_CORE_ONLY)
        target_link_libraries(${target} PRIVATE Qt6::Core setupreel_control_api)
        target_include_directories(${target} PRIVATE $<TARGET_PROPERTY:Qt6::Widgets,INTERFACE_INCLUDE_DIRECTORIES>)
        # A widget function called by mistake fails the link, not the start.
        # (Sanitizer and fuzzer builds resolve their own symbols at run time.)
        if(NOT SETUPREEL_SANITIZE AND NOT SETUPREEL_FUZZ)
            target_link_options(${target} PRIVATE -Wl,--no-undefined)
        endif()
    else()
        target_link_libraries(${target} PRIVATE Qt6::Core Qt6::Gui Qt6::Widgets setupreel_control_api)
    endif()
    set_target_properties(${target} PROPERTIES
        PREFIX "" OUTPUT_NAME "${file_base}" SUFFIX "${file_suffix}"
        LIBRARY_OUTPUT_DIRECTORY "${SETUPREEL_SYSTEM_DIR}")
    setupreel_hide_symbols(${target})
    install(TARGETS ${target} LIBRARY DESTINATION "${SETUPREEL_INSTALL_DIR}/system32")
    add_dependencies(setupreel_runtime ${target})
endfunction()

include("${CMAKE_CURRENT_LIST_DIR}/SetupreelCi.cmake")

# The Qt headers every test reads, compiled once: Core, and Gui with Widgets
# for the tests that link them. Two programs only make them; every test reuses
# one, so its options match theirs. Qt Test stays out: its headers read
# QT_TESTCASE_BUILDDIR, which differs per folder, and GCC drops a compiled
# header made under another value of a macro it read.
set(SETUPREEL_TEST_COMPILE_OPTIONS -g)
if(BUILD_TESTING)
    set(_pch_main "${CMAKE_BINARY_DIR}/setupreel_test_pch.cpp")
    file(CONFIGURE OUTPUT "${_pch_main}" CONTENT "int main() { return 0; }\n")
    foreach(_kind core widgets)
        add_executable(setupreel_test_pch_${_kind} EXCLUDE_FROM_ALL "${_pch_main}")
        target_compile_options(setupreel_test_pch_${_kind} PRIVATE ${SETUPREEL_TEST_COMPILE_OPTIONS})
        target_precompile_headers(setupreel_test_pch_${_kind} PRIVATE <QtCore>)
    endforeach()
    target_link_libraries(setupreel_test_pch_core PRIVATE Qt6::Core)
    target_link_libraries(setupreel_test_pch_widgets PRIVATE Qt6::Widgets)
    target_precompile_headers(setupreel_test_pch_widgets PRIVATE <QtGui> <QtWidgets>)
endif()

# Whether target links lib, directly or through the libraries it links.
function(_setupreel_links target lib out)
    set(found OFF)
    set(queue ${target})
    set(seen)
    while(queue AND NOT found)
        list(POP_FRONT queue t)
        if(t IN_LIST seen OR NOT TARGET ${t})
            continue()
        endif()
        list(APPEND seen ${t})
        get_target_property(imported ${t} IMPORTED)
        get_target_property(type ${t} TYPE)
        set(deps)
        if(NOT imported AND NOT type STREQUAL "INTERFACE_LIBRARY")
            get_target_property(deps ${t} LINK_LIBRARIES)
        endif()
        get_target_property(interface ${t} INTERFACE_LINK_LIBRARIES)
        foreach(d IN LISTS deps interface)
            if(d STREQUAL lib)
                set(found ON)
            elseif(NOT d MATCHES "^\\$<" AND NOT d MATCHES "-NOTFOUND$")
                list(APPEND queue ${d})
            endif()
        endforeach()
    endwhile()
    set(${out} ${found} PARENT_SCOPE)
endfunction()

# ccache caches a file compiled with a precompiled header only when told that
# the header's macros and time stamps are alike.
if(CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
    set(SETUPREEL_TEST_LAUNCHER "${CMAKE_COMMAND}" -E env CCACHE_SLOPPINESS=pch_defines,time_macros
        ${CMAKE_CXX_COMPILER_LAUNCHER})
    if(BUILD_TESTING)
        set_target_properties(setupreel_test_pch_core setupreel_test_pch_widgets PROPERTIES
            CXX_COMPILER_LAUNCHER "${SETUPREEL_TEST_LAUNCHER}")
    endif()
endif()

function(_setupreel_use_test_pch name)
    _setupreel_links(${name} Qt6::Widgets widgets)
    _setupreel_links(${name} Qt6::Gui gui)
    if(widgets)
        target_precompile_headers(${name} REUSE_FROM setupreel_test_pch_widgets)
    elseif(NOT gui)
        target_precompile_headers(${name} REUSE_FROM setupreel_test_pch_core)
    else()
        return()
    endif()
    if(SETUPREEL_TEST_LAUNCHER)
        set_target_properties(${name} PROPERTIES CXX_COMPILER_LAUNCHER "${SETUPREEL_TEST_LAUNCHER}")
    endif()
endfunction()

# One Qt Test executable per area, run headless.
# Labelled for `ctest -L`: "window" when it shows windows, "control" for the
# control libraries' own tests, "core" for the rest; LABEL names another
# ("program": it starts the real program). NO_TEST: built only, another test
# of the directory runs it in the setting it needs.
function(setupreel_add_test name)
    cmake_parse_arguments(T "NO_TEST" "LABEL" "SOURCES;LIBS" ${ARGN})
    if(NOT T_LABEL)
        if("setupreel_gui" IN_LIST T_LIBS)
            set(T_LABEL window)
        elseif(CMAKE_CURRENT_SOURCE_DIR MATCHES "/(controls|searchctl)/")
            set(T_LABEL control)
        else()
            set(T_LABEL core)
        endif()
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
    target_compile_options(${name} PRIVATE ${SETUPREEL_TEST_COMPILE_OPTIONS})
    # Which shared header it takes is known once every library is defined.
    cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL _setupreel_use_test_pch [[${name}]])")
    target_compile_definitions(${name} PRIVATE
        SETUPREEL_BUILD_APP_DIR="${SETUPREEL_APP_DIR}"
        SETUPREEL_BUILD_SYSTEM_DIR="${SETUPREEL_SYSTEM_DIR}"
        SETUPREEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    add_dependencies(${name} setupreel_runtime)
    setupreel_fail_skips_here()
    if(T_NO_TEST)
        return()
    endif()
    add_test(NAME ${name} COMMAND ${name})
    # Each test keeps its runs, and holds the one-run-at-a-time lock, apart
    # from every other test and from the user's own.
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_STATE_HOME=${CMAKE_CURRENT_BINARY_DIR}/${name}-state"
        TIMEOUT 300 LABELS "${T_LABEL}")
endfunction()
