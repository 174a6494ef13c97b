zarq_add_fuzz_target(session_address SOURCES ${CMAKE_CURRENT_LIST_DIR}/session_address.cpp
                     LIBS zarq_session zarq_http)
