#include "dms/radio3/DMRadio3Methods.h"

#include <utility>

#include "dms/core/DMElementCoding.h"

namespace {

const std::string kUnqualified;

void AddOptionalInt(DMSOAPElementType* element, const char* name, std::int32_t value) {
    if (value >= 0) {
        DMAddAttribute(element, name, kUnqualified, DMFormatInt(value));
    }
}

// The outputs that accept either spelling take "timestamp" only when "timeStamp" is
// absent.
void ReadTimeStamp(const DMSOAPElementType* element, std::string& field, bool lowerCaseToo) {
    if (!DMReadAttribute(element, "timeStamp", field) && lowerCaseToo) {
        DMReadAttribute(element, "timestamp", field);
    }
}

// The list of every child of that name, as the item class reads it; the list is kept
// when the element has no child element at all.
template <typename T>
void ReadItems(const DMSOAPElementType* element, const char* name, std::vector<T>& list) {
    if (element->children.empty()) {
        return;
    }
    std::size_t count = 0;
    for (const DMSOAPElementType* child : element->children) {
        count += child->name == name ? 1 : 0;
    }
    std::vector<T> items;
    items.reserve(count);
    for (DMSOAPElementType* child : element->children) {
        if (child->name == name) {
            items.emplace_back(child);
        }
    }
    list = std::move(items);
}

// The "Property" pattern: a child "Property" named by an unqualified "name" attribute,
// holding one child named like the property.
DMSOAPElementType* AddProperty(DMSOAPElementType* element, const char* property, const std::string& namespaceURI) {
    DMSOAPElementType* child = DMAddChild(element, "Property", namespaceURI, "");
    DMAddAttribute(child, "name", kUnqualified, property);
    return child;
}

// Calls use for every "Property" whose "name" is the property, in document order.
template <typename Use>
void ForEachProperty(const DMSOAPElementType* element, const char* property, Use use) {
    for (DMSOAPElementType* child : element->children) {
        if (child->name != "Property") {
            continue;
        }
        const DMSOAPAttributeType* name = child->FindAttribute("name");
        if (name && name->value == property) {
            use(child);
        }
    }
}

void AddPresets(DMSOAPElementType* property, const std::string& namespaceURI, std::vector<DMSIF_IDType>& presets) {
    DMSOAPElementType* wrapper = DMAddChild(property, "Presets", namespaceURI, "");
    DMAddItems(wrapper, "Preset", namespaceURI, presets);
}

std::vector<DMSIF_IDType> PresetChildren(const DMSOAPElementType* element) {
    std::vector<DMSIF_IDType> presets;
    for (DMSOAPElementType* child : element->children) {
        if (child->name == "Preset") {
            presets.emplace_back(child);
        }
    }
    return presets;
}

// The request side: only a property with a "Presets" child replaces the list.
void ReadPresetsRequest(DMSOAPElementType* element, std::string& changedSince, std::vector<DMSIF_IDType>& presets) {
    DMReadAttribute(element, "changedSince", changedSince);
    ForEachProperty(element, "Presets", [&](DMSOAPElementType* property) {
        if (const DMSOAPElementType* wrapper = property->FindChild("Presets", 1)) {
            presets = PresetChildren(wrapper);
        }
    });
}

bool DescribeInputValid(const std::string& version, const std::vector<DMSIF_IDType>& refIds) {
    if (!version.empty() && version != "3.0") {
        return false;
    }
    return !refIds.empty();
}

// RefId and OutputElement lists of the three describe inputs, in one pass.
void ReadDescribeLists(DMSOAPElementType* element, std::vector<DMSIF_IDType>& refIds,
                       std::vector<DMSIF_IDType>& outputElements) {
    ReadItems(element, "RefId", refIds);
    ReadItems(element, "OutputElement", outputElements);
}

}  // namespace

// --- ListCategories ---

DMRadio3_ListCategories_InputType::DMRadio3_ListCategories_InputType(const std::string& changedSince,
                                                                     std::int32_t offset, std::int32_t count,
                                                                     const std::string& domain)
    : mDomain(domain), mChangedSince(changedSince), mOffset(offset), mCount(count) {}

DMRadio3_ListCategories_InputType::DMRadio3_ListCategories_InputType(DMSOAPElementType* element) {
    DMRadio3_ListCategories_InputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_ListCategories_InputType::ToElement(const std::string& name,
                                                                const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "domain", kUnqualified, mDomain);
    DMAddAttributeIfSet(element, "changedSince", kUnqualified, mChangedSince);
    AddOptionalInt(element, "offset", mOffset);
    AddOptionalInt(element, "count", mCount);
    return element;
}

void DMRadio3_ListCategories_InputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadAttribute(element, "domain", mDomain);
    DMReadAttribute(element, "changedSince", mChangedSince);
    DMReadIntAttribute(element, "offset", mOffset);
    DMReadIntAttribute(element, "count", mCount);
}

bool DMRadio3_ListCategories_InputType::IsValid() { return mDomain == "Categories"; }

DMRadio3_ListCategories_OutputType::DMRadio3_ListCategories_OutputType(
    const DMSIF_StatusType& status_, const std::string& timeStamp, std::int32_t remaining, std::int32_t offset,
    const std::vector<DMRadio3_CategoryType>& categories)
    : DMSIF_MethodOutputType(status_),
      mTimeStamp(timeStamp),
      mRemaining(remaining),
      mOffset(offset),
      mCategories(categories) {}

DMRadio3_ListCategories_OutputType::DMRadio3_ListCategories_OutputType(DMSOAPElementType* element) {
    DMRadio3_ListCategories_OutputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_ListCategories_OutputType::ToElement(const std::string& name,
                                                                 const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "timeStamp", kUnqualified, mTimeStamp);
    DMAddStatus(element, status, namespaceURI);
    AddOptionalInt(element, "remaining", mRemaining);
    AddOptionalInt(element, "offset", mOffset);
    DMAddItems(element, "Category", namespaceURI, mCategories);
    return element;
}

void DMRadio3_ListCategories_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    ReadTimeStamp(element, mTimeStamp, true);
    DMReadStatus(element, status);
    DMReadIntAttribute(element, "remaining", mRemaining);
    DMReadIntAttribute(element, "offset", mOffset);
    ReadItems(element, "Category", mCategories);
}

// --- ListStations ---

DMRadio3_ListStations_InputType::DMRadio3_ListStations_InputType(const std::string& changedSince, std::int32_t offset,
                                                                 std::int32_t count,
                                                                 const DMRadio3_SearchDirectiveType& searchDirective,
                                                                 const std::string& domain)
    : mDomain(domain), mChangedSince(changedSince), mOffset(offset), mCount(count) {
    SetSearchDirective(searchDirective);
}

DMRadio3_ListStations_InputType::DMRadio3_ListStations_InputType(DMSOAPElementType* element) {
    DMRadio3_ListStations_InputType::FromElement(element);
}

void DMRadio3_ListStations_InputType::SetSearchDirective(const DMRadio3_SearchDirectiveType& searchDirective) {
    mSearchDirective = searchDirective;
}

DMSOAPElementType* DMRadio3_ListStations_InputType::ToElement(const std::string& name,
                                                              const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "changedSince", kUnqualified, mChangedSince);
    AddOptionalInt(element, "offset", mOffset);
    AddOptionalInt(element, "count", mCount);
    if (mSearchDirective.HasEntries()) {
        element->AddChild(mSearchDirective.ToElement("SearchDirective", namespaceURI), false);
    }
    DMAddAttributeIfSet(element, "domain", kUnqualified, mDomain);
    return element;
}

void DMRadio3_ListStations_InputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadAttribute(element, "domain", mDomain);
    DMReadAttribute(element, "changedSince", mChangedSince);
    DMReadIntAttribute(element, "offset", mOffset);
    DMReadIntAttribute(element, "count", mCount);
    if (DMSOAPElementType* directive = element->FindChild("SearchDirective", 1)) {
        SetSearchDirective(DMRadio3_SearchDirectiveType(directive));
    }
}

bool DMRadio3_ListStations_InputType::IsValid() { return mDomain == "Stations"; }

DMRadio3_ListStations_OutputType::DMRadio3_ListStations_OutputType(const DMSIF_StatusType& status_,
                                                                   const std::string& timeStamp, std::int32_t remaining,
                                                                   std::int32_t offset,
                                                                   const std::vector<DMRadio3_StationType>& stations)
    : DMSIF_MethodOutputType(status_),
      mTimeStamp(timeStamp),
      mRemaining(remaining),
      mOffset(offset),
      mStations(stations) {}

DMRadio3_ListStations_OutputType::DMRadio3_ListStations_OutputType(DMSOAPElementType* element) {
    DMRadio3_ListStations_OutputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_ListStations_OutputType::ToElement(const std::string& name,
                                                               const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "timeStamp", kUnqualified, mTimeStamp);
    DMAddStatus(element, status, namespaceURI);
    AddOptionalInt(element, "remaining", mRemaining);
    AddOptionalInt(element, "offset", mOffset);
    DMAddItems(element, "Station", namespaceURI, mStations);
    return element;
}

void DMRadio3_ListStations_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    ReadTimeStamp(element, mTimeStamp, true);
    DMReadStatus(element, status);
    DMReadIntAttribute(element, "remaining", mRemaining);
    DMReadIntAttribute(element, "offset", mOffset);
    ReadItems(element, "Station", mStations);
}

// --- GetStationInfo ---

DMRadio3_GetStationInfo_InputType::DMRadio3_GetStationInfo_InputType(const std::vector<DMSIF_IDType>& refIds,
                                                                     const std::string& version,
                                                                     const std::string& changedSince,
                                                                     const std::vector<DMSIF_IDType>& outputElements)
    : mVersion(version), mChangedSince(changedSince), mRefIds(refIds), mOutputElements(outputElements) {}

DMRadio3_GetStationInfo_InputType::DMRadio3_GetStationInfo_InputType(DMSOAPElementType* element) {
    DMRadio3_GetStationInfo_InputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_GetStationInfo_InputType::ToElement(const std::string& name,
                                                                const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "version", kUnqualified, mVersion);
    DMAddAttributeIfSet(element, "changedSince", kUnqualified, mChangedSince);
    DMAddItems(element, "RefId", namespaceURI, mRefIds);
    DMAddItems(element, "OutputElement", namespaceURI, mOutputElements);
    return element;
}

void DMRadio3_GetStationInfo_InputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadAttribute(element, "version", mVersion);
    DMReadAttribute(element, "changedSince", mChangedSince);
    ReadDescribeLists(element, mRefIds, mOutputElements);
}

bool DMRadio3_GetStationInfo_InputType::IsValid() { return DescribeInputValid(mVersion, mRefIds); }

DMRadio3_GetStationInfo_OutputType::DMRadio3_GetStationInfo_OutputType(DMSOAPElementType* element) {
    DMRadio3_GetStationInfo_OutputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_GetStationInfo_OutputType::ToElement(const std::string& name,
                                                                 const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "timeStamp", kUnqualified, mTimeStamp);
    DMAddStatus(element, status, namespaceURI);
    DMAddItems(element, "Station", namespaceURI, mStations);
    return element;
}

void DMRadio3_GetStationInfo_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    ReadTimeStamp(element, mTimeStamp, true);
    DMReadStatus(element, status);
    ReadItems(element, "Station", mStations);
}

// --- GetStationState ---

DMRadio3_GetStationState_InputType::DMRadio3_GetStationState_InputType(const std::vector<DMSIF_IDType>& refIds,
                                                                       std::int32_t maxTracks,
                                                                       const std::vector<DMSIF_IDType>& outputElements,
                                                                       const std::string& version)
    : mRefIds(refIds), mMaxTracks(maxTracks), mOutputElements(outputElements), mVersion(version) {}

DMRadio3_GetStationState_InputType::DMRadio3_GetStationState_InputType(DMSOAPElementType* element) {
    DMRadio3_GetStationState_InputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_GetStationState_InputType::ToElement(const std::string& name,
                                                                 const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "version", kUnqualified, mVersion);
    if (mMaxTracks >= 0) {
        DMSOAPElementType* restriction = DMAddChild(element, "Restriction", namespaceURI, "");
        DMAddAttribute(restriction, "name", kUnqualified, "maxTracks");
        DMAddChild(restriction, "MaxTracks", namespaceURI, DMFormatInt(mMaxTracks));
    }
    DMAddItems(element, "RefId", namespaceURI, mRefIds);
    DMAddItems(element, "OutputElement", namespaceURI, mOutputElements);
    return element;
}

void DMRadio3_GetStationState_InputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadAttribute(element, "version", mVersion);
    ReadDescribeLists(element, mRefIds, mOutputElements);
    for (DMSOAPElementType* child : element->children) {
        if (child->name != "Restriction") {
            continue;
        }
        const DMSOAPAttributeType* restriction = child->FindAttribute("name");
        if (restriction && restriction->value == "maxTracks") {
            DMReadIntChild(child, "MaxTracks", mMaxTracks);
        }
    }
}

bool DMRadio3_GetStationState_InputType::IsValid() { return DescribeInputValid(mVersion, mRefIds); }

DMRadio3_GetStationState_OutputType::DMRadio3_GetStationState_OutputType(DMSOAPElementType* element) {
    DMRadio3_GetStationState_OutputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_GetStationState_OutputType::ToElement(const std::string& name,
                                                                  const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddStatus(element, status, namespaceURI);
    DMAddItems(element, "StationState", namespaceURI, mStates);
    return element;
}

void DMRadio3_GetStationState_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadStatus(element, status);
    ReadItems(element, "StationState", mStates);
}

// --- GetMediaFormatInfo ---

DMRadio3_GetMediaFormatInfo_InputType::DMRadio3_GetMediaFormatInfo_InputType(
    const std::vector<DMSIF_IDType>& refIds, const std::vector<DMSIF_IDType>& outputElements,
    const std::string& version)
    : mRefIds(refIds), mOutputElements(outputElements), mVersion(version) {}

DMRadio3_GetMediaFormatInfo_InputType::DMRadio3_GetMediaFormatInfo_InputType(DMSOAPElementType* element) {
    DMRadio3_GetMediaFormatInfo_InputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_GetMediaFormatInfo_InputType::ToElement(const std::string& name,
                                                                    const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "version", kUnqualified, mVersion);
    DMAddItems(element, "RefId", namespaceURI, mRefIds);
    DMAddItems(element, "OutputElement", namespaceURI, mOutputElements);
    return element;
}

void DMRadio3_GetMediaFormatInfo_InputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadAttribute(element, "version", mVersion);
    ReadDescribeLists(element, mRefIds, mOutputElements);
}

bool DMRadio3_GetMediaFormatInfo_InputType::IsValid() { return DescribeInputValid(mVersion, mRefIds); }

DMRadio3_GetMediaFormatInfo_OutputType::DMRadio3_GetMediaFormatInfo_OutputType(DMSOAPElementType* element) {
    DMRadio3_GetMediaFormatInfo_OutputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_GetMediaFormatInfo_OutputType::ToElement(const std::string& name,
                                                                     const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddStatus(element, status, namespaceURI);
    DMAddItems(element, "Format", namespaceURI, mFormats);
    return element;
}

void DMRadio3_GetMediaFormatInfo_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadStatus(element, status);
    ReadItems(element, "Format", mFormats);
}

// --- GetStationURL ---

DMRadio3_GetStationURL_InputType::DMRadio3_GetStationURL_InputType(const DMSIF_IDType& refId,
                                                                   const DMSIF_IDType& mediaFormatId)
    : mRefId(refId), mMediaFormatId(mediaFormatId) {}

DMRadio3_GetStationURL_InputType::DMRadio3_GetStationURL_InputType(DMSOAPElementType* element) {
    DMRadio3_GetStationURL_InputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_GetStationURL_InputType::ToElement(const std::string& name,
                                                               const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttribute(element, "refId", kUnqualified, mRefId.mValue);
    DMAddAttribute(element, "mediaFormatId", kUnqualified, mMediaFormatId.mValue);
    return element;
}

void DMRadio3_GetStationURL_InputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadIDAttribute(element, "refId", mRefId);
    DMReadIDAttribute(element, "mediaFormatId", mMediaFormatId);
}

bool DMRadio3_GetStationURL_InputType::IsValid() { return !mRefId.mValue.empty() && !mMediaFormatId.mValue.empty(); }

DMRadio3_GetStationURL_OutputType::DMRadio3_GetStationURL_OutputType(DMSOAPElementType* element) {
    DMRadio3_GetStationURL_OutputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_GetStationURL_OutputType::ToElement(const std::string& name,
                                                                const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddStatus(element, status, namespaceURI);
    for (const std::string& url : mURLs) {
        DMAddChild(element, "Url", namespaceURI, url);
    }
    return element;
}

void DMRadio3_GetStationURL_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadStatus(element, status);
    if (!element->children.empty()) {
        std::vector<std::string> urls;
        for (DMSOAPElementType* child : element->children) {
            if (child->name == "Url") {
                urls.push_back(child->text);
            }
        }
        mURLs = std::move(urls);
    }
}

// --- GetMaxPresets ---

DMRadio3_GetMaxPresets_InputType::DMRadio3_GetMaxPresets_InputType(DMSOAPElementType*) {}

DMSOAPElementType* DMRadio3_GetMaxPresets_InputType::ToElement(const std::string& name,
                                                               const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    AddProperty(element, "MaxPresets", namespaceURI);
    return element;
}

void DMRadio3_GetMaxPresets_InputType::FromElement(DMSOAPElementType*) {}

DMRadio3_GetMaxPresets_OutputType::DMRadio3_GetMaxPresets_OutputType(DMSOAPElementType* element) {
    DMRadio3_GetMaxPresets_OutputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_GetMaxPresets_OutputType::ToElement(const std::string& name,
                                                                const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddStatus(element, status, namespaceURI);
    if (mMaxPresets >= 0) {
        DMSOAPElementType* property = AddProperty(element, "MaxPresets", namespaceURI);
        DMAddChild(property, "MaxPresets", namespaceURI, DMFormatInt(mMaxPresets));
    }
    return element;
}

void DMRadio3_GetMaxPresets_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadStatus(element, status);
    ForEachProperty(element, "MaxPresets",
                    [&](DMSOAPElementType* property) { DMReadIntChild(property, "MaxPresets", mMaxPresets); });
}

// --- GetPresets ---

DMRadio3_GetPresets_InputType::DMRadio3_GetPresets_InputType(const std::vector<DMSIF_IDType>& presets,
                                                             const std::string& changedSince)
    : mChangedSince(changedSince), mPresets(presets) {}

DMRadio3_GetPresets_InputType::DMRadio3_GetPresets_InputType(DMSOAPElementType* element) {
    DMRadio3_GetPresets_InputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_GetPresets_InputType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "changedSince", kUnqualified, mChangedSince);
    DMSOAPElementType* property = AddProperty(element, "Presets", namespaceURI);
    if (!mPresets.empty()) {
        AddPresets(property, namespaceURI, mPresets);
    }
    return element;
}

void DMRadio3_GetPresets_InputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    ReadPresetsRequest(element, mChangedSince, mPresets);
}

DMRadio3_GetPresets_OutputType::DMRadio3_GetPresets_OutputType(DMSOAPElementType* element) {
    DMRadio3_GetPresets_OutputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_GetPresets_OutputType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "timeStamp", kUnqualified, mTimeStamp);
    DMAddStatus(element, status, namespaceURI);
    if (!mPresets.empty()) {
        AddPresets(AddProperty(element, "Presets", namespaceURI), namespaceURI, mPresets);
    }
    return element;
}

void DMRadio3_GetPresets_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    ReadTimeStamp(element, mTimeStamp, false);
    DMReadStatus(element, status);
    ForEachProperty(element, "Presets", [&](DMSOAPElementType* property) {
        const DMSOAPElementType* wrapper = property->FindChild("Presets", 1);
        mPresets = PresetChildren(wrapper ? wrapper : property);
    });
}

// --- SetPresets ---

DMRadio3_SetPresets_InputType::DMRadio3_SetPresets_InputType(const std::vector<DMSIF_IDType>& presets,
                                                             const std::string& changedSince)
    : mChangedSince(changedSince), mPresets(presets) {}

DMRadio3_SetPresets_InputType::DMRadio3_SetPresets_InputType(DMSOAPElementType* element) {
    DMRadio3_SetPresets_InputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_SetPresets_InputType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "changedSince", kUnqualified, mChangedSince);
    if (!mPresets.empty()) {
        AddPresets(AddProperty(element, "Presets", namespaceURI), namespaceURI, mPresets);
    }
    return element;
}

void DMRadio3_SetPresets_InputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    ReadPresetsRequest(element, mChangedSince, mPresets);
}

bool DMRadio3_SetPresets_InputType::IsValid() { return !mPresets.empty(); }

DMRadio3_SetPresets_OutputType::DMRadio3_SetPresets_OutputType(DMSOAPElementType* element) {
    DMRadio3_SetPresets_OutputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_SetPresets_OutputType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddAttributeIfSet(element, "timeStamp", kUnqualified, mTimeStamp);
    DMAddStatus(element, status, namespaceURI);
    return element;
}

void DMRadio3_SetPresets_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    ReadTimeStamp(element, mTimeStamp, false);
    DMReadStatus(element, status);
}

// --- GetRatingsRange ---

DMRadio3_GetRatingsRange_InputType::DMRadio3_GetRatingsRange_InputType(DMSOAPElementType*) {}

DMSOAPElementType* DMRadio3_GetRatingsRange_InputType::ToElement(const std::string& name,
                                                                 const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    AddProperty(element, "RatingsRange", namespaceURI);
    return element;
}

void DMRadio3_GetRatingsRange_InputType::FromElement(DMSOAPElementType*) {}

DMRadio3_GetRatingsRange_OutputType::DMRadio3_GetRatingsRange_OutputType(DMSOAPElementType* element) {
    DMRadio3_GetRatingsRange_OutputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_GetRatingsRange_OutputType::ToElement(const std::string& name,
                                                                  const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddStatus(element, status, namespaceURI);
    DMSOAPElementType* property = AddProperty(element, "RatingsRange", namespaceURI);
    DMSOAPElementType* range = DMAddChild(property, "RatingsRange", namespaceURI, "");
    DMAddAttribute(range, "min", namespaceURI, DMFormatInt(mMin));
    DMAddAttribute(range, "max", namespaceURI, DMFormatInt(mMax));
    return element;
}

void DMRadio3_GetRatingsRange_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadStatus(element, status);
    ForEachProperty(element, "RatingsRange", [&](DMSOAPElementType* property) {
        if (const DMSOAPElementType* range = property->FindChild("RatingsRange", 1)) {
            DMReadIntAttribute(range, "min", mMin);
            DMReadIntAttribute(range, "max", mMax);
        }
    });
}

// --- RateTrack ---

DMRadio3_RateTrack_InputType::DMRadio3_RateTrack_InputType(DMSOAPElementType* element) {
    DMRadio3_RateTrack_InputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_RateTrack_InputType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMSOAPElementType* property = AddProperty(element, "TrackRating", namespaceURI);
    DMSOAPElementType* rating = DMAddChild(property, "TrackRating", namespaceURI, "");
    DMAddAttribute(rating, "trackId", kUnqualified, mTrackId.mValue);
    DMAddAttribute(rating, "categoryId", kUnqualified, mCategoryId.mValue);
    DMAddAttribute(rating, "stationId", kUnqualified, mStationId.mValue);
    DMAddAttribute(rating, "rating", namespaceURI, DMFormatInt(mRating));
    return element;
}

void DMRadio3_RateTrack_InputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    ForEachProperty(element, "TrackRating", [&](DMSOAPElementType* property) {
        const DMSOAPElementType* rating = property->FindChild("TrackRating", 1);
        if (!rating) {
            return;
        }
        if (const DMSOAPAttributeType* trackId = rating->FindAttribute("trackId")) {
            mTrackId = DMSIF_QualIDType(trackId->value, "", "", "");
        }
        DMReadIDAttribute(rating, "categoryId", mCategoryId);
        DMReadIDAttribute(rating, "stationId", mStationId);
        DMReadIntAttribute(rating, "rating", mRating);
    });
}

bool DMRadio3_RateTrack_InputType::IsValid() {
    return !mTrackId.mValue.empty() && !mStationId.mValue.empty() && !mCategoryId.mValue.empty();
}

DMRadio3_RateTrack_OutputType::DMRadio3_RateTrack_OutputType(DMSOAPElementType* element) {
    DMRadio3_RateTrack_OutputType::FromElement(element);
}

DMSOAPElementType* DMRadio3_RateTrack_OutputType::ToElement(const std::string& name, const std::string& namespaceURI) {
    auto* element = new DMSOAPElementType(name, namespaceURI, "");
    DMAddStatus(element, status, namespaceURI);
    return element;
}

void DMRadio3_RateTrack_OutputType::FromElement(DMSOAPElementType* element) {
    if (!element) {
        return;
    }
    DMReadStatus(element, status);
}
