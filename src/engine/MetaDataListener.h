#pragma once

#include <cstdint>
#include <string>

namespace Amp {

class MetaDataListener {
public:
    // `bytes` are valid during the call only. trackStart: seconds since 1970 at which
    // the track the metadata describes will be heard.
    virtual void ReceivedMetaData(const std::string& url, const uint8_t* bytes, uint32_t length, double trackStart) = 0;

protected:
    ~MetaDataListener() = default;
};

}  // namespace Amp
