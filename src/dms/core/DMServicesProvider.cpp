#include "dms/core/DMServicesProvider.h"

#include <memory>

#include "dms/core/DMServicesUserInfo.h"
#include "runtime/LogMessage.h"

DMServicesProvider::DMServicesProvider() = default;

DMServicesProvider::~DMServicesProvider() = default;

void DMServicesProvider::SetDeviceName(const std::string& name, const std::string& manufacturer,
                                       const std::string& version) {
    mDeviceName = name;
    mManufacturer = manufacturer;
    mVersion = version;
}

DMServicesUserInfo* DMServicesProvider::GetUserInfo(const std::string& userName, bool create) {
    const std::string key = SIFCanonicalizedString(userName);
    auto found = mUsers.find(key);
    if (found != mUsers.end()) {
        return found->second.get();
    }
    if (!create) {
        return nullptr;
    }
    auto info = std::make_unique<DMServicesUserInfo>(userName, this);
    if (!mServiceURL.empty()) {
        info->SetServiceURL(mServiceURL);
    }
    if (mEventQueue) {
        info->SetEventQueue(mEventQueue);
    }
    DMServicesUserInfo* record = info.get();
    mUsers[key] = std::move(info);
    return record;
}

DMServicesUserInfo* DMServicesProvider::FindTokenOwner(DMServiceRequestToken* token) {
    // Looked up without reading the token: it may have ended already.
    for (auto& entry : mUsers) {
        if (entry.second->OwnsToken(token)) {
            return entry.second.get();
        }
    }
    return nullptr;
}

DMServiceRequestToken* DMServicesProvider::RequestService(EServiceType type, const std::string& userName,
                                                          bool isRenewal, DMServiceRequestListener* listener) {
    DMServicesUserInfo* info = GetUserInfo(userName, true);
    auto request = std::make_unique<DMServiceRequestToken>(type, userName, isRenewal, listener);
    DMServiceRequestToken* token = request.get();
    info->RequestService(std::move(request));
    return token;
}

void DMServicesProvider::SetPasswordForRequest(const std::string& password, DMServiceRequestToken* token) {
    if (DMServicesUserInfo* info = FindTokenOwner(token)) {
        info->SetPasswordForRequest(password, token);
    }
}

void DMServicesProvider::SetSecurIDForRequest(const std::string& passcode, DMServiceRequestToken* token) {
    if (DMServicesUserInfo* info = FindTokenOwner(token)) {
        info->SetSecurIDForRequest(passcode, token);
    }
}

void DMServicesProvider::CancelServiceRequest(DMServiceRequestToken* token) {
    if (DMServicesUserInfo* info = FindTokenOwner(token)) {
        info->CancelServiceRequest(token);
    }
}

std::string DMServicesProvider::AuthenticationCredentialsExpirationDate(const std::string& userName) {
    DMServicesUserInfo* info = GetUserInfo(userName, false);
    return info ? info->GetExpiration() : std::string();
}

void DMServicesProvider::ResetUsername(const std::string& userName) {
    LogMessage(kLogInfo, "ResetUsername %s\n", userName.c_str());
    if (DMServicesUserInfo* info = GetUserInfo(userName, false)) {
        info->ResetUsername();
    }
}

void DMServicesProvider::ClearServiceForUsername(const std::string& userName, EServiceType type) {
    LogMessage(kLogInfo, "ClearServiceForUsername %s,%x\n", userName.c_str(), static_cast<unsigned>(type));
    if (DMServicesUserInfo* info = GetUserInfo(userName, false)) {
        info->ClearServiceForType(type);
    }
}
