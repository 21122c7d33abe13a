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
    install(TARGETS ${target} LIBRARY DESTINATION "${SETUPREEL_INSTALL_DIR}/system32")
    add_dependencies(setupreel_runtime ${target})
endfunction()

# One Qt Test executable per area, run headless.
# Labelled for `ctest -L`: "window" when it shows windows, "control" for the
# control libraries' own tests, "core" for the rest; LABEL names another
# ("program": it starts the real program).
function(setupreel_add_test name)
    cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
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
    target_compile_options(${name} PRIVATE -g)
    target_compile_definitions(${name} PRIVATE
        SETUPREEL_BUILD_APP_DIR="${SETUPREEL_APP_DIR}"
        SETUPREEL_BUILD_SYSTEM_DIR="${SETUPREEL_SYSTEM_DIR}"
        SETUPREEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300 LABELS "${T_LABEL}")
    add_dependencies(${name} setupreel_runtime)
endfunction()
