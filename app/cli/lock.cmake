# SPDX-License-Identifier: GPL-3.0-or-later
# --lock.
target_sources(setupreel_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/LockCommand.cpp)
