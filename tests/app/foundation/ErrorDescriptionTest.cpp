#include "app/foundation/ErrorDescription.h"

#include "dms/core/DMSIFMethod.h"
#include "dms/core/DMSIFService.h"
#include "dms/core/DMSOAPNamespaces.h"
#include "dms/core/DMURLRequestLinux.h"
#include "runtime/LThreadEventQueue.h"
#include "platform/RunLoop.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDataStream>

#include <chrono>
#include <memory>

using namespace std::chrono_literals;

TEST(ErrorDescriptionTest, DescriptionsCopiesAndCoding) {
    const ErrorDescription plain(kPOSIXErrorDomain, 61);
    EXPECT_EQ(plain.localizedDescription(), "Error: domain=POSIXErrorDomain code=61");
    EXPECT_FALSE(plain.userInfo().has_value());
    const ErrorDescription negative = ErrorDescription::errorDescriptionWithDomain(kOSStatusErrorDomain, -50);
    EXPECT_EQ(negative.localizedDescription(), "Error: domain=OSStatusErrorDomain code=-50");

    const QVariantMap info{{kLocalizedErrorDescriptionKey, QString::fromUtf8("Der Sender antwortet nicht: Ærø")},
                           {"other", 3}};
    const ErrorDescription withText("SIFErrorDomain", -1, info);
    EXPECT_EQ(withText.localizedDescription(), QString::fromUtf8("Der Sender antwortet nicht: Ærø"));
    const ErrorDescription copy = withText;
    EXPECT_EQ(copy.domain(), withText.domain());
    EXPECT_EQ(copy.code(), -1);
    EXPECT_EQ(copy.userInfo(), withText.userInfo());

    const ErrorDescription emptyInfo("d", 1, QVariantMap{});
    for (const ErrorDescription& e : {plain, negative, withText, emptyInfo, ErrorDescription()}) {
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << e;
        }
        ErrorDescription back("untouched", 99);
        QDataStream in(bytes);
        in >> back;
        EXPECT_EQ(in.status(), QDataStream::Ok);
        EXPECT_EQ(back.domain(), e.domain());
        EXPECT_EQ(back.domain().isNull(), e.domain().isNull());
        EXPECT_EQ(back.code(), e.code());
        EXPECT_EQ(back.userInfo(), e.userInfo());
        // A cut stream changes nothing.
        ErrorDescription cut("untouched", 99);
        QDataStream shortIn(bytes.left(bytes.size() - 1));
        shortIn >> cut;
        EXPECT_EQ(cut.domain(), "untouched");
        EXPECT_EQ(cut.code(), 99);
    }
}

TEST(ErrorDescriptionTest, ServiceErrorFromTheRequestRecord) {
    DMSIF_MethodRef ref("ListStations", "m1");
    struct Row {
        const char* faultString;
        const char* actor;
        int domain, code;
    } rows[] = {
        {"ClientError", "3, -9815", 3, -9815},
        {"ClientError", "1, 61", 1, 61},
        {"ClientError", "1,61", 1, 61},
        {"ClientError", " +12 ,8", 12, 0},  // the comma must follow the number at once
        {"ClientError", "7", 7, 0},
        {"ClientError", "x, 5", 0, 0},
        {"ClientError", "99999999999, 5", 0, 0},
        {"ClientError", "", 0, 0},
        {"Nope", "3, -9815", 0, 0},
        {"clienterror", "3, -9815", 0, 0},
    };
    for (const Row& r : rows) {
        DMServiceRequestToken token('Rdo3', "user", false, nullptr);
        token.methodRef = &ref;
        token.status.code = "Failure";
        token.status.comment = "went wrong";
        token.fault.faultcode = "SOAP-ENV:Receiver";
        token.fault.faultstring = r.faultString;
        token.fault.faultactor = r.actor;
        const ZYMServiceErrorDescription e(token);
        EXPECT_EQ(e.domain(), "SIFErrorDomain");
        EXPECT_EQ(e.code(), -1);
        EXPECT_EQ(e.sifMethodName(), "ListStations");
        EXPECT_EQ(e.sifStatusCode(), "Failure");
        EXPECT_EQ(e.sifStatusComment(), "went wrong");
        EXPECT_EQ(e.sifFaultCode(), "SOAP-ENV:Receiver");
        EXPECT_EQ(e.sifFaultString(), r.faultString);
        EXPECT_EQ(e.sifFaultActor(), r.actor);
        EXPECT_EQ(e.sifFaultErrorDomain(), r.domain) << r.actor;
        EXPECT_EQ(e.sifFaultErrorCode(), r.code) << r.actor;
    }

    DMServiceRequestToken bare('Rdo3', "user", false, nullptr);
    const ZYMServiceErrorDescription none(bare, QVariantMap{{"x", 1}});
    EXPECT_TRUE(none.sifMethodName().isNull());
    EXPECT_TRUE(none.sifFaultString().isEmpty());
    EXPECT_EQ(none.userInfo()->value("x").toInt(), 1);
    const QString text = none.description();
    EXPECT_TRUE(text.startsWith("ZYMServiceErrorDescription 0x")) << text.toStdString();
    EXPECT_TRUE(
        text.endsWith("\n  method name (null)\n  status code \n  status comment \n  fault code \n"
                      "  fault string \n  fault actor \n  fault error domain 0\n  fault error code 0"))
        << text.toStdString();
}

namespace {

class PingService : public DMSIFService {
public:
    using DMSIFService::DMSIFService;
    DMSIF_MethodRef* Ping(DMSIFServiceListener* listener) {
        return Invoke("Ping", new DMSOAPElementType(RequestElementName("Ping"), kDMSIFURI, ""), listener, "", nullptr);
    }
};

struct FailRecorder : DMSIFServiceListener {
    std::unique_ptr<ZYMServiceErrorDescription> error;
    void DidFinish(DMSIF_MethodRef*, DMSIF_MethodArgumentsType*, DMSIF_MethodOutputType*) override {}
    void DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType*, DMSIF_MethodOutputType* out) override {
        // The record a failed service method is reported with.
        DMServiceRequestToken token('Rdo3', "user", false, nullptr);
        token.methodRef = ref;
        if (out) {
            token.status = out->status;
            token.fault = out->fault;
        }
        error = std::make_unique<ZYMServiceErrorDescription>(token);
    }
};

}  // namespace

// A call whose server port refuses the connection.
TEST(ErrorDescriptionTest, CallFailedOnARefusedPort) {
    LThreadEventQueue* queue = LThreadEventQueue::Create();
    FailRecorder listener;
    {
        PingService service("urn:zym-com:services:test:1.0", &listener);
        service.SetEndpoint("http://127.0.0.1:" + std::to_string(zymtest::TestServer::ClosedPort()) + "/soap");
        auto* credential = new DMSOAPElementType("Credential", "urn:liberty:disco:2003-08", "");
        auto* assertion = new DMSOAPElementType("Assertion", "urn:oasis:names:tc:SAML:1.0:assertion", "");
        assertion->AddAttribute(new DMSOAPAttributeType("AssertionID", "", "A1"), false);
        credential->AddChild(assertion, false);
        service.SetCredentials(credential, true);
        delete credential;
        service.SetEventQueue(queue);
        ASSERT_NE(service.Ping(&listener), nullptr);
        ASSERT_TRUE(platform::RunLoop::Current().RunUntil([&] { return listener.error != nullptr; }, 20s));
    }
    queue->Release();
    EXPECT_EQ(listener.error->sifMethodName(), "Ping");
    EXPECT_EQ(listener.error->sifFaultString(), "ClientError");
    EXPECT_EQ(listener.error->sifFaultErrorDomain(), 1);
    EXPECT_EQ(listener.error->sifFaultErrorCode(), 61);
}
