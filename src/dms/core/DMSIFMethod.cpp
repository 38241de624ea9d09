#include "dms/core/DMSIFMethod.h"

namespace {

// Shared by both generic types: replace `held` by element (taken over) or a deep copy of it.
void ReplaceElement(std::unique_ptr<DMSOAPElementType>& held, DMSOAPElementType* element, bool copy) {
    if (element == held.get()) {
        return;
    }
    held =
        (copy && element) ? std::make_unique<DMSOAPElementType>(element) : std::unique_ptr<DMSOAPElementType>(element);
}

// A deep copy of element; null for null.
std::unique_ptr<DMSOAPElementType> CopyOf(const DMSOAPElementType* element) {
    return element ? std::make_unique<DMSOAPElementType>(element) : nullptr;
}

}  // namespace

// --- generic method types ---

DMSIF_GenericMethod_InputType::DMSIF_GenericMethod_InputType(DMSOAPElementType* element) { SetElement(element, true); }

DMSIF_GenericMethod_InputType::~DMSIF_GenericMethod_InputType() = default;

void DMSIF_GenericMethod_InputType::SetElement(DMSOAPElementType* element, bool copy) {
    ReplaceElement(mElement, element, copy);
}

DMSOAPElementType* DMSIF_GenericMethod_InputType::ToElement(const std::string&, const std::string&) {
    return mElement.get();
}

void DMSIF_GenericMethod_InputType::FromElement(DMSOAPElementType* element) { SetElement(element, true); }

DMSIF_GenericMethod_OutputType::DMSIF_GenericMethod_OutputType(DMSOAPElementType* element) {
    SetElement(element, true);
}

DMSIF_GenericMethod_OutputType::~DMSIF_GenericMethod_OutputType() = default;

void DMSIF_GenericMethod_OutputType::SetElement(DMSOAPElementType* element, bool copy) {
    ReplaceElement(mElement, element, copy);
}

DMSOAPElementType* DMSIF_GenericMethod_OutputType::ToElement(const std::string&, const std::string&) {
    return mElement.get();
}

void DMSIF_GenericMethod_OutputType::FromElement(DMSOAPElementType* element) { SetElement(element, true); }

// --- DMSIF_MethodRef ---

DMSIF_MethodRef::DMSIF_MethodRef(const std::string& methodName, const std::string& messageID)
    : mID(messageID), mMethodName(methodName), mMessageID(messageID) {}

DMSIF_MethodRef::~DMSIF_MethodRef() = default;

void DMSIF_MethodRef::SetArguments(DMSIF_MethodArgumentsType* arguments) {
    if (arguments != mArguments.get()) {
        mArguments.reset(arguments);
    }
}

void DMSIF_MethodRef::SetOutput(DMSIF_MethodOutputType* output) {
    if (output != mOutput.get()) {
        mOutput.reset(output);
    }
}

// The copy is made before the held one goes: the caller may hand in the held copy.
void DMSIF_MethodRef::SetRequestEnvelope(DMSOAPElementType* envelope) { mRequestEnvelope = CopyOf(envelope); }

void DMSIF_MethodRef::SetResponseEnvelope(DMSOAPElementType* envelope) { mResponseEnvelope = CopyOf(envelope); }

// --- DMServiceRequestToken ---

DMServiceRequestToken::DMServiceRequestToken(EServiceType type, const std::string& userName_, bool isRenewal_,
                                             DMServiceRequestListener* listener_)
    : serviceType(type), userName(userName_), isRenewal(isRenewal_), listener(listener_) {}
