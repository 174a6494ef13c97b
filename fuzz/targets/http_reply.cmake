zarq_add_fuzz_target(http_reply SOURCES ${CMAKE_CURRENT_LIST_DIR}/http_reply.cpp LIBS zarq_http)
