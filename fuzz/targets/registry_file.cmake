zarq_add_fuzz_target(registry_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/registry_file.cpp
                     LIBS zarq_platform)
