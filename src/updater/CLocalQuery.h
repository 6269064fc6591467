// The local installation state: product name, installed version, and the
// installed and downloaded patches, stored by the host as JSON text.
#ifndef VESKUPDATE_CLOCALQUERY_H
#define VESKUPDATE_CLOCALQUERY_H

#include <VeskUpdate.h>

#include "json/JsonObject.h"
#include "model/CPatchList.h"
#include "model/CVersion.h"
#include "platform/Platform.h"

#include <string>

namespace kvrUpdate
{

/// What the local state records, as one value: a document is read into a
/// fresh one and swapped in whole, so that a read that runs out of memory
/// leaves the state as it was.
struct CLocalRecord
{
    std::string productName;
    CVersion version;
    CPatchList installed;
    CPatchList downloaded;
};

/// The state's document, read and written by the records' rules.
template <>
struct binding::TFieldsOf<CLocalRecord>
{
    static constexpr TField<CLocalRecord> List[] = {
        binding::Nested<&CLocalRecord::downloaded>("downloaded_patchs"),
        binding::Nested<&CLocalRecord::installed>("installed_patchs"),
        binding::Text<&CLocalRecord::productName>("product_ame"),
        binding::Nested<&CLocalRecord::version>("version"),
    };
};

/// Every operation below runs entirely under the object's re-entrant lock, so
/// one local state may be called from several threads. What the getters lend
/// (the name, the version, the lists, the ToString text) is read by the caller
/// after the lock is left and may change under a concurrent FromString or add.
///
/// JSON form: {"product_ame": text, "version": {"v": text},
/// "installed_patchs": {"patchs": [...]}, "downloaded_patchs": {"patchs": [...]}}.
class CLocalQuery : public ILocalQuery, public jsonIO::IJsonObject
{
public:
    /// Empty name, version 0.0.0.0, both lists empty.
    CLocalQuery();
    virtual ~CLocalQuery();
    CLocalQuery(const CLocalQuery&) = delete;
    CLocalQuery& operator=(const CLocalQuery&) = delete;

    // IStringInitial
    /// The state as tab-indented JSON text, held until the next ToString or
    /// the object's end. The empty text if the document could not be built.
    const char* ToString() override;
    /// Replaces the whole state from the text. Text that is not JSON, and JSON
    /// whose root is neither an object nor null, give false and change
    /// nothing.
    bool FromString(const char* text) override;

    // IReleaseable
    /// Destroys the object.
    void Release() override;

    // ILocalQuery
    const char* GetProductName() const override;
    const IVersion* GetVersion() const override;
    /// 0 installed, 1 downloaded, null otherwise; the same pointer every call.
    const IPatchList* GetPatchList(int which) const override;

    // jsonIO::IJsonObject
    /// Sets the four members on `value`, which must be null or an object.
    /// Lets an exception of the JSON writer (memory exhaustion) pass.
    void ToJson(Json::Value& value) override;
    /// Reads every member: an absent or unreadable one takes its default
    /// (empty name, 0.0.0.0, empty list). True, unless `value` is neither an
    /// object nor null or memory ran out: then false, and nothing changes.
    bool FromJson(Json::Value& value) override;

    // Not part of ILocalQuery: how the updater stores the state and records
    // what the host did.

    /// Sets the state's members on `member` (the document itself, or a
    /// member of it), writes the whole document into `text` as FormatJson
    /// does, and empties `member` again, all under the lock: the records stay
    /// as they are meanwhile, so the document borrows their texts instead of
    /// copying them. False, with `text` empty, when the document could not be
    /// built or written in whole.
    bool FormatDocument(Json::Value& document, Json::Value& member, std::string& text);

    /// Append a copy of the patch (made through its getters) to the installed
    /// or the downloaded list. No duplicate test; the other list is left
    /// alone. False, with the list unchanged, for a null patch or when the
    /// copy cannot be made.
    bool AddInstalledPatch(const IPatch* patch);
    bool AddDownloadedPatch(const IPatch* patch);

    /// Records that `patch` was installed, deciding on its result version
    /// against the installed version, all under the lock so that no reader
    /// sees the decision half made: a newer result becomes the installed
    /// version (all four parts) and the patch is not listed; an equal one
    /// appends a copy of the patch to the installed list (no duplicate test);
    /// an older one changes nothing. A patch without a result version counts
    /// as leading to 0.0.0.0. The downloaded list is never touched. False,
    /// with nothing changed, for a null patch or when the copy for the list
    /// cannot be made.
    bool RecordInstalledPatch(const IPatch* patch);

    /// Reads a document into `record` (which should be fresh) by the rules
    /// of FromJson, without touching this state. False when `value` is
    /// neither an object nor null; lets memory exhaustion pass.
    static bool ReadDocument(const Json::Value& value, CLocalRecord& record);

    /// Takes `name` as the product name (under the lock), and `record`, when
    /// not null, as the whole state before that; what was there is left in
    /// them. Allocates nothing: the updater prepares both and then commits.
    void Replace(CLocalRecord* record, std::string& name) noexcept;

private:
    bool AddPatch(CPatchList& list, const IPatch* patch);

    CLocalRecord m_record;
    mutable platform::CCriticalSection m_lock;
    std::string m_text;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CLOCALQUERY_H
