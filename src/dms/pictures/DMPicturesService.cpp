#include "dms/pictures/DMPicturesService.h"

#include <exception>

#include "dms/core/DMServiceFactory.h"
#include "dms/core/DMServicesProvider.h"
#include "runtime/LogMessage.h"

namespace {

constexpr const char* kPicturesServiceURN = "urn:zym-com:services:photo";

// The method's message when the object is of its type, else null.
template <class T>
T* As(DMSIF_MethodArgumentsType* message) {
    return dynamic_cast<T*>(message);
}

}  // namespace

DMPicturesService::DMPicturesService(const std::string& userName, DMPictureServiceController* controller,
                                     DMServicesProvider* provider)
    : DMGenericService(userName, controller ? controller->GetEndpoint() : std::string(), provider),
      mController(controller) {
    if (mController) mController->SetListener(this, nullptr);
}

DMPicturesService::~DMPicturesService() {
    delete mController;
    // Calls that never ended: their tokens would otherwise be lost.
    for (auto& entry : mPending)
        delete entry.second;
}

std::string DMPicturesService::ServiceTypeURN() { return kPicturesServiceURN; }

void DMPicturesService::InvalidateService() {
    if (!mController) return;
    ServiceWillBecomeInvalid(mController);
    mController->Invalidate();
}

void DMPicturesService::DidBecomeValid(DMSIFService* service) {
    if (mListener) mListener->ServiceDidBecomeValid(service);
}

void DMPicturesService::ServiceWillBecomeInvalid(DMSIFService* service) {
    if (mListener) mListener->ServiceWillBecomeInvalid(service);
}

void DMPicturesService::DidBecomeInvalid(DMSIFService* service) {
    if (mListener) mListener->ServiceDidBecomeInvalid(service);
}

int DMPicturesService::ShouldMethodFailureInvalidateService(DMServiceRequestToken* token) {
    return mListener ? mListener->ShouldMethodFailureInvalidateService(token) : 2;
}

// ---- requests --------------------------------------------------------------------------------

DMServiceRequestToken* DMPicturesService::Request(const std::string& methodName, DMSIF_MethodArgumentsType& input) {
    if (!mController || !input.IsValid()) return nullptr;
    DMSOAPElementType* body = input.ToElement(mController->RequestElementName(methodName), kDMPictureNamespaceURI);
    DMSIF_MethodRef* ref = mController->Invoke(methodName, body, nullptr, "", nullptr);
    if (!ref) return nullptr;
    auto* token = new DMServiceRequestToken(kServiceTypePictures, mUserName, false, nullptr);
    token->methodRef = ref;
    mPending[ref->GetMessageID()] = token;
    return token;
}

#define DMPICTURES_REQUEST(Method, Messages, Name)                                                       \
    DMServiceRequestToken* DMPicturesService::Request##Method(DMPicture_##Messages##_InputType& input) { \
        return Request(Name, input);                                                                     \
    }

DMPICTURES_REQUEST(CreateFolder, CreateFolder, "CreateFolder")
DMPICTURES_REQUEST(DeleteObjects, DeleteObjects, "DeleteObjects")
DMPICTURES_REQUEST(CopyObjects, CopyObjects, "CopyObjects")
DMPICTURES_REQUEST(MoveObjects, MoveObjects, "MoveObjects")
DMPICTURES_REQUEST(SearchObjects, SearchObjects, "SearchObjects")
DMPICTURES_REQUEST(GetChildren, GetChildren, "GetChildren")
DMPICTURES_REQUEST(GetProperties, GetProperties, "GetProperties")
DMPICTURES_REQUEST(GetShareInfo, GetShareInformation, "GetShareInfo")
DMPICTURES_REQUEST(EditObjects, EditObjects, "EditObjects")
DMPICTURES_REQUEST(SetProperties, SetProperties, "SetProperties")
DMPICTURES_REQUEST(UploadBegin, UploadBegin, "UploadBegin")
DMPICTURES_REQUEST(UploadCancel, UploadCancel, "UploadCancel")
DMPICTURES_REQUEST(UploadEnd, UploadEnd, "UploadEnd")
DMPICTURES_REQUEST(NotifyZym, NotifyZym, "NotifyZym")
DMPICTURES_REQUEST(ShareObjects, ShareObjects, "ShareObjects")

// ---- outcomes --------------------------------------------------------------------------------

// Out of the pending map before anything else runs: invalidation cancels calls (this one
// too), and the token must live until its own report has returned.
std::unique_ptr<DMServiceRequestToken> DMPicturesService::TakeToken(DMSIF_MethodRef* ref) {
    std::unique_ptr<DMServiceRequestToken> token;
    if (!ref) return token;
    if (const auto found = mPending.find(ref->GetMessageID()); found != mPending.end()) {
        token.reset(found->second);
        mPending.erase(found);
    }
    return token;
}

void DMPicturesService::DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input,
                                  DMSIF_MethodOutputType* output) {
    if (!ref) return;
    std::unique_ptr<DMServiceRequestToken> token = TakeToken(ref);
    // Reached from the run loop: nothing may escape.
    try {
        if (token && output) token->status = output->status;
        HandleResponse(ref, token.get(), input, output, true);
    } catch (const std::exception& e) {
        LogMessage(kLogError, "DMPicturesService: %s ended with an exception: %s\n", ref->GetMethodName().c_str(),
                   e.what());
    }
}

void DMPicturesService::DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input,
                                DMSIF_MethodOutputType* output) {
    if (!ref) return;
    std::unique_ptr<DMServiceRequestToken> token = TakeToken(ref);
    const std::string methodName = ref->GetMethodName();
    try {
        if (token && output) {
            token->status = output->status;
            token->fault = output->fault;
        }
        const int vote = ShouldMethodFailureInvalidateService(token.get());
        if (vote != 0) {
            InvalidateService();
            if (mProvider) {
                if (vote == 1)
                    mProvider->ClearServiceForUsername(mUserName, kServiceTypePictures);
                else
                    mProvider->ResetUsername(mUserName);
            }
        }
        HandleResponse(ref, token.get(), input, output, false);
    } catch (const std::exception& e) {
        LogMessage(kLogError, "DMPicturesService: %s ended with an exception: %s\n", methodName.c_str(), e.what());
    }
}

void DMPicturesService::DidCancel(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input) {
    if (!ref) return;
    std::unique_ptr<DMServiceRequestToken> token = TakeToken(ref);
    try {
        if (token) token->cancelled = true;
        HandleResponse(ref, token.get(), input, nullptr, false);
    } catch (const std::exception& e) {
        LogMessage(kLogError, "DMPicturesService: %s ended with an exception: %s\n", ref->GetMethodName().c_str(),
                   e.what());
    }
}

void DMPicturesService::HandleResponse(DMSIF_MethodRef* ref, DMServiceRequestToken* token,
                                       DMSIF_MethodArgumentsType* input, DMSIF_MethodArgumentsType* output,
                                       bool success) {
    const std::string& method = ref->GetMethodName();
    DMPicturesServiceListener* l = mListener;
    // The output counts only for a success.
    DMSIF_MethodArgumentsType* out = success ? output : nullptr;
    const std::list<DMSIF_IDType> noIds;
    const std::list<DMPicture_PropertiesType> noObjects;
    auto idsOf = [&](auto* message) -> const std::list<DMSIF_IDType>& { return message ? message->GetIds() : noIds; };

    if (method == "GetChildren") {
        auto* i = As<DMPicture_GetChildren_InputType>(input);
        auto* o = As<DMPicture_GetChildren_OutputType>(out);
        if (l)
            l->GetChildrenCompleted(i ? i->GetParentId().GetValue() : "", o ? o->GetObjects() : noObjects, token,
                                    success);
    } else if (method == "CreateFolder") {
        auto* i = As<DMPicture_CreateFolder_InputType>(input);
        auto* o = As<DMPicture_CreateFolder_OutputType>(out);
        if (l)
            l->CreateFolderCompleted(i ? i->GetDestinationId().GetValue() : "", o ? o->GetId().GetValue() : "", token,
                                     success);
    } else if (method == "DeleteObjects") {
        if (l) l->DeleteObjectsCompleted(idsOf(As<DMPicture_DeleteObjects_InputType>(input)), token, success);
    } else if (method == "CopyObjects") {
        if (l)
            l->CopyObjectsCompleted(idsOf(As<DMPicture_CopyObjects_InputType>(input)),
                                    idsOf(As<DMPicture_CopyObjects_OutputType>(out)), token, success);
    } else if (method == "MoveObjects") {
        if (l)
            l->MoveObjectsCompleted(idsOf(As<DMPicture_MoveObjects_InputType>(input)),
                                    idsOf(As<DMPicture_MoveObjects_OutputType>(out)), token, success);
    } else if (method == "GetProperties") {
        auto* o = As<DMPicture_GetProperties_OutputType>(out);
        if (l)
            l->GetPropertiesCompleted(idsOf(As<DMPicture_GetProperties_InputType>(input)),
                                      o ? o->GetObjects() : noObjects, token, success);
    } else if (method == "SetProperties") {
        if (l) l->SetPropertiesCompleted(idsOf(As<DMPicture_SetProperties_InputType>(input)), token, success);
    } else if (method == "NotifyZym") {
        auto* i = As<DMPicture_NotifyZym_InputType>(input);
        if (l) l->NotifyZymCompleted(i ? i->GetId() : DMSIF_IDType(), token, success);
    } else if (method == "UploadBegin") {
        auto* i = As<DMPicture_UploadBegin_InputType>(input);
        auto* o = As<DMPicture_UploadBegin_OutputType>(out);
        if (l)
            l->UploadBeginCompleted(i ? i->GetDestinationId().GetValue() : "", i ? i->GetCount() : 0,
                                    o ? o->GetTransactionId() : "", o ? o->GetUrl() : "", token, success);
    } else if (method == "UploadEnd") {
        auto* i = As<DMPicture_UploadEnd_InputType>(input);
        if (l) l->UploadEndCompleted(i ? i->GetTransactionId() : "", token, success);
    } else if (method == "UploadCancel") {
        auto* i = As<DMPicture_UploadCancel_InputType>(input);
        if (l) l->UploadCancelCompleted(i ? i->GetTransactionId() : "", token, success);
    } else if (method == "ShareObjects") {
        auto* i = As<DMPicture_ShareObjects_InputType>(input);
        const std::list<std::string> none;
        if (l)
            l->ShareObjectsCompleted(idsOf(i), i ? i->GetAddresses() : none, i ? i->GetSubject() : "",
                                     i ? i->GetDescription() : "", token, success);
    } else if (method == "EditObjects") {
        if (l)
            l->EditObjectsCompleted(idsOf(As<DMPicture_EditObjects_InputType>(input)),
                                    idsOf(As<DMPicture_EditObjects_OutputType>(out)), token, success);
    } else if (method == "GetShareInfo") {
        auto* o = As<DMPicture_GetShareInformation_OutputType>(out);
        const std::list<DMPicture_ShareEventType> none;
        if (l) l->GetShareInfoCompleted(o ? o->GetEvents() : none, token, success);
    } else {
        LogMessage(kLogError, "Callback not handled: %s\n", method.c_str());
    }
}

// ---- registration ----------------------------------------------------------------------------

void DMPicturesServiceRegister() {
    DMServiceFactory::Register(
        kServiceTypePictures,
        [](DMSOAPElementType* offering, DMSOAPElementType* credentials, DMSIFServiceListener* listener)
            -> DMSIFService* { return new DMPictureServiceController(offering, credentials, listener); },
        [](const std::string& userName, DMSIFService* controller, DMServicesProvider* provider) -> DMGenericService* {
            auto* own = dynamic_cast<DMPictureServiceController*>(controller);
            return own ? new DMPicturesService(userName, own, provider) : nullptr;
        });
}
