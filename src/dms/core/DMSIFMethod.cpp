#include "dms/core/DMSIFMethod.h"

namespace {

// Shared by both generic types: replace `held` by element or a deep copy of it.
void ReplaceElement(DMSOAPElementType*& held, DMSOAPElementType* element, bool copy) {
    if (element == held) {
        return;
    }
    DMSOAPElementType* next = (copy && element) ? new DMSOAPElementType(element) : element;
    delete held;
    held = next;
}

}  // namespace

// --- generic method types ---

DMSIF_GenericMethod_InputType::DMSIF_GenericMethod_InputType(DMSOAPElementType* element) {
    SetElement(element, true);
}

DMSIF_GenericMethod_InputType::~DMSIF_GenericMethod_InputType() { delete mElement; }

void DMSIF_GenericMethod_InputType::SetElement(DMSOAPElementType* element, bool copy) {
    ReplaceElement(mElement, element, copy);
}

DMSOAPElementType* DMSIF_GenericMethod_InputType::ToElement(const std::string&, const std::string&) {
    return mElement;
}

void DMSIF_GenericMethod_InputType::FromElement(DMSOAPElementType* element) {
    SetElement(element, true);
}

DMSIF_GenericMethod_OutputType::DMSIF_GenericMethod_OutputType(DMSOAPElementType* element) {
    SetElement(element, true);
}

DMSIF_GenericMethod_OutputType::~DMSIF_GenericMethod_OutputType() { delete mElement; }

void DMSIF_GenericMethod_OutputType::SetElement(DMSOAPElementType* element, bool copy) {
    ReplaceElement(mElement, element, copy);
}

DMSOAPElementType* DMSIF_GenericMethod_OutputType::ToElement(const std::string&, const std::string&) {
    return mElement;
}

void DMSIF_GenericMethod_OutputType::FromElement(DMSOAPElementType* element) {
    SetElement(element, true);
}

// --- DMSIF_MethodRef ---

DMSIF_MethodRef::DMSIF_MethodRef(const std::string& methodName, const std::string& messageID)
    : mID(messageID), mMethodName(methodName), mMessageID(messageID) {}

DMSIF_MethodRef::~DMSIF_MethodRef() {
    delete mArguments;
    delete mOutput;
    delete mRequestEnvelope;
    delete mResponseEnvelope;
}

void DMSIF_MethodRef::SetArguments(DMSIF_MethodArgumentsType* arguments) {
    if (arguments != mArguments) {
        delete mArguments;
        mArguments = arguments;
    }
}

void DMSIF_MethodRef::SetOutput(DMSIF_MethodOutputType* output) {
    if (output != mOutput) {
        delete mOutput;
        mOutput = output;
    }
}

void DMSIF_MethodRef::SetRequestEnvelope(DMSOAPElementType* envelope) {
    // Copy first: the caller may hand in the envelope copy held here.
    DMSOAPElementType* copy = envelope ? new DMSOAPElementType(envelope) : nullptr;
    delete mRequestEnvelope;
    mRequestEnvelope = copy;
}

void DMSIF_MethodRef::SetResponseEnvelope(DMSOAPElementType* envelope) {
    DMSOAPElementType* copy = envelope ? new DMSOAPElementType(envelope) : nullptr;
    delete mResponseEnvelope;
    mResponseEnvelope = copy;
}

// --- DMServiceRequestToken ---

DMServiceRequestToken::DMServiceRequestToken(EServiceType type, const std::string& userName_,
                                             bool isRenewal_, DMServiceRequestListener* listener_)
    : serviceType(type), userName(userName_), isRenewal(isRenewal_), listener(listener_) {}
