# SPDX-License-Identifier: GPL-3.0-or-later
# --install, --inspect, --help, --version and the dispatch.
target_sources(setupreel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Cli.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InspectCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InstallCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ResumeEntry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Terminal.cpp)

if(BUILD_TESTING)
    add_subdirectory(tests)
endif()
