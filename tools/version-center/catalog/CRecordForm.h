// How the catalog file wrote one record, beyond the values the record holds:
// the members it names although they hold what leaving them out means
// ("dependon": ""), and the comments a person wrote in it. The writer uses it
// to give the record back as it was written, so that a catalog a person
// edits by hand keeps their text through a publish.
#ifndef VERSIONCENTER_CRECORDFORM_H
#define VERSIONCENTER_CRECORDFORM_H

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace Json
{
class Value;
}

namespace versionCenter
{

class CRecordForm
{
public:
    /// Takes the form of `object`, the record's JSON object: the comments on
    /// it and on every value inside it, except inside the members that are
    /// records of their own (`records`: "package", or "resource/*" for every
    /// element of "resource"), and the members that hold an empty text, array
    /// or object.
    void Read(const Json::Value& object, std::initializer_list<const char*> records);

    /// Notes that the file names `member` ("situation.last" for a member of
    /// a member), whatever it holds.
    void Name(const std::string& member);

    /// Whether the file named `member` with what leaving it out means, or
    /// Name noted it.
    bool Named(const std::string& member) const;

    /// Puts the comments back on the values of `object` that stand where
    /// they stood; a comment whose value the record no longer has is lost.
    void PutComments(Json::Value& object) const;

private:
    struct CComment
    {
        std::vector<std::string> place; // members and array indices from the record's object
        int placement = 0;              // a Json::CommentPlacement
        std::string text;
    };
    struct CDetails
    {
        std::vector<std::string> named;
        std::vector<CComment> comments;
    };

    void ReadComments(const Json::Value& object, std::initializer_list<const char*> records);
    CDetails& Details();

    // Null for the many records written plainly; shared between copies, and
    // copied before a change.
    std::shared_ptr<CDetails> m_details;
};

} // namespace versionCenter

#endif // VERSIONCENTER_CRECORDFORM_H
