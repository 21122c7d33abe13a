# --check and --write-suggested.
target_sources(setupreel_core PRIVATE CheckCommand.cpp)
