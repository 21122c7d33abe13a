# SPDX-License-Identifier: GPL-3.0-or-later
# --summarize.
target_sources(setupreel_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SummarizeCommand.cpp)
