#include <cstdio>
#include <cstdlib>

// Leaks on purpose: the sanitizer harness's own test starts it to show that a child's report
// fails the test that started it.
int main(int argc, char**) {
    void* volatile block = std::malloc(static_cast<size_t>(argc) * 64);
    block = nullptr;
    std::puts("leaked");
    return 0;
}
