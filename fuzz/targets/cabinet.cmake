zarq_add_fuzz_target(cabinet SOURCES ${CMAKE_CURRENT_LIST_DIR}/cabinet.cpp LIBS zarq_update)
