#pragma once

// How the outcomes of a service controller reach its client: the listener interface, the
// dispatch interface DMSIFService implements, and the queue events that carry a delivery
// to a later pass of the run loop.

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/LThreadEvent.h"

class DMSIFService;
class DMSIF_MethodRef;
class DMSIF_MethodArgumentsType;
class DMSIF_MethodOutputType;

class DMSIFServiceListener {
public:
    virtual void DidBecomeValid(DMSIFService* service);
    virtual void DidBecomeInvalid(DMSIFService* service);
    virtual void DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) = 0;
    // output may be null.
    virtual void DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) = 0;
    virtual void DidCancel(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input);
    virtual void UploadProgress(DMSIF_MethodRef* ref, std::int32_t bytesSent, std::int32_t total);
    virtual void DownloadProgress(DMSIF_MethodRef* ref, std::int32_t bytesReceived, std::int32_t total);

protected:
    ~DMSIFServiceListener() = default;
};

class DMAuthenticationServiceListener : public DMSIFServiceListener {
public:
    virtual void AsksForUsernamePassword(DMSIF_MethodRef* ref, const std::string& responseMessageID) = 0;
    virtual void AsksForSecurid(DMSIF_MethodRef* ref, const std::string& responseMessageID) = 0;

protected:
    ~DMAuthenticationServiceListener() = default;
};

class DMSIFServiceListenerDispatch {
public:
    virtual void DispatchDidBecomeValid() = 0;
    virtual void DispatchDidBecomeInvalid() = 0;
    virtual void DispatchDidFinish(DMSIF_MethodRef* ref) = 0;
    virtual void DispatchDidFail(DMSIF_MethodRef* ref) = 0;
    virtual void DispatchDidCancel(DMSIF_MethodRef* ref) = 0;
    virtual void DispatchProgress(DMSIF_MethodRef* ref) = 0;

protected:
    ~DMSIFServiceListenerDispatch() = default;
};

// Events. Each holds plain pointers it does not own, plus the service's liveness token:
// an event whose service was destroyed before it fired is dropped.
class DMSIFServiceListenerDispatchEvent : public LThreadEvent {
public:
    DMSIFServiceListenerDispatchEvent(DMSIFServiceListener* listener, DMSIF_MethodRef* ref, DMSIFService* service);

protected:
    // False when the service is gone (then nothing may be touched).
    bool ServiceAlive() const;

    DMSIFServiceListener* mListener;
    DMSIF_MethodRef* mRef;
    DMSIFService* mService;
    std::weak_ptr<bool> mServiceAlive;
};

class DMSIFServiceListenerDispatchDidBecomeValidEvent : public DMSIFServiceListenerDispatchEvent {
public:
    DMSIFServiceListenerDispatchDidBecomeValidEvent(DMSIFServiceListener* listener, DMSIFService* service);
    void Fire() override;
};

class DMSIFServiceListenerDispatchDidBecomeInvalidEvent : public DMSIFServiceListenerDispatchEvent {
public:
    DMSIFServiceListenerDispatchDidBecomeInvalidEvent(DMSIFServiceListener* listener, DMSIFService* service);
    void Fire() override;
};

class DMSIFServiceListenerDispatchDidFinishEvent : public DMSIFServiceListenerDispatchEvent {
public:
    using DMSIFServiceListenerDispatchEvent::DMSIFServiceListenerDispatchEvent;
    void Fire() override;
};

class DMSIFServiceListenerDispatchDidFailEvent : public DMSIFServiceListenerDispatchEvent {
public:
    using DMSIFServiceListenerDispatchEvent::DMSIFServiceListenerDispatchEvent;
    void Fire() override;
};

class DMSIFServiceListenerDispatchDidCancelEvent : public DMSIFServiceListenerDispatchEvent {
public:
    using DMSIFServiceListenerDispatchEvent::DMSIFServiceListenerDispatchEvent;
    void Fire() override;
};

class DMSIFServiceListenerDispatchProgressEvent : public DMSIFServiceListenerDispatchEvent {
public:
    using DMSIFServiceListenerDispatchEvent::DMSIFServiceListenerDispatchEvent;
    void Fire() override;
};
