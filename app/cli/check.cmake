# SPDX-License-Identifier: GPL-3.0-or-later
# --check and --write-suggested.
target_sources(setupreel_core PRIVATE CheckCommand.cpp)
