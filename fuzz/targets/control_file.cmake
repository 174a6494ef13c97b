zarq_add_fuzz_target(control_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/control_file.cpp
                     LIBS zarq_update)
