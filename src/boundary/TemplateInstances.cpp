// The instances of the interface templates that the Windows library exports:
// the header declares them with the export mark, and they are made here, once.
#include <VeskUpdate.h>

namespace kvrUpdate
{

template class ICloneable<IVersion>;
template class ICloneable<IVersionList>;
template class ICloneable<IPatch>;
template class ICloneable<IPatchList>;
template class ICloneable<IUpdatePackage>;
template class ICloneable<IFileCheckerDef>;
template class IVectable<const IVersion*>;
template class IVectable<const IPatch*>;

} // namespace kvrUpdate
