// How the library allocates what it hands to a host: a factory's object or
// a Clone. Nothing may throw across the interface, so running out of memory,
// or a constructor that fails while copying, gives null.
#ifndef VESKUPDATE_NEWORNULL_H
#define VESKUPDATE_NEWORNULL_H

#include <new>
#include <utility>

namespace kvrUpdate
{

/// A new T constructed from `args`, or null.
template <class T, class... A>
T* NewOrNull(A&&... args) noexcept
{
    try
    {
        return new (std::nothrow) T(std::forward<A>(args)...);
    }
    catch (...)
    {
        return nullptr; // the constructor threw; new has freed the block
    }
}

} // namespace kvrUpdate

#endif // VESKUPDATE_NEWORNULL_H
