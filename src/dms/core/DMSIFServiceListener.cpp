#include "dms/core/DMSIFServiceListener.h"

#include "dms/core/DMSIFService.h"

void DMSIFServiceListener::DidBecomeValid(DMSIFService*) {}
void DMSIFServiceListener::DidBecomeInvalid(DMSIFService*) {}
void DMSIFServiceListener::DidCancel(DMSIF_MethodRef*, DMSIF_MethodArgumentsType*) {}
void DMSIFServiceListener::UploadProgress(DMSIF_MethodRef*, std::int32_t, std::int32_t) {}
void DMSIFServiceListener::DownloadProgress(DMSIF_MethodRef*, std::int32_t, std::int32_t) {}

DMSIFServiceListenerDispatchEvent::DMSIFServiceListenerDispatchEvent(DMSIFServiceListener* listener,
                                                                     DMSIF_MethodRef* ref, DMSIFService* service)
    : mListener(listener), mRef(ref), mService(service) {
    if (service) mServiceAlive = service->GetAliveToken();
}

bool DMSIFServiceListenerDispatchEvent::ServiceAlive() const {
    return mService && !mServiceAlive.expired() && (!mRef || mService->OwnsMethodRef(mRef));
}

DMSIFServiceListenerDispatchDidBecomeValidEvent::DMSIFServiceListenerDispatchDidBecomeValidEvent(
    DMSIFServiceListener* listener, DMSIFService* service)
    : DMSIFServiceListenerDispatchEvent(listener, nullptr, service) {}

void DMSIFServiceListenerDispatchDidBecomeValidEvent::Fire() {
    if (ServiceAlive() && mListener) mListener->DidBecomeValid(mService);
}

DMSIFServiceListenerDispatchDidBecomeInvalidEvent::DMSIFServiceListenerDispatchDidBecomeInvalidEvent(
    DMSIFServiceListener* listener, DMSIFService* service)
    : DMSIFServiceListenerDispatchEvent(listener, nullptr, service) {}

void DMSIFServiceListenerDispatchDidBecomeInvalidEvent::Fire() {
    if (ServiceAlive() && mListener) mListener->DidBecomeInvalid(mService);
}

void DMSIFServiceListenerDispatchDidFinishEvent::Fire() {
    if (!ServiceAlive() || !mRef) return;
    if (mListener) mListener->DidFinish(mRef, mRef->GetArguments(), mRef->GetOutput());
    if (ServiceAlive()) mService->ReleaseMethodRef(mRef);
}

void DMSIFServiceListenerDispatchDidFailEvent::Fire() {
    if (!ServiceAlive() || !mRef) return;
    if (mListener) mListener->DidFail(mRef, mRef->GetArguments(), mRef->GetOutput());
    if (ServiceAlive()) mService->ReleaseMethodRef(mRef);
}

void DMSIFServiceListenerDispatchDidCancelEvent::Fire() {
    if (!ServiceAlive() || !mRef) return;
    if (mListener) mListener->DidCancel(mRef, mRef->GetArguments());
    if (ServiceAlive()) mService->ReleaseMethodRef(mRef);
}

void DMSIFServiceListenerDispatchProgressEvent::Fire() {
    if (!ServiceAlive() || !mRef || !mListener) return;
    if (mRef->GetDownloadTotal() != 0)
        mListener->DownloadProgress(mRef, mRef->GetDownloadBytes(), mRef->GetDownloadTotal());
    else
        mListener->UploadProgress(mRef, mRef->GetUploadBytes(), mRef->GetUploadTotal());
}
