zarq_add_fuzz_target(updater_command_line SOURCES ${CMAKE_CURRENT_LIST_DIR}/updater_command_line.cpp
                     LIBS zarq_updater_core zarq_update zarq_platform)
