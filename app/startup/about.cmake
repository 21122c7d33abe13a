# The about box and the registry lookups behind its System Info button.
target_sources(setupreel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Registry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SysInfo.cpp)
target_sources(setupreel_gui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/frmAbout.cpp)

if(BUILD_TESTING)
    set(_about_tests ${CMAKE_CURRENT_LIST_DIR}/tests)
    setupreel_add_test(tst_about_registry SOURCES ${_about_tests}/tst_about_registry.cpp LIBS setupreel_core)
    setupreel_add_test(tst_about SOURCES ${_about_tests}/tst_about.cpp LIBS setupreel_gui setupreel_testsupport)
endif()
