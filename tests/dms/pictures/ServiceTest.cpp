// The pictures facade end to end: a real sign-on and discovery of 'Pict' against the
// test server's "signon" kind, then every method answered by hand-written Bodies at the
// offered endpoint (the sign-on path + "svc"), delivered through the event queue; the
// listener's vote on a failed call; tokens of cancelled calls and calls without one.

#include "dms/pictures/DMPicturesService.h"

#include <QJsonArray>
#include <QJsonObject>

#include <fstream>
#include <memory>
#include <sstream>

#include "dms/core/DMServiceFactory.h"
#include "dms/core/DMServicesProvider.h"
#include "dms/core/WebServiceTestSupport.h"
#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"

#include "PicturesTestSupport.h"
#include "support/Env.h"

using namespace wstest;

namespace {

struct SignOn : DMServiceRequestListener {
    DMServicesProvider* provider = nullptr;
    int passwordAsks = 0;
    int finals = 0;
    DMGenericService* service = nullptr;

    void RequiresPassword(const std::string&, DMServiceRequestToken* token) override {
        ++passwordAsks;
        provider->SetPasswordForRequest("secret-pw", token);
    }
    void RequiresSecurID(const std::string&, DMServiceRequestToken* token) override {
        provider->SetSecurIDForRequest("", token);
    }
    void AuthenticationSucceeded(const std::string&, DMServiceRequestToken*) override {}
    void AuthenticationFailed(const std::string&, DMServiceRequestToken*, std::int32_t) override { ++finals; }
    void ServiceRequestSucceeded(DMGenericService* s, EServiceType, DMServiceRequestToken*) override {
        service = s;
        ++finals;
    }
    void ServiceRequestFailed(std::int32_t, EServiceType, DMServiceRequestToken*) override { ++finals; }
};

std::string Ids(const std::list<DMSIF_IDType>& ids) {
    std::string all;
    for (const auto& id : ids)
        all += (all.empty() ? "" : ",") + id.GetValue();
    return all;
}

// Records each completion as one line of its values.
struct Pics : DMPicturesServiceListener {
    std::vector<std::string> events;
    DMServiceRequestToken* token = nullptr;
    bool cancelled = false;
    std::string statusCode, faultCode;
    int vote = 0;
    std::list<DMPicture_PropertiesType> objects;
    std::list<DMPicture_ShareEventType> shares;

    void Note(const std::string& what, DMServiceRequestToken* t, bool ok) {
        events.push_back(what + (ok ? " ok" : " failed"));
        token = t;
        cancelled = t && t->cancelled;
        statusCode = t ? t->status.GetCode() : "-";
        faultCode = t ? t->fault.GetFaultCode() : "-";
    }
    void ServiceDidBecomeValid(DMSIFService*) override { events.push_back("valid"); }
    void ServiceWillBecomeInvalid(DMSIFService*) override { events.push_back("will-invalid"); }
    void ServiceDidBecomeInvalid(DMSIFService*) override { events.push_back("invalid"); }
    int ShouldMethodFailureInvalidateService(DMServiceRequestToken* t) override {
        events.push_back(std::string("vote") + (t ? "" : " without token"));
        return vote;
    }
    void GetChildrenCompleted(const std::string& parent, const std::list<DMPicture_PropertiesType>& o,
                              DMServiceRequestToken* t, bool ok) override {
        objects = o;
        Note("children " + parent + " " + std::to_string(o.size()), t, ok);
    }
    void CreateFolderCompleted(const std::string& dest, const std::string& folder, DMServiceRequestToken* t,
                               bool ok) override {
        Note("folder " + dest + " " + folder, t, ok);
    }
    void DeleteObjectsCompleted(const std::list<DMSIF_IDType>& ids, DMServiceRequestToken* t, bool ok) override {
        Note("delete " + Ids(ids), t, ok);
    }
    void CopyObjectsCompleted(const std::list<DMSIF_IDType>& ids, const std::list<DMSIF_IDType>& r,
                              DMServiceRequestToken* t, bool ok) override {
        Note("copy " + Ids(ids) + " " + Ids(r), t, ok);
    }
    void MoveObjectsCompleted(const std::list<DMSIF_IDType>& ids, const std::list<DMSIF_IDType>& r,
                              DMServiceRequestToken* t, bool ok) override {
        Note("move " + Ids(ids) + " " + Ids(r), t, ok);
    }
    void GetPropertiesCompleted(const std::list<DMSIF_IDType>& ids, const std::list<DMPicture_PropertiesType>& o,
                                DMServiceRequestToken* t, bool ok) override {
        objects = o;
        Note("properties " + Ids(ids) + " " + std::to_string(o.size()), t, ok);
    }
    void EditObjectsCompleted(const std::list<DMSIF_IDType>& ids, const std::list<DMSIF_IDType>& r,
                              DMServiceRequestToken* t, bool ok) override {
        Note("edit " + Ids(ids) + " " + Ids(r), t, ok);
    }
    void SetPropertiesCompleted(const std::list<DMSIF_IDType>& ids, DMServiceRequestToken* t, bool ok) override {
        Note("set " + Ids(ids), t, ok);
    }
    void NotifyZymCompleted(const DMSIF_IDType& id, DMServiceRequestToken* t, bool ok) override {
        Note("notify " + id.GetValue() + "/" + id.GetID(), t, ok);
    }
    void ShareObjectsCompleted(const std::list<DMSIF_IDType>& ids, const std::list<std::string>& addresses,
                               const std::string& subject, const std::string& description, DMServiceRequestToken* t,
                               bool ok) override {
        Note("share " + Ids(ids) + " " + std::to_string(addresses.size()) + " " + subject + " " + description, t, ok);
    }
    void GetShareInfoCompleted(const std::list<DMPicture_ShareEventType>& e, DMServiceRequestToken* t,
                               bool ok) override {
        shares = e;
        Note("shares " + std::to_string(e.size()), t, ok);
    }
    void UploadBeginCompleted(const std::string& dest, int count, const std::string& transaction,
                              const std::string& url, DMServiceRequestToken* t, bool ok) override {
        Note("begin " + dest + " " + std::to_string(count) + " " + transaction + " " + url, t, ok);
    }
    void UploadCancelCompleted(const std::string& transaction, DMServiceRequestToken* t, bool ok) override {
        Note("cancel " + transaction, t, ok);
    }
    void UploadEndCompleted(const std::string& transaction, DMServiceRequestToken* t, bool ok) override {
        Note("end " + transaction, t, ok);
    }
};

QJsonObject File(const std::string& method) {
    return QJsonObject{{"content_file", QString::fromStdString("dms/pictures/" + method + ".xml")}};
}

QJsonObject Fault() { return QJsonObject{{"reply", "fault11"}, {"faultcode", "SOAP-ENV:Server"}}; }

class PicturesServiceTest : public WebServiceTest {
protected:
    void SetUp() override {
        DMPicturesServiceRegister();
        queue = LThreadEventQueue::Create();
        provider = std::make_unique<DMServicesProvider>();
        provider->SetEventQueue(queue);
        provider->SetDeviceName("Pics", "ZYM", "1.0");
        provider->SetServiceURL(Url(""));
        signOn.provider = provider.get();
        Script("",
               {{"kind", "signon"}, {"users", QJsonArray{QJsonObject{{"name", "alice"}, {"password", "secret-pw"}}}}});
        logPath = zymtest::TestLogPath("pictures-service");
        InitLogFile(logPath.c_str(), kLogDebug, 0);
    }
    void TearDown() override {
        service.reset();
        provider.reset();
        queue->Release();
        DMServiceFactory::Unregister(kServiceTypePictures);
        InitLogFile(nullptr, kLogError, 0);
        std::remove(logPath.c_str());
    }

    void Answers(const QJsonObject& byRequest) { Script("svc", {{"kind", "soap"}, {"by_request", byRequest}}); }

    DMPicturesService& Discover(DMPicturesServiceListener* listener) {
        provider->RequestService(kServiceTypePictures, "alice", false, &signOn);
        EXPECT_TRUE(RunUntil([&] { return signOn.finals > 0; }));
        auto* facade = dynamic_cast<DMPicturesService*>(signOn.service);
        if (!facade) {
            delete signOn.service;
            throw std::runtime_error("no facade");
        }
        service.reset(facade);
        EXPECT_EQ(service->GetEndpoint(), Url("svc"));
        service->SetListener(listener);
        return *service;
    }

    // Sends and waits for the call's end.
    template <class Input>
    DMServiceRequestToken* Send(DMServiceRequestToken* (DMPicturesService::*request)(Input&), Input input) {
        DMServiceRequestToken* token = (service.get()->*request)(input);
        EXPECT_NE(token, nullptr);
        EXPECT_TRUE(RunUntil([&] { return service->PendingCount() == 0; }));
        return token;
    }

    std::string Log() {
        std::ifstream in(logPath);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    int Discoveries() {
        int n = 0;
        for (const auto& r : Records(""))
            n += Str(r.soap["body_child"]) == "Query";
        return n;
    }

    LThreadEventQueue* queue = nullptr;
    std::unique_ptr<DMServicesProvider> provider;
    std::unique_ptr<DMPicturesService> service;
    SignOn signOn;
    Pics pics;
    std::string logPath;
};

DMSIF_IDType Id(const char* value) { return DMSIF_IDType(value, ""); }

}  // namespace

TEST_F(PicturesServiceTest, FifteenMethodsAnsweredAndReported) {
    QJsonObject answers;
    for (const char* m : {"CreateFolder", "DeleteObjects", "CopyObjects", "MoveObjects", "SearchObjects", "GetChildren",
                          "GetProperties", "GetShareInfo", "EditObjects", "SetProperties", "UploadBegin",
                          "UploadCancel", "UploadEnd", "NotifyZym", "ShareObjects"})
        answers[m] = File(m);
    Answers(answers);
    DMPicturesService& s = Discover(&pics);
    EXPECT_EQ(s.ServiceTypeURN(), "urn:zym-com:services:photo");

    DMPicture_CreateFolder_InputType folder;
    folder.mName = "Trips";
    folder.mMimetype = "folder";
    folder.mDestinationId = Id("root");
    DMServiceRequestToken* token = Send(&DMPicturesService::RequestCreateFolder, folder);
    EXPECT_EQ(pics.token, token);
    EXPECT_EQ(pics.statusCode, "OK");
    DMPicture_DeleteObjects_InputType del;
    del.mIds = {Id("a"), Id("b")};
    Send(&DMPicturesService::RequestDeleteObjects, del);
    DMPicture_CopyObjects_InputType copy;
    copy.mIds = {Id("a")};
    copy.mDestinationId = Id("album-2");
    Send(&DMPicturesService::RequestCopyObjects, copy);
    DMPicture_MoveObjects_InputType move;
    move.mIds = {Id("pic-4")};
    move.mDestinationId = Id("album-2");
    Send(&DMPicturesService::RequestMoveObjects, move);
    DMPicture_SearchObjects_InputType search;
    search.mRootId = Id("root");
    search.mQuery = "boats";
    const std::size_t beforeSearch = pics.events.size();
    Send(&DMPicturesService::RequestSearchObjects, search);
    EXPECT_EQ(pics.events.size(), beforeSearch);  // no completion
    EXPECT_NE(Log().find("Callback not handled: SearchObjects\n"), std::string::npos);
    DMPicture_GetChildren_InputType children;
    children.mParentId = Id("album-1");
    Send(&DMPicturesService::RequestGetChildren, children);
    ASSERT_EQ(pics.objects.size(), 1u);
    EXPECT_EQ(pics.objects.front().mKeywords, (std::list<std::string>{"boats", "sea"}));
    EXPECT_TRUE(pics.objects.front().mPermissions.mErase);  // from "Delete"
    DMPicture_GetProperties_InputType props;
    props.mIds = {Id("pic-4")};
    Send(&DMPicturesService::RequestGetProperties, props);
    DMPicture_GetShareInformation_InputType shares;
    Send(&DMPicturesService::RequestGetShareInfo, shares);
    ASSERT_EQ(pics.shares.size(), 1u);
    EXPECT_EQ(pics.shares.front().mAddresses, std::list<std::string>{"ann@example.org"});
    DMPicture_EditObjects_InputType edit;
    edit.mIds = {Id("pic-4")};
    edit.mOperations.resize(1);
    edit.mOperations.front().mName = "rotate";
    Send(&DMPicturesService::RequestEditObjects, edit);
    DMPicture_SetProperties_InputType set;
    set.mIds = {Id("pic-4")};
    set.mProperties.resize(1);
    Send(&DMPicturesService::RequestSetProperties, set);
    DMPicture_UploadBegin_InputType begin;
    begin.mDestinationId = Id("album-1");
    begin.mCount = 3;
    Send(&DMPicturesService::RequestUploadBegin, begin);
    EXPECT_EQ(s.GetController()->TransactionCount(), 1u);
    DMPicture_UploadCancel_InputType cancel;
    cancel.mTransactionId = "TX-0";
    Send(&DMPicturesService::RequestUploadCancel, cancel);
    DMPicture_UploadEnd_InputType end;
    end.mTransactionId = "TX-1";
    Send(&DMPicturesService::RequestUploadEnd, end);
    EXPECT_EQ(s.GetController()->TransactionCount(), 0u);
    DMPicture_NotifyZym_InputType notify;
    notify.mId = DMSIF_IDType("pic-4", "legacy-4");
    notify.mViolation = 2;
    notify.mComments = "spam";
    notify.mUserAgent = "tests";
    Send(&DMPicturesService::RequestNotifyZym, notify);
    DMPicture_ShareObjects_InputType share;
    share.mIds = {Id("album-1")};
    share.mAddresses = {"ann@example.org", "bo@example.org"};
    share.mSubject = "Hi";
    share.mDescription = "Summer";
    Send(&DMPicturesService::RequestShareObjects, share);

    EXPECT_EQ(pics.events, (std::vector<std::string>{
                               "valid",
                               "folder root album-new ok",
                               "delete a,b ok",
                               "copy a copy-1,copy-2 ok",
                               "move pic-4 pic-4 ok",
                               "children album-1 1 ok",
                               "properties pic-4 1 ok",
                               "shares 1 ok",
                               "edit pic-4 pic-4-rotated ok",
                               "set pic-4 ok",
                               "begin album-1 3 TX-1 http://upload.example/TX-1 ok",
                               "cancel TX-0 ok",
                               "end TX-1 ok",
                               "notify pic-4/legacy-4 ok",
                               "share album-1 2 Hi Summer ok",
                           }));
    // Every call went to the endpoint + "?cid=" + User-Agent, its element named like the method.
    const auto sent = Records("svc");
    ASSERT_EQ(sent.size(), 15u);
    for (const auto& r : sent) {
        EXPECT_EQ(r.http.query, "cid=" + s.GetController()->GetUserAgent());
        EXPECT_EQ(Str(r.soap["body_child_ns"]), PNS);
    }
    EXPECT_FALSE(s.GetController()->GetUserAgent().empty());
    EXPECT_EQ(Str(sent[7].soap["body_child"]), "GetShareInfo");
}

// A failed call reports the input's values only, success false, the token carrying the
// status; a finished one its output too.
TEST_F(PicturesServiceTest, FailedCallReportsInputValuesOnly) {
    Answers({{"CreateFolder", QJsonObject{{"content", "<CreateFolderResponse xmlns=\"" PNS "\"><CreateFolderResult>"
                                                      "<Status code=\"Partial\"/><Id>half</Id></CreateFolderResult>"
                                                      "</CreateFolderResponse>"}}}});
    DMPicturesService& s = Discover(&pics);
    DMPicture_CreateFolder_InputType folder;
    folder.mName = "Trips";
    folder.mMimetype = "folder";
    folder.mDestinationId = Id("root");
    Send(&DMPicturesService::RequestCreateFolder, folder);
    EXPECT_EQ(pics.events, (std::vector<std::string>{"valid", "vote", "folder root  failed"}));
    EXPECT_EQ(pics.statusCode, "Partial");
    EXPECT_TRUE(s.GetController()->IsValid());  // vote 0 keeps the service
}

// Vote 1 forgets the discovery (the next request discovers again without a sign-on);
// 2, 3 and no listener reset the sign-on (the next request asks for the password).
TEST_F(PicturesServiceTest, VotesOnAFailedCall) {
    const struct {
        const char* name;
        int vote;
        bool listener;
        bool signOnAgain;
    } rows[] = {{"vote 1", 1, true, false},
                {"vote 2", 2, true, true},
                {"vote 3", 3, true, true},
                {"no listener", 0, false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Answers({{"DeleteObjects", Fault()}});
        Pics listener;
        listener.vote = row.vote;
        signOn = SignOn();
        signOn.provider = provider.get();
        DMPicturesService& s = Discover(row.listener ? &listener : nullptr);
        const int discoveries = Discoveries();
        const int asks = signOn.passwordAsks;
        DMPicture_DeleteObjects_InputType del;
        del.mIds = {Id("a")};
        DMServiceRequestToken* token = s.RequestDeleteObjects(del);
        ASSERT_NE(token, nullptr);
        ASSERT_TRUE(RunUntil([&] { return s.PendingCount() == 0; }));
        RunFor(50);
        EXPECT_FALSE(s.GetController()->HasCredentials());
        if (row.listener) {
            EXPECT_EQ(listener.events,
                      (std::vector<std::string>{"valid", "vote", "will-invalid", "delete a failed", "invalid"}));
            EXPECT_EQ(listener.faultCode, "SOAP-ENV:Server");
        }
        EXPECT_EQ(provider->AuthenticationCredentialsExpirationDate("alice").empty(), row.signOnAgain);

        SignOn again;
        again.provider = provider.get();
        provider->RequestService(kServiceTypePictures, "alice", false, &again);
        ASSERT_TRUE(RunUntil([&] { return again.finals > 0; }));
        ASSERT_NE(again.service, nullptr);
        EXPECT_EQ(again.passwordAsks, row.signOnAgain ? 1 : 0);
        EXPECT_EQ(Discoveries(), discoveries + 1) << "discovered again";
        (void)asks;
        delete again.service;
        service.reset();
    }
}

// Vote 0 keeps everything: the service stays valid and nobody is reset.
TEST_F(PicturesServiceTest, VoteZeroKeepsTheService) {
    Answers({{"DeleteObjects", Fault()}});
    DMPicturesService& s = Discover(&pics);
    DMPicture_DeleteObjects_InputType del;
    del.mIds = {Id("a")};
    Send(&DMPicturesService::RequestDeleteObjects, del);
    EXPECT_EQ(pics.events, (std::vector<std::string>{"valid", "vote", "delete a failed"}));
    EXPECT_TRUE(s.GetController()->IsValid());
    EXPECT_FALSE(provider->AuthenticationCredentialsExpirationDate("alice").empty());
}

// A cancelled call: success false, the cancelled flag on its token; a call made without
// a token is reported with none.
TEST_F(PicturesServiceTest, CancelledCallsAndCallsWithoutToken) {
    Answers({{"GetChildren", QJsonObject{{"silent", true}}}, {"DeleteObjects", File("DeleteObjects")}});
    DMPicturesService& s = Discover(&pics);
    DMPicture_GetChildren_InputType children;
    children.mParentId = Id("album-1");
    DMServiceRequestToken* token = s.RequestGetChildren(children);
    ASSERT_NE(token, nullptr);
    ASSERT_TRUE(RunUntil([&] { return Records("svc").size() == 1; }));
    s.GetController()->CancelMethod(token->methodRef);
    ASSERT_TRUE(RunUntil([&] { return s.PendingCount() == 0; }));
    // Nothing was decoded for a call that never got an answer: no input values.
    EXPECT_EQ(pics.events.back(), "children  0 failed");
    EXPECT_EQ(pics.token, token);
    EXPECT_TRUE(pics.cancelled);

    DMPicture_DeleteObjects_InputType del;
    del.mIds = {Id("z")};
    ASSERT_NE(s.GetController()->Invoke("DeleteObjects", del.ToElement("DeleteObjects", PNS), nullptr, "", nullptr),
              nullptr);
    ASSERT_TRUE(RunUntil([&] { return pics.events.back() == "delete z ok"; }));
    EXPECT_EQ(pics.token, nullptr);
}

// Without an event queue the invalidation's cancellations run inside the failing call's
// report: the failing call keeps its token to the end of its own report.
TEST_F(PicturesServiceTest, FailureWithoutQueueKeepsItsToken) {
    Answers({{"DeleteObjects", Fault()}, {"GetChildren", QJsonObject{{"silent", true}}}});
    pics.vote = 2;
    DMPicturesService& s = Discover(&pics);
    s.GetController()->SetEventQueue(nullptr);
    DMPicture_GetChildren_InputType children;
    children.mParentId = Id("album-1");
    DMServiceRequestToken* other = s.RequestGetChildren(children);
    ASSERT_NE(other, nullptr);
    DMPicture_DeleteObjects_InputType del;
    del.mIds = {Id("a")};
    DMServiceRequestToken* token = s.RequestDeleteObjects(del);
    ASSERT_NE(token, nullptr);
    ASSERT_TRUE(RunUntil(
        [&] { return std::find(pics.events.begin(), pics.events.end(), "delete a failed") != pics.events.end(); }));
    EXPECT_EQ(pics.token, token);
    EXPECT_EQ(pics.faultCode, "SOAP-ENV:Server");
    EXPECT_EQ(s.PendingCount(), 0u);
    // Reported once, after the invalidation that ran inside its own report.
    EXPECT_EQ(pics.events, (std::vector<std::string>{"valid", "vote", "will-invalid", "children  0 failed", "invalid",
                                                     "delete a failed"}));
    // The call still open was cancelled meanwhile, with its own token.
    EXPECT_NE(std::find(pics.events.begin(), pics.events.end(), "children  0 failed"), pics.events.end());
}

// Calls still in flight when the facade goes: their tokens go with it (LSan checks).
TEST_F(PicturesServiceTest, DestroyedWithCallsInFlight) {
    Answers({{"GetChildren", QJsonObject{{"silent", true}}}});
    DMPicturesService& s = Discover(&pics);
    DMPicture_GetChildren_InputType children;
    children.mParentId = Id("album-1");
    ASSERT_NE(s.RequestGetChildren(children), nullptr);
    ASSERT_NE(s.RequestGetChildren(children), nullptr);
    ASSERT_TRUE(RunUntil([&] { return Records("svc").size() == 2; }));
    service.reset();
    RunFor(50);
    EXPECT_EQ(pics.events, std::vector<std::string>{"valid"});
}

TEST_F(PicturesServiceTest, InvalidInputSendsNothing) {
    Answers({});
    DMPicturesService& s = Discover(&pics);
    DMPicture_UploadBegin_InputType begin;
    begin.mDestinationId = Id("album");
    begin.mCount = 0;
    EXPECT_EQ(s.RequestUploadBegin(begin), nullptr);
    EXPECT_EQ(s.PendingCount(), 0u);
    EXPECT_TRUE(Records("svc").empty());
}
