zarq_add_fuzz_target(updater_list_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/updater_list_file.cpp
                     LIBS zarq_updater_core)
# The target stages a cabinet made the way the tests make theirs.
foreach(exe fuzz_updater_list_file fuzz_updater_list_file_replay)
    if(TARGET ${exe})
        target_include_directories(${exe} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    endif()
endforeach()
