// The pictures controller over loopback: how answers are judged, the upload transactions
// (held calls, their release, their log lines), the image bookkeeping an uploader
// registers, and where upload events go. Answers are hand-written Bodies served by the
// test server's "soap" kind.

#include "dms/pictures/DMPictureServiceController.h"

#include <QJsonArray>
#include <QJsonObject>

#include <fstream>
#include <memory>
#include <sstream>

#include "dms/core/WebServiceTestSupport.h"
#include "dms/pictures/DMPictureMethods.h"
#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"

#include "PicturesTestSupport.h"
#include "support/Env.h"

using namespace wstest;

namespace {

constexpr const char* kDisco = "urn:liberty:disco:2003-08";

DMSOAPElementType* Offering(const std::string& endpoint) {
    auto* offering = new DMSOAPElementType("ResourceOffering", kDisco, "");
    auto* instance = new DMSOAPElementType("ServiceInstance", kDisco, "");
    instance->AddChild(new DMSOAPElementType("ServiceType", kDisco, "urn:zym-com:services:photo"), false);
    auto* description = new DMSOAPElementType("Description", kDisco, "");
    description->AddChild(new DMSOAPElementType("Endpoint", kDisco, endpoint), false);
    instance->AddChild(description, false);
    offering->AddChild(instance, false);
    return offering;
}

DMSOAPElementType* Credential() {
    auto* credential = new DMSOAPElementType("Credential", kDisco, "");
    auto* assertion = new DMSOAPElementType("Assertion", "urn:oasis:names:tc:SAML:1.0:assertion", "");
    assertion->AddAttribute(new DMSOAPAttributeType("AssertionID", "", "S-1"), false);
    credential->AddChild(assertion, false);
    return credential;
}

struct Events {
    std::vector<std::string> events;
};

template <class Base>
struct RecorderOf : Base, Events {
    std::string statusCode, faultCode;
    void DidFinish(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* in, DMSIF_MethodOutputType* out) override {
        Keep("finish", ref, in, out);
    }
    void DidFail(DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* in, DMSIF_MethodOutputType* out) override {
        Keep("fail", ref, in, out);
    }
    void DidCancel(DMSIF_MethodRef*, DMSIF_MethodArgumentsType*) override { events.push_back("cancel"); }
    void Keep(const std::string& what, DMSIF_MethodRef* ref, DMSIF_MethodArgumentsType* in,
              DMSIF_MethodOutputType* out) {
        events.push_back(what + " " + ref->GetMethodName());
        EXPECT_EQ(in, ref->GetArguments());
        EXPECT_EQ(out, ref->GetOutput());
        statusCode = out ? out->status.GetCode() : "-";
        faultCode = out ? out->fault.GetFaultCode() : "-";
    }
};

// A plain call listener: what the pictures facade is to the controller.
using Recorder = RecorderOf<DMSIFServiceListener>;

// An uploader's listener: also hears the upload events.
struct UploadRecorder : RecorderOf<DMPictureServiceListener> {
    void AsksForImagesToUpload(DMSIF_MethodRef* ref) override {
        events.push_back("asks " + ref->GetMethodName());
        asked = ref;
    }
    void ImageUploadDidFinish(DMSIF_MethodRef*, const std::string& t, const std::string& i,
                              const DMSIF_IDType& id) override {
        events.push_back("image done " + t + "/" + i + " " + id.GetValue());
    }
    void ImageUploadDidFail(DMSIF_MethodRef*, const std::string& t, const std::string& i,
                            const DMSIF_StatusType& s) override {
        events.push_back("image failed " + t + "/" + i + " " + s.GetCode());
    }
    void ImageUploadDidProgress(DMSIF_MethodRef*, const std::string& t, const std::string& i, int sent,
                                int total) override {
        events.push_back("image progress " + t + "/" + i + " " + std::to_string(sent) + "/" + std::to_string(total));
    }
    DMSIF_MethodRef* asked = nullptr;
};

// Test doubles of an uploader's objects: they count their own destruction.
struct Image : DMPictureServiceUploadImageListener {
    explicit Image(int& d) : deleted(d) {}
    ~Image() override { ++deleted; }
    int& deleted;
};
struct Transfer : DMURLRequest {
    Transfer(const std::string& url, int& d) : DMURLRequest(url), deleted(d) {}
    ~Transfer() override { ++deleted; }
    void Send() override {}
    void Cancel() override {}
    int& deleted;
};

QJsonObject Content(const std::string& method, const std::string& inner) {
    return QJsonObject{
        {"content", QString::fromStdString("<" + method + "Response xmlns=\"" PNS "\"><" + method + "Result>" + inner +
                                           "</" + method + "Result></" + method + "Response>")}};
}

QJsonObject Begin(const std::string& transaction, const std::string& code = "OK") {
    return Content("UploadBegin", "<Status code=\"" + code + "\"/><TransactionId>" + transaction +
                                      "</TransactionId><Url>http://up.example/" + transaction + "</Url>");
}

class PictureControllerTest : public WebServiceTest {
protected:
    void SetUp() override {
        queue = LThreadEventQueue::Create();
        logPath = zymtest::TestLogPath("pictures-controller");
        InitLogFile(logPath.c_str(), kLogDebug, 0);
    }
    void TearDown() override {
        controller.reset();
        queue->Release();
        InitLogFile(nullptr, kLogError, 0);
        std::remove(logPath.c_str());
    }
    DMPictureServiceController& Make(DMSIFServiceListener* l, bool withQueue = true) {
        std::unique_ptr<DMSOAPElementType> offering(Offering(Url("svc")));
        std::unique_ptr<DMSOAPElementType> credential(Credential());
        controller = std::make_unique<DMPictureServiceController>(offering.get(), credential.get(), l);
        if (withQueue) controller->SetEventQueue(queue);
        return *controller;
    }
    // Sends a valid request of the method and waits for its report.
    DMSIF_MethodRef* Call(const std::string& method, DMSIF_MethodArgumentsType& input, Events& r) {
        const std::size_t before = r.events.size();
        DMSIF_MethodRef* ref = controller->Invoke(method, input.ToElement(method, PNS), nullptr, "", nullptr);
        EXPECT_NE(ref, nullptr);
        EXPECT_TRUE(RunUntil([&] {
            for (std::size_t i = before; i < r.events.size(); ++i)
                if (r.events[i].rfind("finish", 0) == 0 || r.events[i].rfind("fail", 0) == 0) return true;
            return false;
        }));
        return ref;
    }
    DMSIF_MethodRef* UploadBegin(Events& r) {
        DMPicture_UploadBegin_InputType in;
        in.mDestinationId = DMSIF_IDType("album", "");
        in.mCount = 2;
        return Call("UploadBegin", in, r);
    }
    void UploadClose(const char* method, const std::string& transaction, Events& r) {
        DMPicture_UploadEnd_InputType in;
        in.mTransactionId = transaction;
        Call(method, in, r);
    }
    std::string Log() {
        std::ifstream in(logPath);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    LThreadEventQueue* queue = nullptr;
    std::unique_ptr<DMPictureServiceController> controller;
    std::string logPath;
};

}  // namespace

TEST_F(PictureControllerTest, ElementNamesAndClientId) {
    Soap("svc", Content("GetShareInfo", "<Status code=\"OK\"/>"));
    Recorder r;
    DMPictureServiceController& c = Make(&r);
    c.SetDeviceManufacturer("ZYM");
    c.SetDeviceName("Pics");
    c.SetDeviceVersion("1.0");
    EXPECT_EQ(c.RequestElementName("GetChildren"), "GetChildren");
    EXPECT_EQ(c.ResponseElementName("GetChildren"), "GetChildrenResponse");
    DMPicture_GetShareInformation_InputType in;
    Call("GetShareInfo", in, r);
    const auto sent = Records("svc");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].http.query, "cid=ZYM_Pics_1.0");
    EXPECT_EQ(Str(sent[0].soap["body_child"]), "GetShareInfo");
}

// Only "OK" (any letter case) finishes a call; the fault code is never consulted.
TEST_F(PictureControllerTest, AnswersJudgedByStatusAlone) {
    const struct {
        const char* name;
        QJsonObject answer;
        const char* outcome;
        const char* status;
        const char* fault;
    } rows[] = {
        {"ok lower case", Content("GetShareInfo", "<Status code=\"ok\"/>"), "finish GetShareInfo", "ok", ""},
        {"prefixed OK", Content("GetShareInfo", "<Status code=\"p:OK\"/>"), "finish GetShareInfo", "OK", ""},
        {"Partial", Content("GetShareInfo", "<Status code=\"Partial\"/>"), "fail GetShareInfo", "Partial", ""},
        {"no Status", Content("GetShareInfo", ""), "fail GetShareInfo", "", ""},
        {"fault", QJsonObject{{"reply", "fault11"}, {"faultcode", "SOAP-ENV:Server"}}, "fail GetShareInfo", "",
         "SOAP-ENV:Server"},
        {"no Result inside", QJsonObject{{"content", "<GetShareInfoResponse xmlns=\"" PNS "\"/>"}}, "fail GetShareInfo",
         "-", "-"},
        {"other Response", Content("GetChildren", "<Status code=\"OK\"/>"), "fail GetShareInfo", "-", "-"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Soap("svc", row.answer);
        Recorder r;
        Make(&r);
        DMPicture_GetShareInformation_InputType in;
        Call("GetShareInfo", in, r);
        ASSERT_EQ(r.events.size(), 1u);
        EXPECT_EQ(r.events[0], row.outcome);
        EXPECT_EQ(r.statusCode, row.status);
        EXPECT_EQ(r.faultCode, row.fault);
    }
    EXPECT_NE(Log().find("DMPictureServiceController - Response element from request (GetShareInfo) not found in "
                         "message response\n"),
              std::string::npos);
}

// A successful UploadBegin: the uploader is asked for images through the queue, the call
// is held past its delivery; a second success under the same id releases the first;
// UploadEnd releases even when it fails.
TEST_F(PictureControllerTest, UploadTransactionsHeldAndReleased) {
    Soap("svc", QJsonArray{Begin("T"), Begin("T"), Content("UploadEnd", "<Status code=\"Failed\"/>")});
    UploadRecorder r;
    DMPictureServiceController& c = Make(&r);
    DMSIF_MethodRef* first = UploadBegin(r);
    EXPECT_EQ(r.events, (std::vector<std::string>{"asks UploadBegin", "finish UploadBegin"}));
    EXPECT_EQ(r.asked, first);
    RunFor(20);
    ASSERT_TRUE(c.OwnsMethodRef(first));
    EXPECT_TRUE(first->IsHeld());
    EXPECT_EQ(c.FindTransaction("T"), first);
    const std::string firstId = first->GetID();
    EXPECT_NE(Log().find("Storing Transaction \"T\" with MethodRef \"UploadBegin-" + firstId + "\"\n"),
              std::string::npos);

    DMSIF_MethodRef* second = UploadBegin(r);
    EXPECT_NE(Log().find("Removing Transaction \"T\" with MethodRef \"UploadBegin-" + firstId + "\"\n"),
              std::string::npos);
    EXPECT_EQ(c.FindTransaction("T"), second);
    EXPECT_EQ(c.TransactionCount(), 1u);

    UploadClose("UploadEnd", "T", r);
    EXPECT_EQ(r.events.back(), "fail UploadEnd");
    EXPECT_EQ(c.TransactionCount(), 0u);
    EXPECT_NE(Log().find("Removing Transaction \"T\" with MethodRef \"UploadBegin-" + second->GetID()),
              std::string::npos);
    // A transaction that is not stored: nothing changes, nothing is logged.
    const std::string before = Log();
    c.RemoveTransaction("nope");
    EXPECT_EQ(Log(), before);
}

TEST_F(PictureControllerTest, FailedUploadBeginOpensNothing) {
    Soap("svc", Begin("T", "Failed"));
    UploadRecorder r;
    DMPictureServiceController& c = Make(&r);
    UploadBegin(r);
    EXPECT_EQ(r.events, std::vector<std::string>{"fail UploadBegin"});
    EXPECT_EQ(c.TransactionCount(), 0u);
}

// Image entries are keyed by (transaction, image): "T" is not a prefix of "T1". An upload
// answer ends the transfers of its own transaction only, one log line per transfer.
TEST_F(PictureControllerTest, UploadCancelDropsOnlyItsOwnImages) {
    Soap("svc", Content("UploadCancel", "<Status code=\"OK\"/>"));
    UploadRecorder r;
    DMPictureServiceController& c = Make(&r);
    int images = 0, transfers = 0;
    for (const char* t : {"T", "T1"})
        for (const char* i : {"a", "b"})
            c.RegisterImageUpload(t, i, std::make_unique<Image>(images),
                                  std::make_unique<Transfer>(std::string("http://up.example/") + t + i, transfers));
    UploadClose("UploadCancel", "T", r);
    EXPECT_EQ(r.events.back(), "finish UploadCancel");
    EXPECT_EQ(images, 2);
    EXPECT_EQ(transfers, 2);
    EXPECT_EQ(c.PendingImageCount(), 2u);
    EXPECT_EQ(c.ImageUploadCount(), 2u);
    const std::string log = Log();
    EXPECT_NE(log.find("Removing Image Upload \"Ta\"\n"), std::string::npos);
    EXPECT_NE(log.find("Removing Image Upload \"Tb\"\n"), std::string::npos);
    EXPECT_EQ(log.find("T1a"), std::string::npos) << log;
}

TEST_F(PictureControllerTest, UploadEndCancelsItsTransfersWithALineEach) {
    Soap("svc", Content("UploadEnd", "<Status code=\"OK\"/>"));
    UploadRecorder r;
    DMPictureServiceController& c = Make(&r);
    int images = 0, transfers = 0;
    c.RegisterImageUpload("T", "a", std::make_unique<Image>(images),
                          std::make_unique<Transfer>("http://u/a", transfers));
    c.RegisterImageUpload("T", "b", nullptr, std::make_unique<Transfer>("http://u/b", transfers));
    c.RegisterImageUpload("U", "a", std::make_unique<Image>(images),
                          std::make_unique<Transfer>("http://u/c", transfers));
    UploadClose("UploadEnd", "T", r);
    EXPECT_EQ(images, 1);
    EXPECT_EQ(transfers, 2);
    const std::string log = Log();
    EXPECT_NE(log.find("Canceling URL Request \"http://u/a\"\n"), std::string::npos);
    EXPECT_NE(log.find("Canceling URL Request \"http://u/b\"\n"), std::string::npos);
    EXPECT_EQ(log.find("http://u/c"), std::string::npos);
    // Cancelling everything leaves no entry behind: nothing can be destroyed twice.
    c.CancelURLRequests();
    EXPECT_EQ(images, 2);
    EXPECT_EQ(transfers, 3);
    EXPECT_EQ(c.PendingImageCount() + c.ImageUploadCount(), 0u);
}

// Upload events reach only a DMPictureServiceListener; finished and failed images leave
// the bookkeeping in every case.
TEST_F(PictureControllerTest, ImageEventsThroughTheQueue) {
    Soap("svc", Begin("T"));
    UploadRecorder uploader;
    DMPictureServiceController& c = Make(&uploader);
    DMSIF_MethodRef* ref = UploadBegin(uploader);
    int images = 0, transfers = 0;
    for (const char* i : {"a", "b", "c"})
        c.RegisterImageUpload("T", i, std::make_unique<Image>(images),
                              std::make_unique<Transfer>("http://u", transfers));
    queue->Post(new DMPictureServiceListenerDispatchImageUploadDidProgressEvent(&c, ref, "T", "a", 5, 10));
    queue->Post(
        new DMPictureServiceListenerDispatchImageUploadDidFinishEvent(&c, ref, "T", "a", DMSIF_IDType("p1", "")));
    std::unique_ptr<DMSOAPElementType> s(DMSOAPElementType::CreateFromString("<S code=\"TooBig\"/>", {}, false));
    queue->Post(
        new DMPictureServiceListenerDispatchImageUploadDidFailEvent(&c, ref, "T", "b", DMSIF_StatusType(s.get())));
    ASSERT_TRUE(RunUntil([&] { return uploader.events.size() >= 5; }));
    EXPECT_EQ(std::vector<std::string>(uploader.events.begin() + 2, uploader.events.end()),
              (std::vector<std::string>{"image progress T/a 5/10", "image done T/a p1", "image failed T/b TooBig"}));
    EXPECT_EQ(images, 2);
    EXPECT_EQ(transfers, 2);
    EXPECT_EQ(c.PendingImageCount(), 1u);

    // A plain listener hears nothing, but the entries still go.
    Recorder plain;
    c.SetListener(&plain, nullptr);
    c.DispatchImageUploadDidFinish(ref, "T", "c", DMSIF_IDType("p3", ""));
    EXPECT_TRUE(plain.events.empty());
    EXPECT_EQ(c.PendingImageCount() + c.ImageUploadCount(), 0u);
    EXPECT_EQ(images, 3);
}

// Without a listener nothing is decoded, but an upload answer still ends its transfers.
TEST_F(PictureControllerTest, NoListenerStillCancelsTransfers) {
    Soap("svc", Content("UploadCancel", "<Status code=\"OK\"/>"));
    DMPictureServiceController& c = Make(nullptr);
    int images = 0, transfers = 0;
    c.RegisterImageUpload("T", "a", std::make_unique<Image>(images),
                          std::make_unique<Transfer>("http://u/a", transfers));
    DMPicture_UploadCancel_InputType in;
    in.mTransactionId = "T";
    DMSIF_MethodRef* ref = c.Invoke("UploadCancel", in.ToElement("UploadCancel", PNS), nullptr, "", nullptr);
    ASSERT_NE(ref, nullptr);
    ASSERT_TRUE(RunUntil([&] { return transfers == 1; }));
    EXPECT_EQ(images, 1);
}

// Destroyed with a held transaction, registered images and an event still queued.
TEST_F(PictureControllerTest, DestroyedWithHeldTransactionsAndImages) {
    Soap("svc", Begin("T"));
    UploadRecorder r;
    DMPictureServiceController& c = Make(&r);
    DMSIF_MethodRef* ref = UploadBegin(r);
    int images = 0, transfers = 0;
    c.RegisterImageUpload("T", "a", std::make_unique<Image>(images),
                          std::make_unique<Transfer>("http://u/a", transfers));
    c.RegisterImageUpload("T", "b", std::make_unique<Image>(images), nullptr);
    queue->Post(new DMPictureServiceListenerDispatchImageUploadDidFinishEvent(&c, ref, "T", "a", DMSIF_IDType()));
    controller.reset();
    EXPECT_EQ(images, 2);
    EXPECT_EQ(transfers, 1);
    RunFor(30);  // the queued event finds its controller gone
    EXPECT_EQ(r.events.size(), 2u);
}

// A method outside the fifteen fails, whatever its answer says.
TEST_F(PictureControllerTest, UnknownMethodFails) {
    Soap("svc", Content("Bogus", "<Status code=\"OK\"/>"));
    Recorder r;
    Make(&r);
    DMPicture_GetShareInformation_InputType in;
    DMSIF_MethodRef* ref = Call("Bogus", in, r);
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(r.events, std::vector<std::string>{"fail Bogus"});
    EXPECT_EQ(r.statusCode, "-");
}
