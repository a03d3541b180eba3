// Preloaded into a child program, makes every allocation through operator
// new of more bytes than KESTROVA_FAIL_ALLOCATIONS_OVER fail, on every
// thread, as it does when memory runs out.

#include <cstdlib>
#include <new>

namespace {

long long limit()
{
    static const long long over = [] {
        const char *text = std::getenv("KESTROVA_FAIL_ALLOCATIONS_OVER");
        return text ? std::atoll(text) : -1LL;
    }();
    return over;
}

} // namespace

void *operator new(std::size_t size)
{
    const long long over = limit();
    if (over >= 0 && static_cast<long long>(size) > over)
        throw std::bad_alloc();
    if (void *p = std::malloc(size != 0 ? size : 1))
        return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size)
{
    return operator new(size);
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void *p) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}
