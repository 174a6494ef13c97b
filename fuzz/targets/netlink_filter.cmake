zarq_add_fuzz_target(netlink_filter SOURCES ${CMAKE_CURRENT_LIST_DIR}/netlink_filter.cpp
                     LIBS zarq_netinfo)
