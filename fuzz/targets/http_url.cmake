zarq_add_fuzz_target(http_url SOURCES ${CMAKE_CURRENT_LIST_DIR}/http_url.cpp LIBS zarq_http)
