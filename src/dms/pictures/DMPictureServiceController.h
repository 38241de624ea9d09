#pragma once

// The SIF controller of the pictures service. A call's body element is named like the
// method and sent to the endpoint + "?cid=" + User-Agent; the answer's Body holds
// "<method>Response" wrapping "<method>Result". The controller decodes each call's request
// and result into the method's messages, stores them on the call's ref and judges the
// call by the result's status alone: "OK" in any letter case finishes it, anything else
// (a SOAP fault included) fails it.
//
// Upload bookkeeping: a successful UploadBegin opens a transaction under the server's
// transaction id and holds its call until UploadEnd or UploadCancel for that id
// (whatever their verdict), a later UploadBegin with the same id, or destruction. Images
// of a transaction are registered by an uploader (RegisterImageUpload) and owned by the
// controller from then on, keyed by (transaction id, image id); an upload answer cancels
// only the outstanding transfers of its own transaction. Upload events reach only a call
// listener that is a DMPictureServiceListener, through the event queue when one is set.
// Main thread only.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "dms/core/DMSIFService.h"
#include "dms/core/DMSIFServiceListener.h"
#include "dms/core/DMURLRequest.h"

// One image of an upload, as the uploader keeps it; the controller only stores and
// deletes it.
class DMPictureServiceUploadImageListener {
public:
    virtual ~DMPictureServiceUploadImageListener() = default;
};

class DMPictureServiceListener : public DMSIFServiceListener {
public:
    // The UploadBegin call whose transaction has just been opened.
    virtual void AsksForImagesToUpload(DMSIF_MethodRef* ref) = 0;
    virtual void ImageUploadDidFinish(DMSIF_MethodRef* ref, const std::string& transactionId,
                                      const std::string& imageId, const DMSIF_IDType& id) = 0;
    virtual void ImageUploadDidFail(DMSIF_MethodRef* ref, const std::string& transactionId, const std::string& imageId,
                                    const DMSIF_StatusType& status) = 0;
    virtual void ImageUploadDidProgress(DMSIF_MethodRef* ref, const std::string& transactionId,
                                        const std::string& imageId, int sent, int total) = 0;

protected:
    ~DMPictureServiceListener() = default;
};

class DMPictureServiceListenerDispatch {
public:
    virtual void DispatchAsksForImagesToUpload(DMSIF_MethodRef* ref) = 0;

protected:
    ~DMPictureServiceListenerDispatch() = default;
};

class DMPictureServiceController : public DMSIFService, public DMPictureServiceListenerDispatch {
public:
    // Keeps copies of both elements; the caller keeps its own. Calls carry the client id.
    DMPictureServiceController(DMSOAPElementType* resourceOffering, DMSOAPElementType* credentials,
                               DMSIFServiceListener* listener);
    // Deletes every registered image and transfer and releases every held call.
    ~DMPictureServiceController() override;

    std::string RequestElementName(const std::string& methodName) override;
    std::string ResponseElementName(const std::string& methodName) override;
    void SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& result) override;
    void SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& result) override;

    // One per method; resultElement and faultElement may be null.
    void HandleCreateFolderResponse(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                    DMSOAPElementType* resultElement, DMSOAPElementType* faultElement);
    void HandleDeleteObjectsResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleCopyObjectsResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleMoveObjectsResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleSearchObjectsResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleGetChildrenResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleGetPropertiesResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleGetShareInfoResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleEditObjectsResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleSetPropertiesResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleUploadBeginResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleUploadCancelResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleUploadEndResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleNotifyZymResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);
    void HandleShareObjectsResponse(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*, DMSOAPElementType*);

    // Transactions.
    void StoreTransaction(const std::string& transactionId, DMSIF_MethodRef* ref);
    void RemoveTransaction(const std::string& id);
    void RemoveAllTransactions();
    // The call holding the transaction open, null when none.
    const DMSIF_MethodRef* FindTransaction(const std::string& transactionId) const;
    std::size_t TransactionCount() const { return mTransactions.size(); }

    // Image bookkeeping, per (transaction id, image id). Registering takes both objects
    // over (either may be null); a second registration under the same key replaces and
    // deletes the earlier objects. Every removal deletes what it removes (a transfer
    // still running is aborted), so an uploader reports a transfer's end through the
    // event queue, never from inside that transfer's own callback.
    void RegisterImageUpload(const std::string& transactionId, const std::string& imageId,
                             std::unique_ptr<DMPictureServiceUploadImageListener> image,
                             std::unique_ptr<DMURLRequest> transfer);
    void RemoveImageUploads(const std::string& transactionId);
    void RemoveImageUpload(const std::string& transactionId, const std::string& imageId);
    void RemovePendingImage(const std::string& transactionId, const std::string& imageId);
    // Deletes the pending images and the transfers of one transaction / of all.
    void CancelURLRequests(const std::string& transactionId);
    void CancelURLRequests();
    std::size_t PendingImageCount() const { return mPendingImages.size(); }
    std::size_t ImageUploadCount() const { return mImageUploads.size(); }

    // Upload events.
    DMPictureServiceListener* GetPictureListener(DMSIF_MethodRef* ref);
    void DispatchAsksForImagesToUpload(DMSIF_MethodRef* ref) override;
    void DispatchImageUploadDidFinish(DMSIF_MethodRef* ref, const std::string& transactionId,
                                      const std::string& imageId, const DMSIF_IDType& id);
    void DispatchImageUploadDidFail(DMSIF_MethodRef* ref, const std::string& transactionId, const std::string& imageId,
                                    const DMSIF_StatusType& status);
    void DispatchImageUploadDidProgress(DMSIF_MethodRef* ref, const std::string& transactionId,
                                        const std::string& imageId, int sent, int total);

private:
    using Key = std::pair<std::string, std::string>;
    using Handler = void (DMPictureServiceController::*)(DMSIF_MethodRef*, DMSOAPElementType*, DMSOAPElementType*,
                                                         DMSOAPElementType*);
    enum class Upload { None, Begin, Cancel, End };
    static Handler HandlerFor(const std::string& methodName);
    void Dispatch(DMSIF_MethodRef* ref, DMSOAPResultMap& result, bool answered);
    template <class Input, class Output>
    void Handle(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement, DMSOAPElementType* resultElement,
                DMSOAPElementType* faultElement, Upload upload = Upload::None);

    std::map<std::string, const DMSIF_MethodRef*> mTransactions;  // refs held, owned by the base
    std::map<Key, std::unique_ptr<DMPictureServiceUploadImageListener>> mPendingImages;
    std::map<Key, std::unique_ptr<DMURLRequest>> mImageUploads;
};

// Upload events carried to the queue's thread; each does nothing once the controller or
// the call is gone.
class DMPictureServiceListenerDispatchAsksForImagesToUploadEvent : public DMSIFServiceListenerDispatchEvent {
public:
    DMPictureServiceListenerDispatchAsksForImagesToUploadEvent(DMPictureServiceListener* listener, DMSIF_MethodRef* ref,
                                                               DMSIFService* service)
        : DMSIFServiceListenerDispatchEvent(listener, ref, service), mPictureListener(listener) {}
    void Fire() override;

private:
    DMPictureServiceListener* mPictureListener;
};

class DMPictureServiceListenerDispatchImageUploadDidFinishEvent : public DMSIFServiceListenerDispatchEvent {
public:
    DMPictureServiceListenerDispatchImageUploadDidFinishEvent(DMPictureServiceController* controller,
                                                              DMSIF_MethodRef* ref, std::string transactionId,
                                                              std::string imageId, DMSIF_IDType id)
        : DMSIFServiceListenerDispatchEvent(nullptr, ref, controller),
          mController(controller),
          mTransactionId(std::move(transactionId)),
          mImageId(std::move(imageId)),
          mId(std::move(id)) {}
    void Fire() override;

private:
    DMPictureServiceController* mController;
    std::string mTransactionId, mImageId;
    DMSIF_IDType mId;
};

class DMPictureServiceListenerDispatchImageUploadDidFailEvent : public DMSIFServiceListenerDispatchEvent {
public:
    DMPictureServiceListenerDispatchImageUploadDidFailEvent(DMPictureServiceController* controller,
                                                            DMSIF_MethodRef* ref, std::string transactionId,
                                                            std::string imageId, DMSIF_StatusType status)
        : DMSIFServiceListenerDispatchEvent(nullptr, ref, controller),
          mController(controller),
          mTransactionId(std::move(transactionId)),
          mImageId(std::move(imageId)),
          mStatus(std::move(status)) {}
    void Fire() override;

private:
    DMPictureServiceController* mController;
    std::string mTransactionId, mImageId;
    DMSIF_StatusType mStatus;
};

class DMPictureServiceListenerDispatchImageUploadDidProgressEvent : public DMSIFServiceListenerDispatchEvent {
public:
    DMPictureServiceListenerDispatchImageUploadDidProgressEvent(DMPictureServiceController* controller,
                                                                DMSIF_MethodRef* ref, std::string transactionId,
                                                                std::string imageId, int sent, int total)
        : DMSIFServiceListenerDispatchEvent(nullptr, ref, controller),
          mController(controller),
          mTransactionId(std::move(transactionId)),
          mImageId(std::move(imageId)),
          mSent(sent),
          mTotal(total) {}
    void Fire() override;

private:
    DMPictureServiceController* mController;
    std::string mTransactionId, mImageId;
    int mSent, mTotal;
};
