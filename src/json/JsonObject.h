// The interface of anything that reads itself from and writes itself to a
// JSON value, and the adapter that gives a record that interface.
#ifndef VESKUPDATE_JSONOBJECT_H
#define VESKUPDATE_JSONOBJECT_H

#include "json/jsonIO.h"

namespace jsonIO
{

class IJsonObject
{
public:
    /// Writes the object's members into `value`, which becomes (or stays) an
    /// object.
    virtual void ToJson(Json::Value& value) = 0;
    /// Reads the object's members from `value`; false when reading failed.
    virtual bool FromJson(Json::Value& value) = 0;

protected:
    IJsonObject() = default;
    IJsonObject(const IJsonObject&) = default;
    IJsonObject(IJsonObject&&) = default;
    IJsonObject& operator=(const IJsonObject&) = default;
    IJsonObject& operator=(IJsonObject&&) = default;
    ~IJsonObject() = default;
};

/// Stands for a record that lives elsewhere (it does not own it), so a
/// record can be handed to code that fills any IJsonObject.
template <class T>
class CJsonObject final : public IJsonObject
{
public:
    explicit CJsonObject(T& record) : m_record(&record) {}

    void ToJson(Json::Value& value) override { WriteJson(value, *m_record); }
    bool FromJson(Json::Value& value) override { return TryReadJson(value, *m_record); }

private:
    T* m_record;
};

} // namespace jsonIO

#endif // VESKUPDATE_JSONOBJECT_H
