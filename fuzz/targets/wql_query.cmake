zarq_add_fuzz_target(wql_query SOURCES ${CMAKE_CURRENT_LIST_DIR}/wql_query.cpp LIBS zarq_netinfo)
