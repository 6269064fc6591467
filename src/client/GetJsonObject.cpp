#include "client/GetJsonObject.h"

#include "client/CScopeTimer.h"
#include "client/CStringWriter.h"
#include "client/CUrlHandle.h"
#include "client/HttpStatus.h"

#include <string>

namespace jsonIO
{

bool GetJsonObject(IJsonObject& target, const char* url)
{
    try
    {
        const std::string label = std::string("GetJsonObject : ") + url;
        const CScopeTimer fetchTimer(label.c_str());

        Json::Value value;
        {
            curl_object::CUrlHandle handle;
            if (!handle.GetHandle())
                return false;
            CStringWriter writer;
            if (handle.SetUrl(url) != CURLE_OK)
                return false;
            writer.Attach(handle.GetHandle());
            if (curl_easy_perform(handle.GetHandle()) != CURLE_OK)
                return false;

            long status = 0;
            curl_easy_getinfo(handle.GetHandle(), CURLINFO_RESPONSE_CODE, &status);
            if (!curl_object::IsGoodAnswer(status))
                return false;
            writer.Flush();

            const CScopeTimer parseTimer("GetJsonObject : curl");
            if (!ParseJson(value, writer.GetBody().c_str()))
                return false;
        }
        // The body text is gone by now: a parsed answer of many small objects
        // takes several times its text, and the text need not live on beside
        // it while the records are read.
        return target.FromJson(value);
    }
    catch (...)
    {
        // Memory exhaustion while building the label or collecting the body.
        return false;
    }
}

} // namespace jsonIO
