// Linked into every program of the sanitizer build. The sanitizers read these options before
// their environment variables, so they hold even in a program that a test starts with an
// environment of its own: every report then goes to the build's report folder, where the tests
// look for it, instead of a standard error that nobody reads.
#include <dlfcn.h>
#include <string>
#include <unistd.h>

extern "C" {

const char* __asan_default_options() {
    return "halt_on_error=1:detect_leaks=1:log_path=" ZARQ_SANITIZER_LOG;
}

const char* __lsan_default_options() {
    return "suppressions=" ZARQ_SANITIZER_SUPPRESSIONS ":print_suppressions=0";
}

const char* __ubsan_default_options() {
    return "halt_on_error=1:print_stacktrace=1:log_path=" ZARQ_SANITIZER_LOG;
}

const char* __sanitizer_get_report_path();
}

namespace {

// g++ links UndefinedBehaviorSanitizer as a library of its own beside AddressSanitizer's; next
// to AddressSanitizer it ignores log_path and writes to standard error. It gets the report
// path AddressSanitizer uses ("<prefix>.<pid>" once set, the prefix is what it takes).
__attribute__((constructor)) void sendUndefinedBehaviourReportsToTheLog() {
    const char* asanPath = __sanitizer_get_report_path();
    if (asanPath == nullptr)
        return;
    std::string prefix = asanPath;
    const std::string pidSuffix = "." + std::to_string(::getpid());
    if (prefix.size() <= pidSuffix.size() ||
        prefix.compare(prefix.size() - pidSuffix.size(), pidSuffix.size(), pidSuffix) != 0)
        return; // standard error or a path of its own: nothing to pass on
    prefix.resize(prefix.size() - pidSuffix.size());
    void* ubsan = ::dlopen("libubsan.so.1", RTLD_NOLOAD | RTLD_LAZY);
    if (ubsan == nullptr)
        return;
    using SetPath = void (*)(const char*);
    if (const auto set = reinterpret_cast<SetPath>(::dlsym(ubsan, "__sanitizer_set_report_path")))
        set(prefix.c_str());
    ::dlclose(ubsan);
}

} // namespace
