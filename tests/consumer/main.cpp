// A host in miniature: it includes only the public header, creates objects
// through the factories, uses them a little and releases them. Exit status 0
// when every answer is the documented one.
#include <VeskUpdate.h>

#include <cstdio>
#include <cstring>

namespace
{

int failures = 0;

void Expect(bool condition, const char* what)
{
    if (!condition)
    {
        std::fprintf(stderr, "vesk-consumer: unexpected: %s\n", what);
        ++failures;
    }
}

} // namespace

int main()
{
    using namespace kvrUpdate;

    IUpdater* updater = CreateUpdater();
    Expect(updater != nullptr, "CreateUpdater gave null");
    if (updater == nullptr)
        return 1;
    updater->SetProductName("Editor");
    updater->SetVersionCenter("http://127.0.0.1:1/");
    Expect(std::strcmp(updater->GetLocalQuery()->GetProductName(), "Editor") == 0,
           "the local state does not carry the product name");
    Expect(updater->GetLocalQuery()->GetVersion()->GetPart(0) == 0, "a new local state is not at 0.0.0.0");
    Expect(std::strstr(updater->ToString(), "\"porduct_name\"") != nullptr, "ToString lacks the product name");
    Expect(!updater->FromString("not json"), "FromString took text that is not JSON");
    Expect(updater->GetLocalQuery()->GetPatchList(PatchListInstalled)->GetCount() == 0 &&
               updater->GetLocalQuery()->GetPatchList(PatchListDownloaded)->GetCount() == 0,
           "a new local state has patches");
    updater->Release();

    IExecutorManager* executors = CreateExecutorManager();
    Expect(executors != nullptr, "CreateExecutorManager gave null");
    if (executors != nullptr)
    {
        Expect(executors->AcquireObject("download") == nullptr, "an empty manager served a type");
        executors->Release();
    }

    if (failures == 0)
        std::printf("vesk-consumer: ok\n");
    return failures == 0 ? 0 : 1;
}
