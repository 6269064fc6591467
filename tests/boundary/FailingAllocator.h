// An allocator for tests that makes one chosen allocation fail. The test
// program that links FailingAllocator.cpp replaces the global operator new
// and delete (every form), and where the C library allows it (glibc, no
// sanitizer) also malloc, calloc, realloc, the aligned forms and free, so
// that allocations inside libcurl, jsoncpp and the C library fail too.
// Counting is per thread: only the thread that arms sees a failure.
#ifndef VESKUPDATE_TESTS_BOUNDARY_FAILINGALLOCATOR_H
#define VESKUPDATE_TESTS_BOUNDARY_FAILINGALLOCATOR_H

namespace failing_allocator
{

/// Whether malloc and its kin are replaced as well as operator new. False
/// under a sanitizer (its runtime owns malloc) and outside glibc.
bool CoversMalloc();

/// From now on, the `failAt`-th allocation on this thread (1 is the next)
/// fails, and only that one: operator new throws std::bad_alloc, the nothrow
/// forms and malloc return null.
void Arm(long failAt);

/// Stops counting. True when the armed allocation was reached (and failed).
bool Disarm();

/// Blocks this thread has allocated and not freed, all counted, armed or
/// not: the difference across a piece of work that keeps nothing is a leak.
long LiveBlocks();

/// The code that asked for the failed allocation when it was malloc or a
/// kin of it; null for operator new and when nothing failed.
const void* FailedCaller();

} // namespace failing_allocator

#endif // VESKUPDATE_TESTS_BOUNDARY_FAILINGALLOCATOR_H
