#pragma once

// The pictures service the web-service core hands out for the type 'Pict': a
// DMGenericService and the default listener of its controller. Each ended call is
// reported to one DMPicturesServiceListener with the values of its messages, its request
// token and a success flag. A failed call asks the listener whether the service goes:
// 0 keeps it; 1 invalidates it and forgets the user's discovery of 'Pict' (the next
// request discovers again); 2, any other non-zero vote and the vote without a listener
// invalidate it and reset the user's sign-on.
//
// Tokens: each Request* operation that sent its call returns a new token, filed under
// the call's message id; the facade deletes it once the call has been reported, however
// it ended, and deletes the tokens still pending when it goes. Main thread only.

#include <list>
#include <map>
#include <memory>
#include <string>

#include "dms/core/DMGenericService.h"
#include "dms/core/DMSIFServiceListener.h"
#include "dms/pictures/DMPictureMethods.h"
#include "dms/pictures/DMPictureServiceController.h"

class DMServicesProvider;

// Implemented by a client. Values are valid during the call only; the token is the call's
// (null when none was pending) and is deleted after the call.
class DMPicturesServiceListener {
public:
    virtual void ServiceDidBecomeValid(DMSIFService* service) = 0;
    virtual void ServiceWillBecomeInvalid(DMSIFService* service) = 0;
    virtual void ServiceDidBecomeInvalid(DMSIFService* service) = 0;
    virtual int ShouldMethodFailureInvalidateService(DMServiceRequestToken* token) = 0;
    virtual void GetChildrenCompleted(const std::string& parentId, const std::list<DMPicture_PropertiesType>& objects,
                                      DMServiceRequestToken* token, bool success) = 0;
    virtual void CreateFolderCompleted(const std::string& destinationId, const std::string& folderId,
                                       DMServiceRequestToken* token, bool success) = 0;
    virtual void DeleteObjectsCompleted(const std::list<DMSIF_IDType>& ids, DMServiceRequestToken* token,
                                        bool success) = 0;
    virtual void CopyObjectsCompleted(const std::list<DMSIF_IDType>& ids, const std::list<DMSIF_IDType>& resultIds,
                                      DMServiceRequestToken* token, bool success) = 0;
    virtual void MoveObjectsCompleted(const std::list<DMSIF_IDType>& ids, const std::list<DMSIF_IDType>& resultIds,
                                      DMServiceRequestToken* token, bool success) = 0;
    virtual void GetPropertiesCompleted(const std::list<DMSIF_IDType>& ids,
                                        const std::list<DMPicture_PropertiesType>& objects,
                                        DMServiceRequestToken* token, bool success) = 0;
    virtual void EditObjectsCompleted(const std::list<DMSIF_IDType>& ids, const std::list<DMSIF_IDType>& resultIds,
                                      DMServiceRequestToken* token, bool success) = 0;
    virtual void SetPropertiesCompleted(const std::list<DMSIF_IDType>& ids, DMServiceRequestToken* token,
                                        bool success) = 0;
    virtual void NotifyZymCompleted(const DMSIF_IDType& id, DMServiceRequestToken* token, bool success) = 0;
    virtual void ShareObjectsCompleted(const std::list<DMSIF_IDType>& ids, const std::list<std::string>& addresses,
                                       const std::string& subject, const std::string& description,
                                       DMServiceRequestToken* token, bool success) = 0;
    virtual void GetShareInfoCompleted(const std::list<DMPicture_ShareEventType>& events, DMServiceRequestToken* token,
                                       bool success) = 0;
    virtual void UploadBeginCompleted(const std::string& destinationId, int count, const std::string& transactionId,
                                      const std::string& uploadURL, DMServiceRequestToken* token, bool success) = 0;
    virtual void UploadCancelCompleted(const std::string& transactionId, DMServiceRequestToken* token,
                                       bool success) = 0;
    virtual void UploadEndCompleted(const std::string& transactionId, DMServiceRequestToken* token, bool success) = 0;

protected:
    ~DMPicturesServiceListener() = default;
};

class DMPicturesService : public DMGenericService, public DMSIFServiceListener {
public:
    // Takes the controller over and becomes its default listener.
    DMPicturesService(const std::string& userName, DMPictureServiceController* controller,
                      DMServicesProvider* provider);
    // Deletes the controller (its calls are cancelled) and the tokens still pending.
    ~DMPicturesService() override;

    void InvalidateService() override;
    std::string ServiceTypeURN() override;
    virtual DMPictureServiceController* GetController() { return mController; }

    // Not owned; null clears.
    void SetListener(DMPicturesServiceListener* listener) { mListener = listener; }
    DMPicturesServiceListener* GetListener() const { return mListener; }
    std::size_t PendingCount() const { return mPending.size(); }

    // One request per method: the input must be valid and the service able to send;
    // otherwise null and nothing is sent.
    DMServiceRequestToken* RequestCreateFolder(DMPicture_CreateFolder_InputType& input);
    DMServiceRequestToken* RequestDeleteObjects(DMPicture_DeleteObjects_InputType& input);
    DMServiceRequestToken* RequestCopyObjects(DMPicture_CopyObjects_InputType& input);
    DMServiceRequestToken* RequestMoveObjects(DMPicture_MoveObjects_InputType& input);
    DMServiceRequestToken* RequestSearchObjects(DMPicture_SearchObjects_InputType& input);
    DMServiceRequestToken* RequestGetChildren(DMPicture_GetChildren_InputType& input);
    DMServiceRequestToken* RequestGetProperties(DMPicture_GetProperties_InputType& input);
    DMServiceRequestToken* RequestGetShareInfo(DMPicture_GetShareInformation_InputType& input);
    DMServiceRequestToken* RequestEditObjects(DMPicture_EditObjects_InputType& input);
    DMServiceRequestToken* RequestSetProperties(DMPicture_SetProperties_InputType& input);
    DMServiceRequestToken* RequestUploadBegin(DMPicture_UploadBegin_InputType& input);
    DMServiceRequestToken* RequestUploadCancel(DMPicture_UploadCancel_InputType& input);
    DMServiceRequestToken* RequestUploadEnd(DMPicture_UploadEnd_InputType& input);
    DMServiceRequestToken* RequestNotifyZym(DMPicture_NotifyZym_InputType& input);
    DMServiceRequestToken* RequestShareObjects(DMPicture_ShareObjects_InputType& input);

    // DMSIFServiceListener
    void DidBecomeValid(DMSIFService* service) override;
    void DidBecomeInvalid(DMSIFService* service) override;
    void DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) override;
    void DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input, DMSIF_MethodOutputType* output) override;
    void DidCancel(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* input) override;

    virtual void ServiceWillBecomeInvalid(DMSIFService* service);
    virtual int ShouldMethodFailureInvalidateService(DMServiceRequestToken* token);

private:
    DMServiceRequestToken* Request(const std::string& methodName, DMSIF_MethodArgumentsType& input);
    std::unique_ptr<DMServiceRequestToken> TakeToken(DMSIF_MethodRef* ref);
    void HandleResponse(DMSIF_MethodRef* ref, DMServiceRequestToken* token, DMSIF_MethodArgumentsType* input,
                        DMSIF_MethodArgumentsType* output, bool success);

    DMPictureServiceController* mController;                 // owned
    DMPicturesServiceListener* mListener = nullptr;          // not owned
    std::map<std::string, DMServiceRequestToken*> mPending;  // by message id; owned
};

// Registers 'Pict' with the service factory: its controller and this facade. Call once
// at start-up, on the main thread, before the first service request.
void DMPicturesServiceRegister();
