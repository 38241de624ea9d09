#include "dms/pictures/DMPictureServiceController.h"

#include <exception>
#include <memory>

#include "dms/pictures/DMPictureMethods.h"
#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"

namespace {

constexpr const char* kPicturesServiceURN = "urn:zym-com:services:photo";

}  // namespace

DMPictureServiceController::DMPictureServiceController(DMSOAPElementType* resourceOffering,
                                                       DMSOAPElementType* credentials, DMSIFServiceListener* listener)
    : DMSIFService(kPicturesServiceURN, listener) {
    SetResourceOffering(resourceOffering, true);
    SetCredentials(credentials, true);
    SetAppendCID(true);
}

DMPictureServiceController::~DMPictureServiceController() {
    // Each image and transfer has one owner, its map entry: destroyed exactly once.
    mPendingImages.clear();
    mImageUploads.clear();
    RemoveAllTransactions();
}

std::string DMPictureServiceController::RequestElementName(const std::string& methodName) { return methodName; }

std::string DMPictureServiceController::ResponseElementName(const std::string& methodName) {
    return methodName + "Response";
}

DMPictureServiceController::Handler DMPictureServiceController::HandlerFor(const std::string& methodName) {
    static const struct {
        const char* method;
        Handler handler;
    } kTable[] = {
        {"CreateFolder", &DMPictureServiceController::HandleCreateFolderResponse},
        {"DeleteObjects", &DMPictureServiceController::HandleDeleteObjectsResponse},
        {"CopyObjects", &DMPictureServiceController::HandleCopyObjectsResponse},
        {"MoveObjects", &DMPictureServiceController::HandleMoveObjectsResponse},
        {"SearchObjects", &DMPictureServiceController::HandleSearchObjectsResponse},
        {"GetChildren", &DMPictureServiceController::HandleGetChildrenResponse},
        {"GetProperties", &DMPictureServiceController::HandleGetPropertiesResponse},
        {"GetShareInfo", &DMPictureServiceController::HandleGetShareInfoResponse},
        {"EditObjects", &DMPictureServiceController::HandleEditObjectsResponse},
        {"SetProperties", &DMPictureServiceController::HandleSetPropertiesResponse},
        {"UploadBegin", &DMPictureServiceController::HandleUploadBeginResponse},
        {"UploadCancel", &DMPictureServiceController::HandleUploadCancelResponse},
        {"UploadEnd", &DMPictureServiceController::HandleUploadEndResponse},
        {"NotifyZym", &DMPictureServiceController::HandleNotifyZymResponse},
        {"ShareObjects", &DMPictureServiceController::HandleShareObjectsResponse},
    };
    for (const auto& row : kTable)
        if (methodName == row.method) return row.handler;
    return nullptr;
}

void DMPictureServiceController::SIFRequestDidFinish(DMSIF_MethodRef* ref, DMSOAPResultMap& result) {
    Dispatch(ref, result, true);
}

void DMPictureServiceController::SIFRequestDidFail(DMSIF_MethodRef* ref, DMSOAPResultMap& result) {
    Dispatch(ref, result, false);
}

void DMPictureServiceController::Dispatch(DMSIF_MethodRef* ref, DMSOAPResultMap& result, bool answered) {
    // A ref this service no longer holds may be freed: it must not be read, nor dispatched.
    if (!OwnsMethodRef(ref)) return;
    DMSOAPElementType* requestEnvelope = DMResultMapElement(result, "RequestEnvelope");
    DMSOAPElementType* responseEnvelope = DMResultMapElement(result, "ResponseEnvelope");
    DMSOAPElementType* fault = answered ? nullptr : DMResultMapElement(result, "ResponseFault");
    const bool usable = answered ? requestEnvelope && responseEnvelope : requestEnvelope != nullptr;
    if (usable) {
        if (answered) ProcessServiceInstanceUpdate(responseEnvelope);
        DMSOAPElementType* requestBody = requestEnvelope->FindChild("Body", 1);
        DMSOAPElementType* responseBody = responseEnvelope ? responseEnvelope->FindChild("Body", 1) : nullptr;
        if (requestBody && (responseBody || !answered)) {
            for (DMSOAPElementType* request : requestBody->children) {
                DMSOAPElementType* response =
                    responseBody ? responseBody->FindChild(request->name + "Response", 1) : nullptr;
                if (answered && !response) {
                    LogMessage(kLogError,
                               "DMPictureServiceController - Response element from request (%s) not found in "
                               "message response\n",
                               ref->GetMethodName().c_str());
                    continue;
                }
                DMSOAPElementType* resultElement =
                    response ? response->FindChild(request->name + "Result", 1) : nullptr;
                if (answered && !resultElement) continue;
                const Handler handler = HandlerFor(ref->GetMethodName());
                if (!handler) continue;
                // One call ends once: the first request element handled decides it.
                try {
                    (this->*handler)(ref, request, resultElement, fault);
                } catch (const std::exception& e) {
                    LogMessage(kLogError, "DMPictureServiceController: %s: %s\n", ref->GetMethodName().c_str(),
                               e.what());
                }
                return;
            }
        }
    }
    DispatchDidFail(ref);
}

template <class Input, class Output>
void DMPictureServiceController::Handle(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,
                                        DMSOAPElementType* resultElement, DMSOAPElementType* faultElement,
                                        Upload upload) {
    if (!requestElement) return;
    auto input = std::make_unique<Input>(requestElement);
    std::unique_ptr<Output> output;
    if (resultElement || faultElement) {
        output = std::make_unique<Output>(resultElement);
        if (faultElement) output->fault = DMSIF_FaultType(faultElement);
    }
    // The transaction the answer belongs to.
    std::string transactionId;
    if constexpr (requires { output->GetTransactionId(); }) {
        if (output) transactionId = output->GetTransactionId();
    } else if constexpr (requires { input->GetTransactionId(); }) {
        transactionId = input->GetTransactionId();
    }
    const bool success = output && DMStringEqual(output->status.GetCode(), "OK", false);
    if (!GetListener(ref)) {
        // Not decoded for anyone, but an upload answer still ends its transfers.
        if (upload != Upload::None) CancelURLRequests(transactionId);
        return;
    }
    const bool attached = AttachResults(ref, std::move(input), std::move(output), requestElement->GetRoot(),
                                        resultElement ? resultElement->GetRoot() : nullptr);
    switch (upload) {
    case Upload::Begin:
        CancelURLRequests(transactionId);
        if (attached && success) {
            DispatchAsksForImagesToUpload(ref);
            StoreTransaction(transactionId, ref);
        }
        break;
    case Upload::Cancel:
    case Upload::End: break;
    case Upload::None: break;
    }
    if (attached) {
        if (success)
            DispatchDidFinish(ref);
        else
            DispatchDidFail(ref);
    }
    if (upload == Upload::Cancel || upload == Upload::End) {
        RemoveTransaction(transactionId);
        if (upload == Upload::Cancel) RemoveImageUploads(transactionId);
        CancelURLRequests(transactionId);
    }
}

#define DMPICTURE_HANDLER(Name, Messages, ...)                                                                 \
    void DMPictureServiceController::Name(DMSIF_MethodRef* ref, DMSOAPElementType* requestElement,             \
                                          DMSOAPElementType* resultElement, DMSOAPElementType* faultElement) { \
        Handle<DMPicture_##Messages##_InputType, DMPicture_##Messages##_OutputType>(                           \
            ref, requestElement, resultElement, faultElement __VA_ARGS__);                                     \
    }

DMPICTURE_HANDLER(HandleCreateFolderResponse, CreateFolder)
DMPICTURE_HANDLER(HandleDeleteObjectsResponse, DeleteObjects)
DMPICTURE_HANDLER(HandleCopyObjectsResponse, CopyObjects)
DMPICTURE_HANDLER(HandleMoveObjectsResponse, MoveObjects)
DMPICTURE_HANDLER(HandleSearchObjectsResponse, SearchObjects)
DMPICTURE_HANDLER(HandleGetChildrenResponse, GetChildren)
DMPICTURE_HANDLER(HandleGetPropertiesResponse, GetProperties)
DMPICTURE_HANDLER(HandleGetShareInfoResponse, GetShareInformation)
DMPICTURE_HANDLER(HandleEditObjectsResponse, EditObjects)
DMPICTURE_HANDLER(HandleSetPropertiesResponse, SetProperties)
DMPICTURE_HANDLER(HandleUploadBeginResponse, UploadBegin, , Upload::Begin)
DMPICTURE_HANDLER(HandleUploadCancelResponse, UploadCancel, , Upload::Cancel)
DMPICTURE_HANDLER(HandleUploadEndResponse, UploadEnd, , Upload::End)
DMPICTURE_HANDLER(HandleNotifyZymResponse, NotifyZym)
DMPICTURE_HANDLER(HandleShareObjectsResponse, ShareObjects)

// ---- transactions ----------------------------------------------------------------------------

void DMPictureServiceController::StoreTransaction(const std::string& transactionId, DMSIF_MethodRef* ref) {
    RemoveTransaction(transactionId);
    if (!ref || !OwnsMethodRef(ref)) return;
    ref->SetHeld(true);
    mTransactions[transactionId] = ref;
    LogMessage(kLogDebug, "Storing Transaction \"%s\" with MethodRef \"%s-%s\"\n", transactionId.c_str(),
               ref->GetMethodName().c_str(), ref->GetID().c_str());
}

void DMPictureServiceController::RemoveTransaction(const std::string& id) {
    const std::string transactionId = id;  // may be the key about to be erased
    const auto found = mTransactions.find(transactionId);
    if (found == mTransactions.end()) return;
    auto* ref = const_cast<DMSIF_MethodRef*>(found->second);
    mTransactions.erase(found);
    // Held refs stay with the service until released here; one it no longer has is not read.
    if (!OwnsMethodRef(ref)) return;
    LogMessage(kLogDebug, "Removing Transaction \"%s\" with MethodRef \"%s-%s\"\n", transactionId.c_str(),
               ref->GetMethodName().c_str(), ref->GetID().c_str());
    ref->SetHeld(false);
    ReleaseMethodRef(ref);
}

void DMPictureServiceController::RemoveAllTransactions() {
    while (!mTransactions.empty())
        RemoveTransaction(mTransactions.begin()->first);
}

const DMSIF_MethodRef* DMPictureServiceController::FindTransaction(const std::string& transactionId) const {
    const auto found = mTransactions.find(transactionId);
    return found == mTransactions.end() ? nullptr : found->second;
}

// ---- images ----------------------------------------------------------------------------------

void DMPictureServiceController::RegisterImageUpload(const std::string& transactionId, const std::string& imageId,
                                                     std::unique_ptr<DMPictureServiceUploadImageListener> image,
                                                     std::unique_ptr<DMURLRequest> transfer) {
    const Key key(transactionId, imageId);
    if (image) mPendingImages[key] = std::move(image);
    if (transfer) mImageUploads[key] = std::move(transfer);
}

void DMPictureServiceController::RemoveImageUploads(const std::string& transactionId) {
    for (auto it = mImageUploads.lower_bound(Key(transactionId, ""));
         it != mImageUploads.end() && it->first.first == transactionId;) {
        LogMessage(kLogDebug, "Removing Image Upload \"%s\"\n", (it->first.first + it->first.second).c_str());
        it = mImageUploads.erase(it);
    }
}

void DMPictureServiceController::RemoveImageUpload(const std::string& transactionId, const std::string& imageId) {
    mImageUploads.erase(Key(transactionId, imageId));
}

void DMPictureServiceController::RemovePendingImage(const std::string& transactionId, const std::string& imageId) {
    mPendingImages.erase(Key(transactionId, imageId));
}

namespace {

template <class Map, class Pred>
void EraseIf(Map& map, Pred pred) {
    for (auto it = map.begin(); it != map.end();)
        it = pred(*it) ? map.erase(it) : std::next(it);
}

}  // namespace

void DMPictureServiceController::CancelURLRequests(const std::string& transactionId) {
    auto mine = [&](const auto& entry) { return entry.first.first == transactionId; };
    EraseIf(mPendingImages, mine);
    EraseIf(mImageUploads, [&](const auto& entry) {
        if (!mine(entry)) return false;
        LogMessage(kLogDebug, "Canceling URL Request \"%s\"\n", entry.second->GetURL().c_str());
        return true;
    });
}

void DMPictureServiceController::CancelURLRequests() {
    mPendingImages.clear();
    for (const auto& entry : mImageUploads)
        LogMessage(kLogDebug, "Canceling URL Request \"%s\"\n", entry.second->GetURL().c_str());
    mImageUploads.clear();
}

// ---- upload events ---------------------------------------------------------------------------

DMPictureServiceListener* DMPictureServiceController::GetPictureListener(DMSIF_MethodRef* ref) {
    return dynamic_cast<DMPictureServiceListener*>(GetListener(ref));
}

void DMPictureServiceController::DispatchAsksForImagesToUpload(DMSIF_MethodRef* ref) {
    if (!ref) return;
    DMPictureServiceListener* listener = GetPictureListener(ref);
    if (!listener) return;
    if (LThreadEventQueue* queue = GetEventQueue())
        queue->Post(new DMPictureServiceListenerDispatchAsksForImagesToUploadEvent(listener, ref, this));
    else
        listener->AsksForImagesToUpload(ref);
}

void DMPictureServiceController::DispatchImageUploadDidFinish(DMSIF_MethodRef* ref, const std::string& transactionId,
                                                              const std::string& imageId, const DMSIF_IDType& id) {
    if (DMPictureServiceListener* listener = GetPictureListener(ref))
        listener->ImageUploadDidFinish(ref, transactionId, imageId, id);
    RemovePendingImage(transactionId, imageId);
    RemoveImageUpload(transactionId, imageId);
}

void DMPictureServiceController::DispatchImageUploadDidFail(DMSIF_MethodRef* ref, const std::string& transactionId,
                                                            const std::string& imageId,
                                                            const DMSIF_StatusType& status) {
    if (DMPictureServiceListener* listener = GetPictureListener(ref))
        listener->ImageUploadDidFail(ref, transactionId, imageId, status);
    RemovePendingImage(transactionId, imageId);
    RemoveImageUpload(transactionId, imageId);
}

void DMPictureServiceController::DispatchImageUploadDidProgress(DMSIF_MethodRef* ref, const std::string& transactionId,
                                                                const std::string& imageId, int sent, int total) {
    if (DMPictureServiceListener* listener = GetPictureListener(ref))
        listener->ImageUploadDidProgress(ref, transactionId, imageId, sent, total);
}

void DMPictureServiceListenerDispatchAsksForImagesToUploadEvent::Fire() {
    if (ServiceAlive() && mPictureListener) mPictureListener->AsksForImagesToUpload(mRef);
}

void DMPictureServiceListenerDispatchImageUploadDidFinishEvent::Fire() {
    if (ServiceAlive()) mController->DispatchImageUploadDidFinish(mRef, mTransactionId, mImageId, mId);
}

void DMPictureServiceListenerDispatchImageUploadDidFailEvent::Fire() {
    if (ServiceAlive()) mController->DispatchImageUploadDidFail(mRef, mTransactionId, mImageId, mStatus);
}

void DMPictureServiceListenerDispatchImageUploadDidProgressEvent::Fire() {
    if (ServiceAlive()) mController->DispatchImageUploadDidProgress(mRef, mTransactionId, mImageId, mSent, mTotal);
}
