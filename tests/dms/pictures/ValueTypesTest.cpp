// The pictures value types against hand-written texts: every child in the pictures
// namespace, the writing conditions of each field, and the reading rules.

#include "dms/pictures/DMPictureTypes.h"

#include "dms/pictures/DMPictureCoding.h"

#include "PicturesTestSupport.h"

using namespace picturetest;

namespace {

// An element "V" in the caller's namespace, the pictures namespace as the default.
std::string V(const std::string& inner) { return "<c:V xmlns:c=\"urn:caller\" xmlns=\"" PNS "\">" + inner + "</c:V>"; }

const std::string kFullProperties =
    V("<Id id=\"legacy-1\">obj-1</Id><Mimetype>image/jpeg</Mimetype><ModificationDate>2026-12-10T09:00:00Z"
      "</ModificationDate><Permissions><Read>true</Read><Write>false</Write><Erase>true</Erase></Permissions>"
      "<Rights><NameValuePair><Name>share</Name><Value>friends</Value></NameValuePair></Rights>"
      "<ParentId>folder-9</ParentId><Name>Beach &amp; sun</Name><Caption> at dusk </Caption>"
      "<Keywords>sea,,sand</Keywords><ChildrenCount>3</ChildrenCount>"
      "<Attributes><NameValuePair><Name>w</Name><Value>640</Value></NameValuePair>"
      "<NameValuePair><Name>h</Name><Value></Value></NameValuePair></Attributes>");

}  // namespace

TEST(PictureValues, PropertiesDecodeAndEncodeBackExactly) {
    DMPicture_PropertiesType p;
    EXPECT_EQ(RoundTrip(kFullProperties, p), "");
    EXPECT_EQ(p.mId.GetValue(), "obj-1");
    EXPECT_EQ(p.mId.GetID(), "legacy-1");
    EXPECT_TRUE(p.mPermissions.mRead);
    EXPECT_FALSE(p.mPermissions.mWrite);
    EXPECT_TRUE(p.mPermissions.mErase);
    EXPECT_EQ(p.mName, "Beach & sun");
    EXPECT_EQ(p.mCaption, " at dusk ");  // nothing trimmed
    EXPECT_EQ(p.mKeywords, (std::list<std::string>{"sea", "", "sand"}));
    EXPECT_EQ(p.mChildrenCount, 3);
    EXPECT_EQ(p.mRights, (DMPicture_NameValueList{{"share", "friends"}}));
    EXPECT_EQ(p.mAttributes, (DMPicture_NameValueList{{"w", "640"}, {"h", ""}}));

    // Read twice into the same value: the same value.
    Tree again = Parse(kFullProperties);
    p.FromElement(again.get());
    Tree out(p.ToElement("V", "urn:caller"));
    EXPECT_EQ(Diff(out.get(), kFullProperties), "");
}

// Rights is written even when empty, Attributes not; strings always written stay so.
TEST(PictureValues, PropertiesEmptyWritesRightsButNotAttributes) {
    DMPicture_PropertiesType p(nullptr);
    EXPECT_EQ(p.mChildrenCount, 0);
    Tree out(p.ToElement("V", "urn:caller"));
    EXPECT_EQ(Diff(out.get(), V("<Id/><Mimetype/><ModificationDate/><Permissions><Read>false</Read>"
                                "<Write>false</Write><Erase>false</Erase></Permissions><Rights/><ParentId/><Name/>")),
              "");
    const std::string text = Written(out.get());
    EXPECT_NE(text.find("xmlns=\"" PNS "\""), std::string::npos) << text;
    EXPECT_EQ(text.find("xmlns:"), text.find("xmlns:c=")) << "no prefix for the pictures namespace: " << text;

    p.mChildrenCount = -4;  // 0 or below: not written
    Tree negative(p.ToElement("V", "urn:caller"));
    EXPECT_EQ(negative->FindChild("ChildrenCount", 1), nullptr);
}

// ChildrenCount is read as atoi reads it; a number beyond 32 bits counts as none.
TEST(PictureValues, ChildrenCountAsAtoiReadsIt) {
    const struct {
        const char* text;
        int expected;
    } rows[] = {{"12abc", 12},
                {"  -7", -7},
                {"+5", 5},
                {"abc", 0},
                {"", 0},
                {"2147483647", 2147483647},
                {"-2147483648", -2147483648},
                {"2147483648", 0},
                {"99999999999", 0},
                {"+-5", 0},
                {"3.9", 3}};
    for (const auto& row : rows) {
        DMPicture_PropertiesType p;
        p.mChildrenCount = 77;
        Tree in = Parse(V(std::string("<ChildrenCount>") + row.text + "</ChildrenCount>"));
        p.FromElement(in.get());
        EXPECT_EQ(p.mChildrenCount, row.expected) << row.text;
    }
}

TEST(PictureValues, KeywordsJoinedAndSplit) {
    const struct {
        const char* text;
        std::list<std::string> keywords;
    } rows[] = {
        {"a", {"a"}},           {"a,b", {"a", "b"}}, {"a,,b", {"a", "", "b"}},
        {",a,", {"", "a", ""}}, {",", {"", ""}},     {" a , b ", {" a ", " b "}},
    };
    for (const auto& row : rows) {
        DMPicture_PropertiesType p;
        Tree in = Parse(V(std::string("<Keywords>") + row.text + "</Keywords>"));
        p.FromElement(in.get());
        EXPECT_EQ(p.mKeywords, row.keywords) << row.text;
        EXPECT_EQ(dmpictures::JoinKeywords(p.mKeywords), row.text);
    }
    // An empty text leaves the list as it was.
    DMPicture_PropertiesType p;
    p.mKeywords = {"kept"};
    Tree empty = Parse(V("<Keywords/>"));
    p.FromElement(empty.get());
    EXPECT_EQ(p.mKeywords, std::list<std::string>{"kept"});
    // One empty keyword writes an empty "Keywords" child, which reads back as nothing.
    p.mKeywords = {""};
    Tree out(p.ToElement("V", "urn:caller"));
    ASSERT_NE(out->FindChild("Keywords", 1), nullptr);
    EXPECT_EQ(out->FindChild("Keywords", 1)->text, "");
    DMPicture_PropertiesType back(out.get());
    EXPECT_TRUE(back.mKeywords.empty());
    // A keyword holding a comma comes back as two.
    p.mKeywords = {"a,b"};
    Tree comma(p.ToElement("V", "urn:caller"));
    EXPECT_EQ(DMPicture_PropertiesType(comma.get()).mKeywords, (std::list<std::string>{"a", "b"}));
}

TEST(PictureValues, PermissionsFlags) {
    const struct {
        const char* inner;
        bool read, write, erase;
    } rows[] = {
        {"<Read>true</Read><Write>True</Write><Erase>1</Erase>", true, false, false},
        {"<Delete>true</Delete>", false, false, true},
        {"<Erase>false</Erase><Delete>true</Delete>", false, false, false},  // "Erase" decides
        {"<Erase>true</Erase><Delete>false</Delete>", false, false, true},
        {"<Read>TRUE</Read><Write> true</Write>", false, false, false},
    };
    for (const auto& row : rows) {
        Tree in = Parse(V(row.inner));
        DMPicture_PermissionsType p(in.get());
        EXPECT_EQ(p.mRead, row.read) << row.inner;
        EXPECT_EQ(p.mWrite, row.write) << row.inner;
        EXPECT_EQ(p.mErase, row.erase) << row.inner;
    }
    // Absent children keep the flags; the Properties' Permissions is rebuilt (all false).
    DMPicture_PermissionsType kept;
    kept.mRead = kept.mWrite = kept.mErase = true;
    Tree none = Parse(V(""));
    kept.FromElement(none.get());
    EXPECT_TRUE(kept.mRead && kept.mWrite && kept.mErase);
    DMPicture_PropertiesType props;
    props.mPermissions = kept;
    Tree partial = Parse(V("<Permissions><Read>true</Read></Permissions>"));
    props.FromElement(partial.get());
    EXPECT_TRUE(props.mPermissions.mRead);
    EXPECT_FALSE(props.mPermissions.mWrite);
    EXPECT_FALSE(props.mPermissions.mErase);
}

// A pair child without "Name" or "Value" is skipped; any child name counts as a pair.
TEST(PictureValues, PairsWithoutValueSkipped) {
    Tree in =
        Parse(V("<Name>op</Name><Arguments><NameValuePair><Name>a</Name></NameValuePair>"
                "<X><Value>1</Value><Name>b</Name></X><NameValuePair><Value>2</Value></NameValuePair>"
                "</Arguments>"));
    DMPicture_OperationType op(in.get());
    EXPECT_EQ(op.mName, "op");
    EXPECT_EQ(op.mArguments, (DMPicture_NameValueList{{"b", "1"}}));
    Tree out(op.ToElement("V", "urn:caller"));
    EXPECT_EQ(Diff(out.get(), V("<Name>op</Name><Arguments><NameValuePair><Name>b</Name><Value>1</Value>"
                                "</NameValuePair></Arguments>")),
              "");
    // An empty wrapper empties the list; an empty operation writes nothing.
    Tree empty = Parse(V("<Arguments/>"));
    op.FromElement(empty.get());
    EXPECT_TRUE(op.mArguments.empty());
    DMPicture_OperationType blank;
    Tree none(blank.ToElement("V", "urn:caller"));
    EXPECT_TRUE(none->children.empty());
}

TEST(PictureValues, NameValuePairAndShareEvent) {
    DMPicture_NameValuePairType pair;
    EXPECT_EQ(RoundTrip(V("<Name>title</Name><Value/>"), pair), "");
    EXPECT_EQ(pair.mName, "title");

    // Items of "Addresses" and "ViewDates" are read whatever their names.
    DMPicture_ShareEventType event;
    EXPECT_EQ(RoundTrip(V("<AlbumName>Trip</AlbumName><Addresses><To>a@x</To><String>b@x</String></Addresses>"
                          "<Date>d1</Date><ViewDates><X>v1</X></ViewDates>"),
                        event,
                        V("<AlbumName>Trip</AlbumName><Addresses><String>a@x</String><String>b@x</String>"
                          "</Addresses><Date>d1</Date><ViewDates><String>v1</String></ViewDates>")),
              "");
    EXPECT_EQ(event.mAddresses, (std::list<std::string>{"a@x", "b@x"}));
    // An empty wrapper empties a value's list; a null element changes nothing.
    Tree empty = Parse(V("<Addresses/>"));
    event.FromElement(empty.get());
    EXPECT_TRUE(event.mAddresses.empty());
    event.FromElement(nullptr);
    EXPECT_EQ(event.mAlbumName, "Trip");
    DMPicture_ShareEventType blank;
    Tree none(blank.ToElement("V", "urn:caller"));
    EXPECT_TRUE(none->children.empty());
}
