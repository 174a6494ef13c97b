# The sanitizer build: every program, library and test compiled and linked with
# AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer, stopping at the first report.
# scripts/test makes it in its own folder and runs the whole suite there.
option(ZARQ_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

# Every report of every sanitized process (the tests and the programs they start) lands here as
# report.<pid>; the test mains and the test sanitizer.reports fail on any file in it.
set(ZARQ_SANITIZER_REPORT_DIR ${PROJECT_BINARY_DIR}/sanitizer-reports)
set(ZARQ_SANITIZER_SUPPRESSIONS ${PROJECT_SOURCE_DIR}/tests/sanitizers/lsan.supp)

if(ZARQ_SANITIZE)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        message(FATAL_ERROR "ZARQ_SANITIZE is set up for Debian's g++")
    endif()
    set(zarq_sanitize_flags
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${zarq_sanitize_flags})
    add_link_options(${zarq_sanitize_flags})
    file(MAKE_DIRECTORY ${ZARQ_SANITIZER_REPORT_DIR})
endif()

# Gives every executable of the project the sanitizers' default options (report folder,
# suppressions, stop at the first report), so they hold even in a child whose environment a
# test replaced. Call once, after every folder is added.
function(zarq_sanitize_executables)
    if(NOT ZARQ_SANITIZE)
        return()
    endif()
    set(dirs ${PROJECT_SOURCE_DIR})
    while(dirs)
        list(POP_FRONT dirs dir)
        get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
        list(APPEND dirs ${subdirs})
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(t ${targets})
            get_target_property(type ${t} TYPE)
            if(type STREQUAL "EXECUTABLE")
                target_sources(${t} PRIVATE ${PROJECT_SOURCE_DIR}/tests/sanitizers/DefaultOptions.cpp)
                target_compile_definitions(${t} PRIVATE
                    ZARQ_SANITIZER_LOG="${ZARQ_SANITIZER_REPORT_DIR}/report"
                    ZARQ_SANITIZER_SUPPRESSIONS="${ZARQ_SANITIZER_SUPPRESSIONS}")
            endif()
        endforeach()
    endwhile()
endfunction()
