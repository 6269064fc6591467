#include "Snapshot.h"

#include "TrustJson.h"

#include <set>

namespace vesktrust
{
namespace
{

bool ReadSituation(const Json::Value& value, CSnapshot& snapshot, std::string& error)
{
    return json::Members(value, "situation", {"last", "must", "max", "will"}, {}, error) &&
           json::Version(value["last"], "situation.last", true, snapshot.last, error) &&
           json::Version(value["must"], "situation.must", true, snapshot.must, error) &&
           json::Version(value["max"], "situation.max", true, snapshot.max, error) &&
           json::Version(value["will"], "situation.will", true, snapshot.will, error);
}

bool ReadPatches(const Json::Value& value, std::vector<CSnapshotPatch>& patches, std::string& error)
{
    if (!value.isArray())
        return Fail(error, "patches is not an array");
    std::set<std::string> numbers;
    for (Json::ArrayIndex i = 0; i < value.size(); ++i)
    {
        const std::string where = "patches[" + std::to_string(i) + "]";
        CSnapshotPatch patch;
        if (!json::Members(value[i], where, {"number", "apply", "result"}, {}, error) ||
            !json::Label(value[i]["number"], where + ".number", patch.number, error) ||
            !json::Versions(value[i]["apply"], where + ".apply", false, patch.apply, error) ||
            !json::Version(value[i]["result"], where + ".result", false, patch.result, error))
            return false;
        if (!numbers.insert(patch.number).second)
            return Fail(error, "patches lists " + patch.number + " twice");
        patches.push_back(std::move(patch));
    }
    return true;
}

} // namespace

std::string WriteSnapshot(const CSnapshot& snapshot)
{
    Json::Value root(Json::objectValue);
    root["format"] = kSnapshotFormat;
    root["product"] = snapshot.product;
    root["sequence"] = Json::UInt64(snapshot.sequence);
    root["expires"] = Json::Int64(snapshot.expires);
    Json::Value& situation = root["situation"] = Json::Value(Json::objectValue);
    situation["last"] = snapshot.last;
    situation["must"] = snapshot.must;
    situation["max"] = snapshot.max;
    situation["will"] = snapshot.will;
    root["versions"] = json::Array(snapshot.versions);
    Json::Value& patches = root["patches"] = Json::Value(Json::arrayValue);
    for (const CSnapshotPatch& patch : snapshot.patches)
    {
        Json::Value entry(Json::objectValue);
        entry["number"] = patch.number;
        entry["apply"] = json::Array(patch.apply);
        entry["result"] = patch.result;
        patches.append(entry);
    }
    return json::Render(root);
}

bool ReadSnapshot(const std::string& text, CSnapshot& snapshot, std::string& error)
{
    Json::Value root;
    std::string problem;
    CSnapshot read;
    long long expires = 0;
    bool ok = json::ParseObject(text, root, problem);
    if (ok && !(root["format"].isString() && root["format"].asString() == kSnapshotFormat))
        ok = Fail(problem, "its format is not " + std::string(kSnapshotFormat));
    ok = ok &&
         json::Members(root, "the snapshot",
                       {"format", "product", "sequence", "expires", "situation", "versions", "patches"}, {}, problem) &&
         json::Product(root["product"], "product", read.product, problem);
    // Members are looked at only once the text is known to be an object.
    const Json::Value& sequence = ok ? root["sequence"] : Json::Value::nullSingleton();
    if (ok && !((sequence.type() == Json::intValue || sequence.type() == Json::uintValue) && sequence.isUInt64() &&
                sequence.asUInt64() >= 1))
        ok = Fail(problem, "sequence is not a whole number from 1 up");
    if (ok)
        read.sequence = sequence.asUInt64();
    ok = ok && json::Count(root["expires"], "expires", expires, problem) &&
         ReadSituation(root["situation"], read, problem) &&
         json::Versions(root["versions"], "versions", true, read.versions, problem) &&
         ReadPatches(root["patches"], read.patches, problem);
    if (!ok)
        return Fail(error, "snapshot refused: " + problem);
    read.expires = expires;
    snapshot = std::move(read);
    return true;
}

std::string SnapshotPath(const std::string& product)
{
    return product + "/signed/snapshot.json";
}

} // namespace vesktrust
