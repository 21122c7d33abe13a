# The visual-style manifest, the start-up check of the support files and the
# program's font registration.
target_sources(setupreel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/WinXpStyle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SupportCheck.cpp)
target_sources(setupreel_gui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Form4.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProgramFont.cpp)

if(BUILD_TESTING)
    set(_startup_tests ${CMAKE_CURRENT_LIST_DIR}/tests)
    setupreel_add_test(tst_winxpstyle SOURCES ${_startup_tests}/tst_winxpstyle.cpp LIBS setupreel_core)
    target_include_directories(tst_winxpstyle PRIVATE ${CMAKE_SOURCE_DIR}/testsupport)
    setupreel_add_test(tst_supportcheck SOURCES ${_startup_tests}/tst_supportcheck.cpp LIBS setupreel_core)
    target_link_libraries(tst_supportcheck PRIVATE Qt6::Widgets) # the real search control is a widget
    setupreel_add_test(tst_form4 SOURCES ${_startup_tests}/tst_form4.cpp LIBS setupreel_gui setupreel_testsupport)
    # The real program from a copy of the build's folder, in a virtual X server.
    setupreel_add_test(tst_startup_program SOURCES ${_startup_tests}/tst_startup_program.cpp LIBS Qt6::Core LABEL program)
    target_include_directories(tst_startup_program PRIVATE ${CMAKE_SOURCE_DIR}/testsupport)
    target_compile_definitions(tst_startup_program PRIVATE SETUPREEL_PROGRAM="$<TARGET_FILE:setupreel>")
    add_dependencies(tst_startup_program setupreel)
endif()
