zarq_add_fuzz_target(szdd SOURCES ${CMAKE_CURRENT_LIST_DIR}/szdd.cpp LIBS zarq_update)
