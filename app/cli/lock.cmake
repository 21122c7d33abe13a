# --lock.
target_sources(setupreel_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/LockCommand.cpp)
