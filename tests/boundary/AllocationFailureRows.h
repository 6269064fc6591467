// The kinds of rows of the allocation-failure table: each runs one public
// operation inside CRun::Armed and checks what it left, either the whole
// result or what the header promises when memory runs out.
#ifndef VESKUPDATE_TESTS_BOUNDARY_ALLOCATIONFAILUREROWS_H
#define VESKUPDATE_TESTS_BOUNDARY_ALLOCATIONFAILUREROWS_H

#include "boundary/FailingAllocator.h"

#include <VeskUpdate.h>

#include "json/jsonIO.h"
#include "model/CFileCheckerDef.h"
#include "model/CFileDefList.h"
#include "model/CPatchList.h"
#include "model/CUpdatePackage.h"
#include "model/CVersionList.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace allocation_rows
{

using namespace kvrUpdate;
namespace fa = failing_allocator;

/// The record's JSON text, written with the library's own writer.
template <class Concrete, class Interface>
std::string Json(const Interface* record)
{
    if (record == nullptr)
        return "null";
    Json::Value value;
    jsonIO::WriteJson(value, *static_cast<const Concrete*>(record));
    std::string text;
    jsonIO::FormatJson(value, text);
    return text;
}

/// One run of an operation with the `failAt`-th allocation failing.
class CRun
{
public:
    explicit CRun(long failAt) : m_failAt(failAt) {}

    /// Runs `operation` armed. An exception that escapes it is a fault.
    void Armed(const std::function<void()>& operation)
    {
        fa::Arm(m_failAt);
        try
        {
            operation();
        }
        catch (...)
        {
            m_escaped = true;
        }
        m_failed = fa::Disarm() || m_failed;
        EXPECT_FALSE(m_escaped) << "an exception left the library";
    }

    /// Whether an allocation failed in this run.
    bool Failed() const { return m_failed; }

private:
    long m_failAt;
    bool m_failed = false;
    bool m_escaped = false;
};

using Row = std::function<void(CRun&)>;

struct COperation
{
    const char* name;
    Row row;
};

/// A factory: null, or a fresh object.
template <class I>
Row Factory(I* (*create)())
{
    return [create](CRun& run) {
        I* object = nullptr;
        run.Armed([&] { object = create(); });
        if (object != nullptr)
            object->Release();
        else
        {
            EXPECT_TRUE(run.Failed()) << "null without a failed allocation";
        }
    };
}

/// The object's own ToString text.
template <class I>
std::string TextOf(I* object)
{
    return object->ToString();
}

/// FromString of `text` over an object set up from `before`: true with the
/// whole of `text` taken, or false with `before` untouched. `describe` gives
/// everything the object shows.
template <class I>
Row FromString(I* (*create)(), std::string before, std::string text, std::function<std::string(I*)> describe)
{
    return [=](CRun& run) {
        I* reference = create();
        reference->FromString(text.c_str());
        const std::string after = describe(reference);
        reference->Release();
        I* object = create();
        ASSERT_TRUE(object->FromString(before.c_str()));
        const std::string previous = describe(object);
        bool taken = false;
        run.Armed([&] { taken = object->FromString(text.c_str()); });
        EXPECT_EQ(describe(object), taken ? after : previous)
            << (taken ? "true, but not all taken" : "false, but changed");
        if (!taken)
        {
            EXPECT_TRUE(run.Failed());
        }
        object->Release();
    };
}

/// ToString: the whole text or, when memory ran out, the empty text.
template <class I>
Row ToString(I* (*create)(), std::string text)
{
    return [=](CRun& run) {
        I* object = create();
        ASSERT_TRUE(object->FromString(text.c_str()));
        const std::string whole = object->ToString();
        object->ToString(); // a text of its own to replace
        const char* text = nullptr;
        run.Armed([&] { text = object->ToString(); });
        const std::string written = text != nullptr ? text : "(null)";
        if (written != whole)
        {
            EXPECT_EQ(written, "") << "partial text";
        }
        object->Release();
    };
}

/// A query's answer: the whole answer or, when memory ran out, what
/// `failed` accepts (null unless told otherwise). The query answers again
/// afterwards.
template <class Concrete, class R>
Row Query(
    const std::string& center, std::function<const R*(IVersionQuery*)> ask,
    std::function<void(const R*)> failed = [](const R* answer) { EXPECT_EQ(answer, nullptr) << "partial"; })
{
    return [=](CRun& run) {
        const auto open = [&center] {
            IVersionQuery* query = CreateVersionQuery();
            query->SetProduct("Editor");
            query->SetVersionCenter(center.c_str());
            return query;
        };
        IVersionQuery* reference = open();
        const std::string whole = Json<Concrete>(ask(reference));
        reference->Release();
        // A fresh query: its records have no storage yet to read texts into.
        IVersionQuery* query = open();
        const R* answer = nullptr;
        run.Armed([&] { answer = ask(query); });
        if (Json<Concrete>(answer) != whole)
        {
            EXPECT_TRUE(run.Failed());
            failed(answer);
        }
        EXPECT_EQ(Json<Concrete>(ask(query)), whole) << "the query does not answer again";
        query->Release();
    };
}

/// Clone of a lent record: null or a complete copy.
template <class Concrete, class I>
Row Clone(std::function<const I*()> record)
{
    return [=](CRun& run) {
        const I* source = record();
        I* copy = nullptr;
        run.Armed([&] { copy = source->Clone(); });
        if (copy == nullptr)
        {
            EXPECT_TRUE(run.Failed());
            return;
        }
        EXPECT_EQ(Json<Concrete>(copy), Json<Concrete>(source));
        copy->Release();
    };
}

/// RegisterModule of `plugin`, which serves "alpha" and "beta": 0 with
/// both types served, or 1 with nothing registered.
template <class M>
Row Register(M* (*create)(), const char* plugin, const char* entry)
{
    return [=](CRun& run) {
        M* manager = create();
        int result = -1;
        run.Armed([&] { result = manager->RegisterModule(plugin, entry); });
        if (result == 0)
        {
            int served = 0;
            for (const char* type : {"alpha", "beta"})
            {
                auto* object = manager->AcquireObject(type);
                served += object != nullptr ? 1 : 0;
                manager->ReleaseObject(object);
            }
            // The plug-in's entry may itself run out of memory and make no
            // object: then the module serves no type, as for any such entry.
            if (served != 2)
            {
                EXPECT_TRUE(run.Failed());
                EXPECT_EQ(served, 0) << "some types dropped";
            }
        }
        else
        {
            EXPECT_TRUE(run.Failed());
            EXPECT_EQ(result, 1);
            EXPECT_EQ(manager->AcquireObject("alpha"), nullptr) << "registered after all";
        }
        manager->Release();
    };
}

/// AcquireObject: an object serving the type, or null; the manager serves
/// again afterwards.
template <class M>
Row Acquire(M* (*create)(), const char* plugin, const char* entry)
{
    return [=](CRun& run) {
        M* manager = create();
        ASSERT_EQ(manager->RegisterModule(plugin, entry), 0);
        decltype(manager->AcquireObject("")) object = nullptr;
        run.Armed([&] { object = manager->AcquireObject("beta"); });
        if (object == nullptr)
        {
            EXPECT_TRUE(run.Failed());
        }
        else
        {
            EXPECT_TRUE(object->IsType("beta"));
        }
        manager->ReleaseObject(object);
        object = manager->AcquireObject("beta");
        EXPECT_NE(object, nullptr) << "the manager does not serve again";
        manager->ReleaseObject(object);
        manager->Release();
    };
}

} // namespace allocation_rows

#endif // VESKUPDATE_TESTS_BOUNDARY_ALLOCATIONFAILUREROWS_H
