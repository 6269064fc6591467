// An answer of the version center read into one record type, chosen when the
// target is built: VESK_FUZZ_RECORD names the class (CVersionSituation,
// CVersionList, CPatchList, CUpdatePackage or CFileCheckerDef). See
// FuzzAnswer.h.
#include "FuzzAnswer.h"

#include "model/CFileCheckerDef.h"
#include "model/CPatchList.h"
#include "model/CUpdatePackage.h"
#include "model/CVersionList.h"
#include "model/CVersionSituation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::CheckAnswer<kvrUpdate::VESK_FUZZ_RECORD>(data, size);
    return 0;
}
