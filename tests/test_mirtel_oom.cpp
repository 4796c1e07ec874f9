// Out of memory inside a libmirtel call: the call returns the out-of-memory
// status instead of letting the exception end the application.
#include <cstdlib>
#include <new>

#include "test_mirtel_fixture.h"

namespace {
// Only the test's own thread runs out: the library's threads go on.
thread_local bool g_failAllocations = false;
}

// Every form of the global allocation functions, so that all of them pair
// malloc with free (the sanitizers check that pairs match).
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
void* allocate(std::size_t n) {
    if (g_failAllocations) throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* allocate(std::size_t n, std::align_val_t a) {
    if (g_failAllocations) throw std::bad_alloc();
    const std::size_t al = static_cast<std::size_t>(a);
    if (void* p = std::aligned_alloc(al, (n + al - 1) / al * al)) return p;
    throw std::bad_alloc();
}
}  // namespace
void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, std::align_val_t a) { return allocate(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocate(n, a); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return g_failAllocations ? nullptr : std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return g_failAllocations ? nullptr : std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

using namespace mirtel_test;

class MirtelOutOfMemory : public MirtelTest {};

TEST_F(MirtelOutOfMemory, CallsReportItInsteadOfThrowing) {
    TARVIK_HANDLE h = answer(2183, {V::W(7), V::S("CHLEB"), V::N("1"), V::N("2"), V::B(10), V::B(3), V::W(2009)});
    char nazwa[64], stan_min[64], stan[64], data[64];
    unsigned short numer = 0;
    g_failAllocations = true;
    const TARVIK_STATUS st = TRVG_PLUStoreRead(h, &numer, nazwa, stan_min, stan, data);
    g_failAllocations = false;
    EXPECT_EQ(st, TARVIK_STATUS_NOMEMORY);
    EXPECT_EQ(TRVG_Default(h), 0u);  // the request is still the caller's

    TARVIK_HANDLE req = nullptr;
    g_failAllocations = true;
    const TARVIK_STATUS sent = TRVS_BarcodeIns(view, &req, 1, "5900000000017\n5900000000024", 0);
    g_failAllocations = false;
    EXPECT_EQ(sent, TARVIK_STATUS_NOMEMORY);
    if (req) TRVG_Default(req);
}
