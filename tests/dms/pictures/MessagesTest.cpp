// The pictures method messages against hand-written texts: each decodes to its members and
// encodes back exactly, M children in the method's namespace and P children (wrappers and
// their items) in the pictures namespace.

#include "dms/pictures/DMPictureMethods.h"

#include "PicturesTestSupport.h"

using namespace picturetest;

namespace {

// A method element in the method namespace "m" (prefix), pictures as the default namespace.
std::string M(const std::string& name, const std::string& inner) {
    return "<m:" + name + " xmlns:m=\"urn:method\" xmlns=\"" PNS "\">" + inner + "</m:" + name + ">";
}

template <class T>
T Decoded(const std::string& text) {
    Tree in = Parse(text);
    return T(in.get());
}

}  // namespace

TEST(PictureMessages, PropertiesSharingUploadsAndNotices) {
    {
        DMPicture_GetProperties_InputType in;
        EXPECT_EQ(RoundTrip(M("GetProperties",
                              "<Ids><Id id=\"x\">o1</Id><Id>o2</Id></Ids>"
                              "<m:Fields><m:String>Name</m:String><m:String/></m:Fields>"),
                            in),
                  "");
        EXPECT_EQ(in.GetIds().size(), 2u);
        EXPECT_EQ(in.GetIds().front().GetID(), "x");
        EXPECT_EQ(in.mFields, (std::list<std::string>{"Name", ""}));
        // Only "String" items count in these Fields; other names leave an empty list.
        auto other =
            Decoded<DMPicture_GetProperties_InputType>(M("GetProperties", "<m:Fields><m:Field>x</m:Field></m:Fields>"));
        EXPECT_TRUE(other.mFields.empty());
    }
    {
        DMPicture_GetProperties_OutputType out;
        EXPECT_EQ(RoundTrip(M("GetPropertiesResult",
                              "<m:Status code=\"OK\"/><Objects><Object><Id>o1</Id><Mimetype/><ModificationDate/>"
                              "<Permissions><Read>true</Read><Write>false</Write><Erase>false</Erase></Permissions>"
                              "<Rights/><ParentId/><Name>n</Name></Object></Objects>"),
                            out),
                  "");
        EXPECT_EQ(out.status.GetCode(), "OK");
        ASSERT_EQ(out.GetObjects().size(), 1u);
        EXPECT_EQ(out.GetObjects().front().mName, "n");
    }
    {
        // A Properties item without "Value" still gives an item, its Value empty.
        DMPicture_SetProperties_InputType in;
        EXPECT_EQ(RoundTrip(M("SetProperties",
                              "<Ids><Id>o1</Id></Ids><Properties><NameValuePair><Name>Caption"
                              "</Name></NameValuePair></Properties>"),
                            in,
                            M("SetProperties",
                              "<Ids><Id>o1</Id></Ids><Properties><NameValuePair><Name>Caption"
                              "</Name><Value/></NameValuePair></Properties>")),
                  "");
        ASSERT_EQ(in.mProperties.size(), 1u);
        EXPECT_EQ(in.mProperties.front().mValue, "");
    }
    {
        DMPicture_ShareObjects_InputType in;
        EXPECT_EQ(RoundTrip(M("ShareObjects",
                              "<Ids><Id>o1</Id></Ids><m:Addresses><m:String>a@x</m:String>"
                              "</m:Addresses><m:Subject>Hi</m:Subject><m:Description>Look</m:Description>"),
                            in),
                  "");
        EXPECT_EQ(in.GetAddresses(), std::list<std::string>{"a@x"});
        EXPECT_EQ(in.GetSubject(), "Hi");
        EXPECT_EQ(in.GetDescription(), "Look");
    }
    {
        DMPicture_GetShareInformation_InputType in;
        EXPECT_EQ(RoundTrip(M("GetShareInfo", "<m:Offset>0</m:Offset><m:Count>20</m:Count>"), in), "");
        EXPECT_EQ(in.mOffset, 0);
        EXPECT_EQ(in.mCount, 20);
        DMPicture_GetShareInformation_InputType none;
        none.mOffset = none.mCount = -3;
        EXPECT_TRUE(none.IsValid());
        Tree empty(none.ToElement("GetShareInfo", "urn:method"));
        EXPECT_TRUE(empty->children.empty());
    }
    {
        // "events" in lower case, its items in the pictures namespace.
        DMPicture_GetShareInformation_OutputType out;
        EXPECT_EQ(RoundTrip(M("GetShareInfoResult",
                              "<m:Status code=\"OK\"/><m:Remaining>4</m:Remaining><events>"
                              "<ShareEvent><AlbumName>A</AlbumName></ShareEvent></events>"),
                            out),
                  "");
        EXPECT_EQ(out.mRemaining, 4);
        ASSERT_EQ(out.GetEvents().size(), 1u);
        auto bad = Decoded<DMPicture_GetShareInformation_OutputType>(
            M("GetShareInfoResult", "<m:Remaining>many</m:Remaining><Events><ShareEvent/></Events>"));
        EXPECT_EQ(bad.mRemaining, 0);
        EXPECT_TRUE(bad.GetEvents().empty());
    }
    {
        // Count is held before Offset but "Offset" is written first.
        DMPicture_UploadBegin_InputType in;
        EXPECT_EQ(RoundTrip(M("UploadBegin",
                              "<m:DestinationId id=\"d\">f1</m:DestinationId><m:Offset>2</m:Offset>"
                              "<m:Count>5</m:Count>"),
                            in),
                  "");
        EXPECT_EQ(in.GetDestinationId().GetValue(), "f1");
        EXPECT_EQ(in.GetCount(), 5);
        EXPECT_EQ(in.mOffset, 2);
        in.mOffset = -1;
        in.mCount = 1;
        Tree noOffset(in.ToElement("UploadBegin", "urn:method"));
        EXPECT_EQ(noOffset->FindChild("Offset", 1), nullptr);
        EXPECT_TRUE(in.IsValid());
        auto empty = Decoded<DMPicture_UploadBegin_InputType>(M("UploadBegin", ""));
        EXPECT_EQ(empty.GetCount(), -1);  // not given
    }
    {
        DMPicture_UploadBegin_OutputType out;
        EXPECT_EQ(RoundTrip(M("UploadBeginResult",
                              "<m:Status code=\"OK\" comment=\"c\"/><m:TransactionId>T1"
                              "</m:TransactionId><m:Url>http://up/1</m:Url>"),
                            out),
                  "");
        EXPECT_EQ(out.GetTransactionId(), "T1");
        EXPECT_EQ(out.GetUrl(), "http://up/1");
        auto bare = Decoded<DMPicture_UploadBegin_OutputType>(M("UploadBeginResult", "<m:Status code=\"OK\"/>"));
        EXPECT_EQ(bare.GetTransactionId(), "");
        EXPECT_EQ(bare.GetUrl(), "");
    }
    for (const char* method : {"UploadEnd", "UploadCancel"}) {
        const std::string text = M(method, "<m:TransactionId>T1</m:TransactionId>");
        DMPicture_UploadEnd_InputType end;
        DMPicture_UploadCancel_InputType cancel;
        EXPECT_EQ(std::string(method) == "UploadEnd" ? RoundTrip(text, end) : RoundTrip(text, cancel), "");
    }
    {
        DMPicture_NotifyZym_InputType in;
        EXPECT_EQ(RoundTrip(M("NotifyZym",
                              "<m:Id id=\"i\">o1</m:Id><m:Violation>6</m:Violation>"
                              "<m:Comments>bad</m:Comments><m:UserAgent>UA</m:UserAgent>"),
                            in),
                  "");
        EXPECT_EQ(in.GetId().GetID(), "i");
    }
    // The status-only results: "Status" always, nothing else.
    DMPicture_SetProperties_OutputType s1;
    DMPicture_ShareObjects_OutputType s2;
    DMPicture_UploadEnd_OutputType s3;
    DMPicture_UploadCancel_OutputType s4;
    DMPicture_NotifyZym_OutputType s5;
    DMPicture_DeleteObjects_OutputType s6;
    const std::string status = M("R", "<m:Status code=\"Failed\" comment=\"no\"/>");
    for (std::string d : {RoundTrip(status, s1), RoundTrip(status, s2), RoundTrip(status, s3), RoundTrip(status, s4),
                          RoundTrip(status, s5), RoundTrip(status, s6)})
        EXPECT_EQ(d, "");
    DMPicture_NotifyZym_OutputType empty(nullptr);
    Tree written(empty.ToElement("R", "urn:method"));
    EXPECT_EQ(Diff(written.get(), M("R", "<m:Status/>")), "");
}

TEST(PictureMessages, FoldersAndObjects) {
    {
        DMPicture_CreateFolder_InputType in;
        EXPECT_EQ(RoundTrip(M("CreateFolder",
                              "<m:Name>Trips</m:Name><m:Mimetype>folder</m:Mimetype>"
                              "<m:DestinationId>root</m:DestinationId><m:Offset>0</m:Offset>"),
                            in),
                  "");
        EXPECT_TRUE(in.IsValid());
        in.mDestinationId = DMSIF_IDType();
        in.mOffset = -1;
        Tree out(in.ToElement("CreateFolder", "urn:method"));
        EXPECT_EQ(Diff(out.get(), M("CreateFolder", "<m:Name>Trips</m:Name><m:Mimetype>folder</m:Mimetype>")), "");
    }
    {
        DMPicture_CreateFolder_OutputType out;
        EXPECT_EQ(RoundTrip(M("CreateFolderResult", "<m:Status code=\"OK\"/><m:Id>f7</m:Id>"), out), "");
        EXPECT_EQ(out.GetId().GetValue(), "f7");
        DMPicture_CreateFolder_OutputType empty(nullptr);
        Tree written(empty.ToElement("R", "urn:method"));
        EXPECT_EQ(Diff(written.get(), M("R", "<m:Status/><m:Id/>")), "");  // Id also when empty
    }
    {
        DMPicture_DeleteObjects_InputType in;
        EXPECT_EQ(RoundTrip(M("DeleteObjects", "<Ids><Id>a</Id></Ids>"), in), "");
    }
    {
        // Items of "Ids" whatever their names; an empty wrapper leaves the list.
        DMPicture_CopyObjects_InputType copy;
        EXPECT_EQ(RoundTrip(M("CopyObjects",
                              "<Ids><Id>a</Id><Other>b</Other></Ids><m:DestinationId>d"
                              "</m:DestinationId><m:Offset>3</m:Offset>"),
                            copy,
                            M("CopyObjects",
                              "<Ids><Id>a</Id><Id>b</Id></Ids><m:DestinationId>d"
                              "</m:DestinationId><m:Offset>3</m:Offset>")),
                  "");
        Tree empty = Parse(M("CopyObjects", "<Ids/>"));
        copy.FromElement(empty.get());
        EXPECT_EQ(copy.GetIds().size(), 2u);
        DMPicture_MoveObjects_OutputType move;
        EXPECT_EQ(RoundTrip(M("MoveObjectsResult", "<m:Status code=\"OK\"/><Ids><Id>c</Id></Ids>"), move), "");
        DMPicture_CopyObjects_OutputType copied;
        EXPECT_EQ(RoundTrip(M("CopyObjectsResult", "<m:Status code=\"OK\"/><Ids><Id>c</Id></Ids>"), copied), "");
        DMPicture_MoveObjects_InputType moved;
        EXPECT_EQ(RoundTrip(M("MoveObjects", "<Ids><Id>a</Id></Ids><m:DestinationId>d</m:DestinationId>"), moved), "");
    }
    {
        DMPicture_EditObjects_InputType in;
        EXPECT_EQ(RoundTrip(M("EditObjects",
                              "<Ids><Id>a</Id></Ids><Operations><Operation><Name>rotate</Name>"
                              "<Arguments><NameValuePair><Name>deg</Name><Value>90</Value>"
                              "</NameValuePair></Arguments></Operation></Operations>"),
                            in),
                  "");
        ASSERT_EQ(in.mOperations.size(), 1u);
        EXPECT_EQ(in.mOperations.front().mArguments.front().second, "90");
        DMPicture_EditObjects_OutputType out;
        EXPECT_EQ(RoundTrip(M("EditObjectsResult", "<m:Status code=\"OK\"/><Ids><Id>a2</Id></Ids>"), out), "");
    }
    {
        DMPicture_SearchObjects_InputType in;
        EXPECT_EQ(
            RoundTrip(M("SearchObjects",
                        "<m:RootId>r</m:RootId><m:Query>cat</m:Query><m:Offset>0</m:Offset>"
                        "<m:Count>-1</m:Count>"),
                      in, M("SearchObjects", "<m:RootId>r</m:RootId><m:Query>cat</m:Query><m:Offset>0</m:Offset>")),
            "");
        DMPicture_SearchObjects_OutputType out;
        EXPECT_EQ(RoundTrip(M("SearchObjectsResult",
                              "<m:Status code=\"OK\"/><m:Remaining>0</m:Remaining>"
                              "<Ids><Id>a</Id></Ids>"),
                            out),
                  "");
        auto noRemaining = Decoded<DMPicture_SearchObjects_OutputType>(M("R", ""));
        EXPECT_EQ(noRemaining.mRemaining, 0);
    }
    {
        // "Fields" follows the method namespace, its items read whatever their names.
        DMPicture_GetChildren_InputType in;
        EXPECT_EQ(RoundTrip(M("GetChildren",
                              "<m:ParentId>p</m:ParentId><m:Offset>0</m:Offset><m:Count>50</m:Count>"
                              "<m:ModifiedSince>2026-01-01</m:ModifiedSince><m:Fields><m:String>Name"
                              "</m:String><m:Other>Caption</m:Other></m:Fields>"),
                            in,
                            M("GetChildren",
                              "<m:ParentId>p</m:ParentId><m:Offset>0</m:Offset><m:Count>50</m:Count>"
                              "<m:ModifiedSince>2026-01-01</m:ModifiedSince><m:Fields><m:String>Name"
                              "</m:String><m:String>Caption</m:String></m:Fields>")),
                  "");
        EXPECT_EQ(in.GetParentId().GetValue(), "p");
    }
    {
        // "Modified": false only for the exact text "false".
        DMPicture_GetChildren_OutputType out;
        EXPECT_EQ(RoundTrip(M("GetChildrenResult",
                              "<m:Status code=\"OK\"/><m:Remaining>2</m:Remaining><Objects><Object><Id>c1</Id>"
                              "<Mimetype/><ModificationDate/><Permissions><Read>false</Read><Write>false</Write>"
                              "<Erase>false</Erase></Permissions><Rights/><ParentId>p</ParentId><Name/></Object>"
                              "</Objects><Modified><Boolean>false</Boolean><Boolean/><Boolean>FALSE</Boolean>"
                              "<Boolean>true</Boolean></Modified>"),
                            out,
                            M("GetChildrenResult",
                              "<m:Status code=\"OK\"/><m:Remaining>2</m:Remaining><Objects><Object><Id>c1</Id>"
                              "<Mimetype/><ModificationDate/><Permissions><Read>false</Read><Write>false</Write>"
                              "<Erase>false</Erase></Permissions><Rights/><ParentId>p</ParentId><Name/></Object>"
                              "</Objects><Modified><Boolean>false</Boolean><Boolean>true</Boolean>"
                              "<Boolean>true</Boolean><Boolean>true</Boolean></Modified>")),
                  "");
        EXPECT_EQ(out.mModified, (std::list<bool>{false, true, true, true}));
    }
}

// Wrappers and items in the pictures namespace, "Fields" in the method's, when written.
TEST(PictureMessages, NamespacesOfWrittenChildren) {
    DMPicture_GetChildren_InputType in;
    in.mParentId = DMSIF_IDType("p", "");
    in.mFields = {"Name"};
    Tree written(in.ToElement("GetChildren", "urn:method"));
    EXPECT_EQ(written->FindChild("Fields", 1)->namespaceURI, "urn:method");
    EXPECT_EQ(written->FindChild("Fields", 1)->children.front()->namespaceURI, "urn:method");
    DMPicture_EditObjects_InputType edit;
    edit.mIds = {DMSIF_IDType("a", "")};
    edit.mOperations.resize(1);
    edit.mOperations.front().mName = "x";
    Tree e(edit.ToElement("EditObjects", "urn:method"));
    for (const char* w : {"Ids", "Operations"}) {
        DMSOAPElementType* wrapper = e->FindChild(w, 1);
        ASSERT_NE(wrapper, nullptr);
        EXPECT_EQ(wrapper->namespaceURI, PNS);
        EXPECT_EQ(wrapper->children.front()->namespaceURI, PNS);
        for (const DMSOAPElementType* c : wrapper->children.front()->children)
            EXPECT_EQ(c->namespaceURI, PNS);
    }
}

TEST(PictureMessages, IsValid) {
    auto upload = [](int count) {
        DMPicture_UploadBegin_InputType in;
        in.mDestinationId = DMSIF_IDType("f", "");
        in.mCount = count;
        return in.IsValid();
    };
    EXPECT_FALSE(upload(0));
    EXPECT_TRUE(upload(1));
    auto notify = [](int violation) {
        DMPicture_NotifyZym_InputType in;
        in.mId = DMSIF_IDType("o", "");
        in.mViolation = violation;
        in.mComments = "c";
        in.mUserAgent = "ua";
        return in.IsValid();
    };
    for (int v : {0, 3, 7, -1})
        EXPECT_FALSE(notify(v)) << v;
    for (int v : {1, 2, 4, 5, 6})
        EXPECT_TRUE(notify(v)) << v;
    DMPicture_CopyObjects_InputType copy;
    copy.mIds = {DMSIF_IDType("a", "")};
    EXPECT_FALSE(copy.IsValid());  // no destination
    copy.mDestinationId = DMSIF_IDType("d", "");
    EXPECT_TRUE(copy.IsValid());
    DMPicture_GetChildren_InputType children;
    EXPECT_FALSE(children.IsValid());
    children.mParentId = DMSIF_IDType("p", "");
    EXPECT_TRUE(children.IsValid());
    DMPicture_SetProperties_InputType set;
    set.mIds = {DMSIF_IDType("a", "")};
    EXPECT_FALSE(set.IsValid());
    DMPicture_UploadEnd_InputType end;
    EXPECT_FALSE(end.IsValid());
    DMPicture_SearchObjects_InputType search;
    search.mRootId = DMSIF_IDType("r", "");
    EXPECT_FALSE(search.IsValid());
    search.mQuery = "q";
    EXPECT_TRUE(search.IsValid());
}
