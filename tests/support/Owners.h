// Owners for the objects a test is given: unique_ptr holders that give the
// object back the way its interface asks, also when a failed assertion ends
// the test early.
//
//   auto clone = Own(record.Clone());                    // clone->Release()
//   auto executor = Acquire(manager.get(), "download");  // manager->ReleaseObject(executor)
#ifndef VESKUPDATE_TESTS_SUPPORT_OWNERS_H
#define VESKUPDATE_TESTS_SUPPORT_OWNERS_H

#include <VeskUpdate.h>

#include <memory>

namespace testsupport
{

/// Ends an object with its own Release().
struct CReleaser
{
    template <class T>
    void operator()(T* object) const
    {
        object->Release();
    }
};

/// An object the test owns: a factory's, or a Clone().
template <class T>
using TOwnedPtr = std::unique_ptr<T, CReleaser>;

template <class T>
TOwnedPtr<T> Own(T* object)
{
    return TOwnedPtr<T>(object);
}

/// Gives a plug-in object back to the module manager that handed it out.
template <class T>
class THandBack
{
public:
    THandBack() = default;
    explicit THandBack(kvrUpdate::ITModuleManager<T>* manager) : m_manager(manager) {}
    void operator()(T* object) const { m_manager->ReleaseObject(object); }

private:
    kvrUpdate::ITModuleManager<T>* m_manager = nullptr;
};

/// A plug-in object acquired from a module manager. It must end before the
/// manager does: declare it after the manager's owner.
template <class T>
using TAcquiredPtr = std::unique_ptr<T, THandBack<T>>;

/// The manager's object for `type` (null when none serves it), owned.
template <class T>
TAcquiredPtr<T> Acquire(kvrUpdate::ITModuleManager<T>* manager, const char* type)
{
    return TAcquiredPtr<T>(manager->AcquireObject(type), THandBack<T>(manager));
}

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_OWNERS_H
