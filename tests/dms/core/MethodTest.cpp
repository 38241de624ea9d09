#include <gtest/gtest.h>

#include <memory>

#include "dms/core/DMSIFMethod.h"

namespace {

using Element = DMSOAPElementType;

// Counts live instances so ownership mistakes show as numbers (ASan shows the rest).
struct Counted : DMSIF_MethodOutputType {
    static inline int live = 0;
    Counted() { ++live; }
    ~Counted() override { --live; }
    Element* ToElement(const std::string& n, const std::string& ns) override { return new Element(n, ns, ""); }
    void FromElement(Element*) override {}
};

TEST(MethodRef, IdentityAcrossResends) {
    DMSIF_MethodRef ref("ListStations", "M1");
    EXPECT_EQ(ref.GetID(), "M1");
    EXPECT_EQ(ref.GetMessageID(), "M1");
    EXPECT_EQ(ref.GetMethodName(), "ListStations");
    EXPECT_EQ(ref.GetResponseMessageID(), "");
    EXPECT_EQ(ref.GetUploadBytes() + ref.GetUploadTotal() + ref.GetDownloadBytes() + ref.GetDownloadTotal(), 0);
    EXPECT_EQ(ref.GetElapsedTime(), 0.0);
    EXPECT_FALSE(ref.IsHeld());
    EXPECT_EQ(ref.GetArguments(), nullptr);
    EXPECT_EQ(ref.GetOutput(), nullptr);
    EXPECT_EQ(ref.GetService(), nullptr);
    ref.SetMessageID("M2");
    EXPECT_EQ(ref.GetID(), "M1");
    EXPECT_EQ(ref.GetMessageID(), "M2");
}

TEST(MethodRef, OwnershipOfArgumentsOutputAndEnvelopes) {
    Counted::live = 0;
    {
        DMSIF_MethodRef ref("m", "id");
        auto* first = new Counted;
        ref.SetOutput(first);
        ref.SetOutput(first);  // the same object is kept, not deleted
        EXPECT_EQ(Counted::live, 1);
        EXPECT_EQ(ref.GetOutput(), first);
        ref.SetOutput(new Counted);  // another one replaces and deletes the first
        EXPECT_EQ(Counted::live, 1);
        ref.SetArguments(new Counted);
        EXPECT_EQ(Counted::live, 2);

        Element envelope("Envelope", "urn:e", "");
        envelope.AddChild(new Element("Body", "urn:e", ""), false);
        ref.SetRequestEnvelope(&envelope);
        ASSERT_NE(ref.GetRequestEnvelope(), nullptr);
        EXPECT_NE(ref.GetRequestEnvelope(), &envelope);    // a copy; the caller keeps its own
        ref.SetRequestEnvelope(ref.GetRequestEnvelope());  // handing back its own copy is safe
        ASSERT_NE(ref.GetRequestEnvelope(), nullptr);
        EXPECT_EQ(ref.GetRequestEnvelope()->FindChild("Body", 1)->name, "Body");
        ref.SetRequestEnvelope(nullptr);
        EXPECT_EQ(ref.GetRequestEnvelope(), nullptr);
        EXPECT_NE(ref.GetOutput(), nullptr);
        ref.SetResponseEnvelope(&envelope);
    }
    EXPECT_EQ(Counted::live, 0);
}

TEST(GenericMethod, WrapsEnvelopes) {
    DMSIF_GenericMethod_InputType none(nullptr);
    EXPECT_FALSE(none.IsValid());

    Element envelope("Envelope", "urn:e", "");
    DMSIF_GenericMethod_InputType input(&envelope);
    EXPECT_TRUE(input.IsValid());
    EXPECT_NE(input.GetElement(), &envelope);
    Element* held = input.ToElement("ignored", "ignored");
    EXPECT_EQ(held, input.GetElement());  // not a new element: still owned by input
    input.SetElement(held, true);         // the held one: nothing changes
    EXPECT_EQ(input.GetElement(), held);
    input.SetElement(new Element("Other", "", ""), false);
    EXPECT_EQ(input.GetElement()->name, "Other");
    input.FromElement(nullptr);
    EXPECT_FALSE(input.IsValid());

    auto output = std::make_unique<DMSIF_GenericMethod_OutputType>(&envelope);
    EXPECT_TRUE(output->IsValid());
    EXPECT_EQ(output->status.code, "");
    Element* returned = output->ToElement("x", "");
    EXPECT_EQ(returned->name, "Envelope");
    output.reset();  // deletes the element returned above as well (ASan: no leak, no double free)
}

TEST(ServiceRequestToken, Defaults) {
    DMServiceRequestToken token(kServiceTypeRadio3, "user", true, nullptr);
    EXPECT_EQ(token.serviceType, DMFourCharCode("Rdo3"));
    EXPECT_EQ(kServiceTypeRadio3, 0x52646F33u);
    EXPECT_EQ(kServiceTypePictures, 0x50696374u);
    EXPECT_EQ(token.userName, "user");
    EXPECT_TRUE(token.isRenewal);
    EXPECT_EQ(token.listener, nullptr);
    EXPECT_EQ(token.refToMessageID, "");
    EXPECT_EQ(token.methodRef, nullptr);
    EXPECT_EQ(token.status.GetCode(), "");
    EXPECT_EQ(token.fault.GetFaultCode(), "");
    EXPECT_FALSE(token.cancelled);
}

}  // namespace
