#pragma once

// The arguments and result messages of the fifteen pictures methods. Each message writes
// its method element with the children of its Fields() list, each child in the method
// namespace (the namespace given to ToElement) or the pictures namespace (NS::P), and
// reads them back by local name. Integers are written only when 0 or more; the integers
// of an arguments message start at -1 (not given). A result writes its "Status" first,
// always; its fault is neither written nor read here (the controller sets it).
// A list wrapper of a message replaces its list only when it has at least one child.

#include <cstdint>
#include <list>
#include <string>

#include "dms/core/DMSIFMethod.h"
#include "dms/pictures/DMPictureTypes.h"

#define DMPICTURE_INPUT(T) DM_FIELD_CODING_MEMBERS(T)
#define DMPICTURE_OUTPUT(T) DM_FIELD_CODING_MEMBERS(T)

namespace dmpictures {
inline constexpr NS M = NS::M;
inline constexpr NS P = NS::P;
inline constexpr ListRead kListRead = ListRead::IfNonEmpty;
}  // namespace dmpictures

// ---- properties, sharing, uploads and notices ------------------------------------------------

class DMPicture_GetProperties_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_GetProperties_InputType) {
        using namespace dmpictures;
        v.List("Ids", "Id", P, mIds, kListRead);
        // Only "String" items count here.
        v.Strings("Fields", "String", M, mFields, kListRead, true);
    }
    bool IsValid() override { return !mIds.empty(); }
    std::list<DMSIF_IDType>& GetIds() { return mIds; }

    std::list<DMSIF_IDType> mIds;
    std::list<std::string> mFields;
};

class DMPicture_GetProperties_OutputType : public DMSIF_MethodOutputType {
public:
    DMPICTURE_OUTPUT(DMPicture_GetProperties_OutputType) {
        using namespace dmpictures;
        v.Status(status);
        v.List("Objects", "Object", P, mObjects, kListRead);
    }
    std::list<DMPicture_PropertiesType>& GetObjects() { return mObjects; }

    std::list<DMPicture_PropertiesType> mObjects;
};

class DMPicture_SetProperties_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_SetProperties_InputType) {
        using namespace dmpictures;
        v.List("Ids", "Id", P, mIds, kListRead);
        v.List("Properties", "NameValuePair", P, mProperties, kListRead);
    }
    bool IsValid() override { return !mIds.empty() && !mProperties.empty(); }
    std::list<DMSIF_IDType>& GetIds() { return mIds; }

    std::list<DMSIF_IDType> mIds;
    std::list<DMPicture_NameValuePairType> mProperties;
};

class DMPicture_ShareObjects_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_ShareObjects_InputType) {
        using namespace dmpictures;
        v.List("Ids", "Id", P, mIds, kListRead);
        v.Strings("Addresses", "String", M, mAddresses, kListRead);
        v.Text("Subject", M, mSubject);
        v.Text("Description", M, mDescription);
    }
    bool IsValid() override { return !mIds.empty() && !mAddresses.empty(); }
    std::list<DMSIF_IDType>& GetIds() { return mIds; }
    std::list<std::string>& GetAddresses() { return mAddresses; }
    std::string& GetSubject() { return mSubject; }
    std::string& GetDescription() { return mDescription; }

    std::list<DMSIF_IDType> mIds;
    std::list<std::string> mAddresses;
    std::string mSubject;
    std::string mDescription;
};

class DMPicture_GetShareInformation_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_GetShareInformation_InputType) {
        using namespace dmpictures;
        v.Int("Offset", M, mOffset);
        v.Int("Count", M, mCount);
    }

    std::int32_t mOffset = -1;
    std::int32_t mCount = -1;
};

class DMPicture_GetShareInformation_OutputType : public DMSIF_MethodOutputType {
public:
    DMPICTURE_OUTPUT(DMPicture_GetShareInformation_OutputType) {
        using namespace dmpictures;
        v.Status(status);
        v.Int("Remaining", M, mRemaining);
        // All lower case, unlike every other name of the schema.
        v.List("events", "ShareEvent", P, mEvents, kListRead);
    }
    std::list<DMPicture_ShareEventType>& GetEvents() { return mEvents; }

    std::int32_t mRemaining = 0;
    std::list<DMPicture_ShareEventType> mEvents;
};

class DMPicture_UploadBegin_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_UploadBegin_InputType) {
        using namespace dmpictures;
        v.Id("DestinationId", M, mDestinationId);
        v.Int("Offset", M, mOffset);
        v.Int("Count", M, mCount);
    }
    bool IsValid() override { return !mDestinationId.GetValue().empty() && mCount >= 1; }
    DMSIF_IDType& GetDestinationId() { return mDestinationId; }
    int GetCount() const { return mCount; }

    DMSIF_IDType mDestinationId;
    std::int32_t mCount = -1;
    std::int32_t mOffset = -1;
};

class DMPicture_UploadBegin_OutputType : public DMSIF_MethodOutputType {
public:
    DMPICTURE_OUTPUT(DMPicture_UploadBegin_OutputType) {
        using namespace dmpictures;
        v.Status(status);
        v.Text("TransactionId", M, mTransactionId);
        v.Text("Url", M, mUrl);
    }
    std::string& GetTransactionId() { return mTransactionId; }
    std::string& GetUrl() { return mUrl; }

    std::string mTransactionId;
    std::string mUrl;
};

class DMPicture_UploadEnd_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_UploadEnd_InputType) { v.Text("TransactionId", dmpictures::M, mTransactionId); }
    bool IsValid() override { return !mTransactionId.empty(); }
    std::string& GetTransactionId() { return mTransactionId; }

    std::string mTransactionId;
};

class DMPicture_UploadCancel_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_UploadCancel_InputType) { v.Text("TransactionId", dmpictures::M, mTransactionId); }
    bool IsValid() override { return !mTransactionId.empty(); }
    std::string& GetTransactionId() { return mTransactionId; }

    std::string mTransactionId;
};

class DMPicture_NotifyZym_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_NotifyZym_InputType) {
        using namespace dmpictures;
        v.Id("Id", M, mId);
        v.Int("Violation", M, mViolation);
        v.Text("Comments", M, mComments);
        v.Text("UserAgent", M, mUserAgent);
    }
    bool IsValid() override {
        const bool kind = mViolation == 1 || mViolation == 2 || mViolation == 4 || mViolation == 5 || mViolation == 6;
        return !mId.GetValue().empty() && kind && !mComments.empty() && !mUserAgent.empty();
    }
    DMSIF_IDType& GetId() { return mId; }

    DMSIF_IDType mId;
    std::int32_t mViolation = -1;
    std::string mComments;
    std::string mUserAgent;
};

// The results that carry nothing but their status.
#define DMPICTURE_STATUS_ONLY_OUTPUT(T)           \
    class T : public DMSIF_MethodOutputType {     \
    public:                                       \
        DMPICTURE_OUTPUT(T) { v.Status(status); } \
    }

DMPICTURE_STATUS_ONLY_OUTPUT(DMPicture_SetProperties_OutputType);
DMPICTURE_STATUS_ONLY_OUTPUT(DMPicture_ShareObjects_OutputType);
DMPICTURE_STATUS_ONLY_OUTPUT(DMPicture_UploadEnd_OutputType);
DMPICTURE_STATUS_ONLY_OUTPUT(DMPicture_UploadCancel_OutputType);
DMPICTURE_STATUS_ONLY_OUTPUT(DMPicture_NotifyZym_OutputType);
DMPICTURE_STATUS_ONLY_OUTPUT(DMPicture_DeleteObjects_OutputType);

// ---- folders and objects ------------------------------------------------------------------

class DMPicture_CreateFolder_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_CreateFolder_InputType) {
        using namespace dmpictures;
        v.Text("Name", M, mName);
        v.Text("Mimetype", M, mMimetype);
        v.Id("DestinationId", M, mDestinationId);
        v.Int("Offset", M, mOffset);
    }
    bool IsValid() override { return !mName.empty() && !mMimetype.empty() && !mDestinationId.GetValue().empty(); }
    DMSIF_IDType& GetDestinationId() { return mDestinationId; }

    std::string mName;
    std::string mMimetype;
    DMSIF_IDType mDestinationId;
    std::int32_t mOffset = -1;
};

class DMPicture_CreateFolder_OutputType : public DMSIF_MethodOutputType {
public:
    DMPICTURE_OUTPUT(DMPicture_CreateFolder_OutputType) {
        using namespace dmpictures;
        v.Status(status);
        v.Value("Id", M, mId);  // also when empty
    }
    DMSIF_IDType& GetId() { return mId; }

    DMSIF_IDType mId;
};

class DMPicture_DeleteObjects_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_DeleteObjects_InputType) {
        v.List("Ids", "Id", dmpictures::P, mIds, dmpictures::kListRead);
    }
    bool IsValid() override { return !mIds.empty(); }
    std::list<DMSIF_IDType>& GetIds() { return mIds; }

    std::list<DMSIF_IDType> mIds;
};

// CopyObjects and MoveObjects share every field, child and rule.
#define DMPICTURE_TRANSFER_MESSAGES(Method)                                                     \
    class DMPicture_##Method##_InputType : public DMSIF_MethodArgumentsType {                   \
    public:                                                                                     \
        DMPICTURE_INPUT(DMPicture_##Method##_InputType) {                                       \
            using namespace dmpictures;                                                         \
            v.List("Ids", "Id", P, mIds, kListRead);                                            \
            v.Id("DestinationId", M, mDestinationId);                                           \
            v.Int("Offset", M, mOffset);                                                        \
        }                                                                                       \
        bool IsValid() override { return !mIds.empty() && !mDestinationId.GetValue().empty(); } \
        std::list<DMSIF_IDType>& GetIds() { return mIds; }                                      \
        DMSIF_IDType& GetDestinationId() { return mDestinationId; }                             \
                                                                                                \
        std::list<DMSIF_IDType> mIds;                                                           \
        DMSIF_IDType mDestinationId;                                                            \
        std::int32_t mOffset = -1;                                                              \
    };                                                                                          \
    class DMPicture_##Method##_OutputType : public DMSIF_MethodOutputType {                     \
    public:                                                                                     \
        DMPICTURE_OUTPUT(DMPicture_##Method##_OutputType) {                                     \
            using namespace dmpictures;                                                         \
            v.Status(status);                                                                   \
            v.List("Ids", "Id", P, mIds, kListRead);                                            \
        }                                                                                       \
        std::list<DMSIF_IDType>& GetIds() { return mIds; }                                      \
                                                                                                \
        std::list<DMSIF_IDType> mIds;                                                           \
    }

DMPICTURE_TRANSFER_MESSAGES(CopyObjects);
DMPICTURE_TRANSFER_MESSAGES(MoveObjects);

class DMPicture_EditObjects_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_EditObjects_InputType) {
        using namespace dmpictures;
        v.List("Ids", "Id", P, mIds, kListRead);
        v.List("Operations", "Operation", P, mOperations, kListRead);
    }
    bool IsValid() override { return !mIds.empty() && !mOperations.empty(); }
    std::list<DMSIF_IDType>& GetIds() { return mIds; }

    std::list<DMSIF_IDType> mIds;
    std::list<DMPicture_OperationType> mOperations;
};

class DMPicture_EditObjects_OutputType : public DMSIF_MethodOutputType {
public:
    DMPICTURE_OUTPUT(DMPicture_EditObjects_OutputType) {
        using namespace dmpictures;
        v.Status(status);
        v.List("Ids", "Id", P, mIds, kListRead);
    }
    std::list<DMSIF_IDType>& GetIds() { return mIds; }

    std::list<DMSIF_IDType> mIds;
};

class DMPicture_SearchObjects_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_SearchObjects_InputType) {
        using namespace dmpictures;
        v.Id("RootId", M, mRootId);
        v.Text("Query", M, mQuery);
        v.Int("Offset", M, mOffset);
        v.Int("Count", M, mCount);
    }
    bool IsValid() override { return !mRootId.GetValue().empty() && !mQuery.empty(); }

    DMSIF_IDType mRootId;
    std::string mQuery;
    std::int32_t mOffset = -1;
    std::int32_t mCount = -1;
};

class DMPicture_SearchObjects_OutputType : public DMSIF_MethodOutputType {
public:
    DMPICTURE_OUTPUT(DMPicture_SearchObjects_OutputType) {
        using namespace dmpictures;
        v.Status(status);
        v.Int("Remaining", M, mRemaining);
        v.List("Ids", "Id", P, mIds, kListRead);
    }

    std::int32_t mRemaining = 0;
    std::list<DMSIF_IDType> mIds;
};

class DMPicture_GetChildren_InputType : public DMSIF_MethodArgumentsType {
public:
    DMPICTURE_INPUT(DMPicture_GetChildren_InputType) {
        using namespace dmpictures;
        v.Id("ParentId", M, mParentId);
        v.Int("Offset", M, mOffset);
        v.Int("Count", M, mCount);
        v.Text("ModifiedSince", M, mModifiedSince);
        v.Strings("Fields", "String", M, mFields, kListRead);
    }
    bool IsValid() override { return !mParentId.GetValue().empty(); }
    DMSIF_IDType& GetParentId() { return mParentId; }

    DMSIF_IDType mParentId;
    std::int32_t mOffset = -1;
    std::int32_t mCount = -1;
    std::string mModifiedSince;
    std::list<std::string> mFields;
};

class DMPicture_GetChildren_OutputType : public DMSIF_MethodOutputType {
public:
    DMPICTURE_OUTPUT(DMPicture_GetChildren_OutputType) {
        using namespace dmpictures;
        v.Status(status);
        v.Int("Remaining", M, mRemaining);
        v.List("Objects", "Object", P, mObjects, kListRead);
        v.Flags("Modified", "Boolean", P, mModified);
    }
    std::list<DMPicture_PropertiesType>& GetObjects() { return mObjects; }

    std::int32_t mRemaining = 0;
    std::list<DMPicture_PropertiesType> mObjects;
    std::list<bool> mModified;
};
