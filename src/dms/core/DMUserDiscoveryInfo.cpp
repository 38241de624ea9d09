#include "dms/core/DMUserDiscoveryInfo.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "dms/core/DMDiscoveryServiceController.h"
#include "dms/core/DMGenericService.h"
#include "dms/core/DMServicesUserInfo.h"
#include "runtime/LogMessage.h"

namespace {

std::unique_ptr<DMSOAPElementType> CopyOf(const DMSOAPElementType* element) {
    return element ? std::make_unique<DMSOAPElementType>(element) : nullptr;
}

}  // namespace

DMUserDiscoveryInfo::DMUserDiscoveryInfo(EServiceType type, DMServicesUserInfo* owner) : mType(type), mOwner(owner) {}

DMUserDiscoveryInfo::~DMUserDiscoveryInfo() = default;

bool DMUserDiscoveryInfo::Waits(DMServiceRequestToken* token) const {
    return std::find(mWaiting.begin(), mWaiting.end(), token) != mWaiting.end();
}

void DMUserDiscoveryInfo::Remove(DMServiceRequestToken* token) { mWaiting.remove(token); }

void DMUserDiscoveryInfo::AddWaiting(DMServiceRequestToken* token) {
    if (!Waits(token)) {
        mWaiting.push_back(token);
    }
}

std::list<DMServiceRequestToken*> DMUserDiscoveryInfo::TakeWaiting() {
    std::list<DMServiceRequestToken*> taken;
    taken.swap(mWaiting);
    return taken;
}

void DMUserDiscoveryInfo::RequestService(DMServiceRequestToken* token, bool waitForSignOn) {
    if (mDiscovered && !waitForSignOn) {
        LogMessage(kLogInfo, "Discovery completed already...\n");
        CreateService(token);
        return;
    }
    // A discovered record whose user signs on again is queried again after the sign-on;
    // its requests wait for that instead of getting a service ahead of the sign-on.
    AddWaiting(token);
    if (!mDiscovering && !waitForSignOn) {
        LogMessage(kLogInfo, "Discovery requested...\n");
        StartQuery();
    }
}

void DMUserDiscoveryInfo::CreateService(DMServiceRequestToken* token) {
    mOwner->CreateService(token, mType, mResourceOffering.get(), mCredentials.get());
}

void DMUserDiscoveryInfo::StartQuery() {
    AbandonQuery();
    mDiscovering = true;
    DMDiscoveryServiceController* controller = mOwner->GetDiscoveryController();
    DMDiscovery_Query_InputType input(::ServiceTypeURN(mType));
    DMSIF_MethodRef* ref = controller ? controller->Query(this, &input) : nullptr;
    if (!ref) {
        // No discovery controller, no credentials or endpoint, or an unknown type: the
        // waiting requests would otherwise wait forever.
        LogMessage(kLogError, "Discovery could not be sent\n");
        Failed(false, nullptr);
        return;
    }
    mQueryRef = ref;
    mQueryID = ref->GetID();
    mLastQueryID = mQueryID;
    if (!mWaiting.empty()) {
        mWaiting.front()->methodRef = ref;
    }
}

void DMUserDiscoveryInfo::AbandonQuery() {
    DMSIF_MethodRef* ref = mQueryRef;
    mQueryRef = nullptr;
    mQueryID.clear();
    mDiscovering = false;
    DMDiscoveryServiceController* controller = mOwner->GetDiscoveryController();
    if (ref && controller) {
        controller->SetListener(nullptr, ref);
        controller->CancelMethod(ref);
    }
}

void DMUserDiscoveryInfo::Detach() {
    AbandonQuery();
    mDetached = true;
}

bool DMUserDiscoveryInfo::MayBeReached() const {
    DMDiscoveryServiceController* controller = mOwner->GetDiscoveryController();
    return controller && !mLastQueryID.empty() && controller->FindMethodRef(mLastQueryID);
}

bool DMUserDiscoveryInfo::IsCurrentQuery(DMSIF_MethodRef* ref) const {
    return !mDetached && ref && ref == mQueryRef && ref->GetID() == mQueryID;
}

bool DMUserDiscoveryInfo::CancelToken(DMServiceRequestToken* token) {
    if (!Waits(token)) {
        return false;
    }
    if (mWaiting.size() == 1) {
        // No one else waits for this Query: stop it.
        AbandonQuery();
    } else if (mWaiting.front() == token) {
        auto next = std::next(mWaiting.begin());
        (*next)->methodRef = token->methodRef;
    }
    mWaiting.remove(token);
    token->methodRef = nullptr;
    token->cancelled = true;
    // Last: the callback may remove this record.
    mOwner->FinishServiceFailed(token, kDMServiceFailedCancelled);
    return true;
}

void DMUserDiscoveryInfo::DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* /*input*/,
                                    DMSIF_MethodOutputType* output) {
    if (!IsCurrentQuery(ref) || ref->GetMethodName() != "Query") {
        return;
    }
    mQueryRef = nullptr;
    mQueryID.clear();
    mDiscovering = false;
    auto* result = dynamic_cast<DMDiscovery_Query_OutputType*>(output);
    if (!result) {
        Failed(false, output);
        return;
    }
    mResourceOffering = CopyOf(result->GetResourceOffering());
    mCredentials = CopyOf(result->GetCredentials());
    mDiscovered = true;

    // The callbacks may remove this record: work from copies from here on.
    DMServicesUserInfo* owner = mOwner;
    const EServiceType type = mType;
    const DMSIF_StatusType status = result->status;
    const std::unique_ptr<DMSOAPElementType> offering = CopyOf(mResourceOffering.get());
    const std::unique_ptr<DMSOAPElementType> credentials = CopyOf(mCredentials.get());
    const DMRequestTokenRegistry& tokens = owner->Tokens();
    for (const auto& entry : tokens.Snapshot(TakeWaiting())) {
        if (tokens.IsLive(entry)) {
            entry.token->status = status;
            owner->CreateService(entry.token, type, offering.get(), credentials.get());
        }
    }
}

void DMUserDiscoveryInfo::DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* /*input*/,
                                  DMSIF_MethodOutputType* output) {
    if (!IsCurrentQuery(ref)) {
        return;
    }
    Failed(false, output);
}

void DMUserDiscoveryInfo::DidCancel(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* /*input*/) {
    if (!IsCurrentQuery(ref)) {
        return;
    }
    Failed(true, nullptr);
}

void DMUserDiscoveryInfo::Failed(bool cancelled, DMSIF_MethodOutputType* output) {
    mQueryRef = nullptr;
    mQueryID.clear();
    mDiscovering = false;
    mDiscovered = false;
    DMServicesUserInfo* owner = mOwner;
    const std::int32_t reason = cancelled ? kDMServiceFailedCancelled : kDMServiceFailedOther;
    std::optional<DMSIF_StatusType> status;
    std::optional<DMSIF_FaultType> fault;
    if (output) {
        status = output->status;
        fault = output->fault;
    }
    // The record stays, so a later request queries again.
    const DMRequestTokenRegistry& tokens = owner->Tokens();
    for (const auto& entry : tokens.Snapshot(TakeWaiting())) {
        if (tokens.IsLive(entry)) {
            entry.token->cancelled = cancelled;
            if (status) {
                entry.token->status = *status;
                entry.token->fault = *fault;
            }
            owner->FinishServiceFailed(entry.token, reason);
        }
    }
}
