#pragma once

// The value types of the pictures schema: name/value pairs, permissions, edit operations,
// share events and object properties. Plain copyable values; each writes itself into an
// element tree and reads itself back by the schema's one set of rules
// (DMPictureCoding.h):
//
// - Every child a value writes, at every depth, lies in the pictures namespace, written
//   as a default namespace (no prefix is declared for it).
// - FromElement finds children by local name (first occurrence, any namespace) and
//   leaves the fields of absent children as they were; a null element changes nothing.
//   Numbers are read and written independently of the process locale.
//
// Each class lists its fields once, in child order, in Fields(); the coders visit it.

#include <cstdint>
#include <list>
#include <string>
#include <utility>

#include "dms/core/DMFieldCoding.h"
#include "dms/core/DMSIFTypes.h"

// The pictures namespace: values, list wrappers and their items.
inline constexpr const char* kDMPictureNamespaceURI = "http://photos.zym-com.invalid/xsd/1.0/ns/";

namespace dmpictures {
// Where a message's child lies: M, the namespace of the message's own element, or P, the
// pictures namespace.
enum class NS { M, P };
// How a list wrapper replaces its field when read.
enum class ListRead {
    IfPresent,   // whenever the wrapper is there, an empty one too (values)
    IfNonEmpty,  // only when the wrapper has at least one child (messages)
};
}  // namespace dmpictures

// (name, value) pairs of Rights, Attributes and Arguments.
using DMPicture_NameValueList = std::list<std::pair<std::string, std::string>>;

class DMPicture_NameValuePairType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMPicture_NameValuePairType) {
        v.TextAlways("Name", dmpictures::NS::P, mName);
        v.TextAlways("Value", dmpictures::NS::P, mValue);
    }

    std::string mName;
    std::string mValue;
};

class DMPicture_PermissionsType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMPicture_PermissionsType) {
        v.Permission("Read", mRead);
        v.Permission("Write", mWrite);
        v.Erase(mErase);
    }

    bool mRead = false;
    bool mWrite = false;
    bool mErase = false;
};

class DMPicture_OperationType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMPicture_OperationType) {
        v.Text("Name", dmpictures::NS::P, mName);
        v.Pairs("Arguments", mArguments, false);
    }

    std::string mName;
    DMPicture_NameValueList mArguments;
};

class DMPicture_ShareEventType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMPicture_ShareEventType) {
        v.Text("AlbumName", dmpictures::NS::P, mAlbumName);
        v.Strings("Addresses", "String", dmpictures::NS::P, mAddresses, dmpictures::ListRead::IfPresent);
        v.Text("Date", dmpictures::NS::P, mDate);
        v.Strings("ViewDates", "String", dmpictures::NS::P, mViewDates, dmpictures::ListRead::IfPresent);
    }

    std::string mAlbumName;
    std::list<std::string> mAddresses;
    std::string mDate;
    std::list<std::string> mViewDates;
};

class DMPicture_PropertiesType : public DMSIF_BaseType, public DMSOAPElementCoding {
public:
    DM_FIELD_CODING_MEMBERS(DMPicture_PropertiesType) {
        v.Value("Id", dmpictures::NS::P, mId);
        v.TextAlways("Mimetype", dmpictures::NS::P, mMimetype);
        v.TextAlways("ModificationDate", dmpictures::NS::P, mModificationDate);
        v.Value("Permissions", dmpictures::NS::P, mPermissions);
        v.Pairs("Rights", mRights, true);
        v.Value("ParentId", dmpictures::NS::P, mParentId);
        v.TextAlways("Name", dmpictures::NS::P, mName);
        v.Text("Caption", dmpictures::NS::P, mCaption);
        v.Keywords("Keywords", mKeywords);
        v.ChildrenCount("ChildrenCount", mChildrenCount);
        v.Pairs("Attributes", mAttributes, false);
    }

    DMSIF_IDType mId;
    std::string mMimetype;
    std::string mModificationDate;
    DMPicture_PermissionsType mPermissions;
    DMPicture_NameValueList mRights;
    DMSIF_IDType mParentId;
    std::string mName;
    std::string mCaption;
    std::list<std::string> mKeywords;
    std::int32_t mChildrenCount = 0;
    DMPicture_NameValueList mAttributes;
};
