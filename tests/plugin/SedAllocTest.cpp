// Compiling and running allocate nothing: every allocation function of the process is replaced
// here and counted while the engine works.
#include "SedTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

extern "C" void *__libc_malloc(std::size_t);
extern "C" void *__libc_calloc(std::size_t, std::size_t);
extern "C" void *__libc_realloc(void *, std::size_t);
extern "C" void __libc_free(void *);

namespace {
bool counting = false;
long allocations = 0;

void note()
{
    if (counting)
        ++allocations;
}
} // namespace

extern "C" void *malloc(std::size_t n)
{
    note();
    return __libc_malloc(n);
}
extern "C" void *calloc(std::size_t a, std::size_t b)
{
    note();
    return __libc_calloc(a, b);
}
extern "C" void *realloc(void *p, std::size_t n)
{
    note();
    return __libc_realloc(p, n);
}
extern "C" void free(void *p) { __libc_free(p); }

void *operator new(std::size_t n)
{
    note();
    if (void *p = __libc_malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return operator new(n); }
void operator delete(void *p) noexcept { __libc_free(p); }
void operator delete[](void *p) noexcept { __libc_free(p); }
void operator delete(void *p, std::size_t) noexcept { __libc_free(p); }
void operator delete[](void *p, std::size_t) noexcept { __libc_free(p); }

namespace {

void discard(void *, const char *, std::size_t) {}

} // namespace

TEST(SedAllocation, CompilingAndRunningAllocateNothing)
{
    const char *scripts[] = {
        "s/o/0/g",
        "s/\\(.*\\)=\\(.*\\)/\\2=\\1/",
        "/^#/d;s/[ \\t][ \\t]*/ /g;s/^ //",
        "h;s/a/b/;G;x;H;g",
        "y/abcdefghijklmnopqrstuvwxyz/ABCDEFGHIJKLMNOPQRSTUVWXYZ/",
        ":a;s/x//;ta",
        "/start/,/end/{s/^/> /;p;}",
        "1,3s/$/!/;$!N;P;D",
        "a\\\nappended\ni\\\ninserted",
        "s/a*a*a*a*a*a*b/X/;s/.*x.*y.*z/Y/g",
        "s/\\(ab*\\)\\1*c/[&]/g;T;s/^/t:/",
        "p;n;l;=",
        "s/a/b/p;s/x*/-/g;c\\\nchanged",
        "s/a/b/;s/x/y/;p x", // a compile error leaves through the exception
        "s/\\(x\\)/\\2/",    // so does this one
        "r /nonexistent;a too\nb end\n:end",
        "s/\\(a\\)a*a*a*\\1c/X/;s/\\([ab]\\)a*\\1*c/Y/g", // remembered states with group contents
    };
    const std::string texts[] = {
        "foo boo",
        "key=value",
        "  spaced\tout  text",
        "start",
        "xxxxxyz",
        "end",
        std::string(4000, 'a'),
        std::string(3999, 'x') + "y",
        "GET /index.html?a=1&b=2 HTTP/1.1",
        "b" + std::string(1000, 'a') + "bc",
    };
    auto engine = std::make_unique<SedObj>();
    engine->set_output(discard, nullptr);
    // The first error message formatting may set up locale data once; do it before counting.
    engine->recompile("a x\na y");
    engine->execute_commands("warm up");

    counting = true;
    allocations = 0;
    int runs = 0;
    int failures = 0;
    for (const char *script : scripts) {
        try {
            engine->recompile(script);
            for (const std::string &text : texts) {
                engine->execute_commands(text.c_str());
                ++runs;
            }
        } catch (const SedObjException &) {
            ++failures;
        }
        engine->context_save(-1);
        engine->context_load(0);
    }
    counting = false;
    // The only allocations are the C++ runtime's exception objects, one per error thrown.
    EXPECT_EQ(failures, 2);
    EXPECT_EQ(allocations, failures);
    EXPECT_GT(runs, 100);
}
