#include "boundary/FailingAllocator.h"

#include <cstddef>
#include <cstdlib>
#include <new>

#ifdef _WIN32
#  include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#  define VESK_UNDER_SANITIZER 1
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#    define VESK_UNDER_SANITIZER 1
#  endif
#endif

#if defined(__GLIBC__) && !defined(VESK_UNDER_SANITIZER)
#  define VESK_REPLACE_MALLOC 1
#endif

namespace
{

// Plain data, so that reaching it allocates nothing.
struct CThreadState
{
    long armedAt;             // 0: not armed
    long seen;                // allocations since Arm
    bool failed;              // the armed allocation was reached
    long live;                // allocated minus freed
    const void* failedCaller; // where the failed allocation was asked for
};

thread_local CThreadState t_state{0, 0, false, 0, nullptr};

// Whether the next allocation on this thread, asked for by code at
// `caller`, is to fail.
bool NextFails(const void* caller = nullptr)
{
    CThreadState& state = t_state;
    if (state.armedAt == 0)
        return false;
    if (++state.seen != state.armedAt)
        return false;
    state.failed = true;
    state.failedCaller = caller;
    return true;
}

// Counts a block handed out (none for null); the block.
void* Counted(void* block)
{
    if (block != nullptr)
        ++t_state.live;
    return block;
}

void Uncounted(const void* block)
{
    if (block != nullptr)
        --t_state.live;
}

} // namespace

namespace failing_allocator
{

bool CoversMalloc()
{
#ifdef VESK_REPLACE_MALLOC
    return true;
#else
    return false;
#endif
}

void Arm(long failAt)
{
    t_state.seen = 0;
    t_state.failed = false;
    t_state.failedCaller = nullptr;
    t_state.armedAt = failAt;
}

bool Disarm()
{
    t_state.armedAt = 0;
    return t_state.failed;
}

long LiveBlocks()
{
    return t_state.live;
}

const void* FailedCaller()
{
    return t_state.failedCaller;
}

} // namespace failing_allocator

#ifdef VESK_REPLACE_MALLOC

// glibc's own allocator under its internal names; the replacements below
// count and fail, then hand over to it.
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* block, std::size_t size);
extern "C" void* __libc_memalign(std::size_t alignment, std::size_t size);
extern "C" void __libc_free(void* block);

extern "C" void* malloc(std::size_t size)
{
    if (NextFails(__builtin_return_address(0)))
        return nullptr;
    return Counted(__libc_malloc(size));
}

extern "C" void* calloc(std::size_t count, std::size_t size)
{
    if (NextFails(__builtin_return_address(0)))
        return nullptr;
    return Counted(__libc_calloc(count, size));
}

extern "C" void* realloc(void* block, std::size_t size)
{
    if (block == nullptr)
        return malloc(size);
    if (size == 0)
    {
        Uncounted(block);
        return __libc_realloc(block, 0);
    }
    if (NextFails(__builtin_return_address(0)))
        return nullptr;
    return __libc_realloc(block, size);
}

extern "C" void* memalign(std::size_t alignment, std::size_t size)
{
    if (NextFails(__builtin_return_address(0)))
        return nullptr;
    return Counted(__libc_memalign(alignment, size));
}

extern "C" void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    return memalign(alignment, size);
}

extern "C" int posix_memalign(void** result, std::size_t alignment, std::size_t size)
{
    void* block = memalign(alignment, size);
    if (block == nullptr)
        return 12; // ENOMEM
    *result = block;
    return 0;
}

extern "C" void free(void* block)
{
    Uncounted(block);
    __libc_free(block);
}

namespace
{

// malloc above fails and counts.
void* Allocate(std::size_t size)
{
    return std::malloc(size != 0 ? size : 1);
}

void* AllocateAligned(std::size_t size, std::size_t alignment)
{
    return memalign(alignment, size != 0 ? size : 1);
}

void Free(void* block)
{
    std::free(block);
}

} // namespace

#else

namespace
{

void* Allocate(std::size_t size)
{
    if (NextFails())
        return nullptr;
    return Counted(std::malloc(size != 0 ? size : 1));
}

void* AllocateAligned(std::size_t size, std::size_t alignment)
{
    if (NextFails())
        return nullptr;
    // aligned_alloc wants a multiple of the alignment.
    const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
#  ifdef _WIN32
    return Counted(_aligned_malloc(rounded != 0 ? rounded : alignment, alignment));
#  else
    return Counted(std::aligned_alloc(alignment, rounded != 0 ? rounded : alignment));
#  endif
}

void Free(void* block)
{
    Uncounted(block);
    std::free(block);
}

void FreeAligned(void* block)
{
    Uncounted(block);
#  ifdef _WIN32
    _aligned_free(block);
#  else
    std::free(block);
#  endif
}

} // namespace

#endif

namespace
{

void* NewOrThrow(std::size_t size)
{
    void* block = Allocate(size);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void* NewAlignedOrThrow(std::size_t size, std::align_val_t alignment)
{
    void* block = AllocateAligned(size, static_cast<std::size_t>(alignment));
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

#ifdef VESK_REPLACE_MALLOC
void FreeAligned(void* block)
{
    Free(block);
}
#endif

} // namespace

void* operator new(std::size_t size)
{
    return NewOrThrow(size);
}

void* operator new[](std::size_t size)
{
    return NewOrThrow(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void* operator new(std::size_t size, std::align_val_t alignment)
{
    return NewAlignedOrThrow(size, alignment);
}

void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return NewAlignedOrThrow(size, alignment);
}

void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return AllocateAligned(size, static_cast<std::size_t>(alignment));
}

void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return AllocateAligned(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* block) noexcept
{
    Free(block);
}

void operator delete[](void* block) noexcept
{
    Free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    Free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    Free(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept
{
    Free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    Free(block);
}

void operator delete(void* block, std::align_val_t) noexcept
{
    FreeAligned(block);
}

void operator delete[](void* block, std::align_val_t) noexcept
{
    FreeAligned(block);
}

void operator delete(void* block, std::size_t, std::align_val_t) noexcept
{
    FreeAligned(block);
}

void operator delete[](void* block, std::size_t, std::align_val_t) noexcept
{
    FreeAligned(block);
}

void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept
{
    FreeAligned(block);
}

void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept
{
    FreeAligned(block);
}
