// The exported factories. Each creates a fresh, independent object on the
// library's heap; the host ends it with the object's own Release.
#include <VeskUpdate.h>

#include "client/CVersionQuery.h"

#include <new>

namespace kvrUpdate
{

IVersionQuery* CreateVersionQuery()
{
    return new (std::nothrow) CVersionQuery();
}

} // namespace kvrUpdate
