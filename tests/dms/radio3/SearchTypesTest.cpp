#include <gtest/gtest.h>

#include "Radio3TestSupport.h"
#include "dms/radio3/DMRadio3Types.h"

namespace {

using namespace radio3test;

const std::string kOuter = "urn:test:outer";

TEST(Radio3Search, TermGoldenAndForms) {
    Owned g = Golden("term");
    DMRadio3_SearchTermType term(g.get());
    EXPECT_EQ(term.mBoolOp, "and");
    EXPECT_EQ(term.mName, "playMode");
    EXPECT_EQ(term.mRelOp, "eq");
    EXPECT_EQ(term.mValue, "full");
    ExpectMatchesGolden(Encode(term, "Term").get(), "term");

    // Empty name and relop are still written; an empty boolop is not.
    DMRadio3_SearchTermType bare("", "", "", "");
    Owned e(bare.ToElement("Term", kNS));
    ASSERT_EQ(e->attributes.size(), 2u);
    EXPECT_EQ(e->attributes.front()->name, "name");
    EXPECT_EQ(e->attributes.front()->value, "");
    EXPECT_EQ(e->attributes.front()->namespaceURI, kNS);
    EXPECT_EQ(e->attributes.back()->name, "relop");

    // An element without text empties the value; absent attributes keep theirs.
    DMRadio3_SearchTermType kept("or", "n", "eq", "old");
    Owned noText = Parse("<Term relop=\"ne\"/>");
    kept.FromElement(noText.get());
    EXPECT_EQ(kept.mValue, "");
    EXPECT_EQ(kept.mRelOp, "ne");
    EXPECT_EQ(kept.mName, "n");
    EXPECT_EQ(kept.mBoolOp, "or");
}

TEST(Radio3Search, NestedDirectiveGolden) {
    Owned g = Golden("searchdirective");
    DMRadio3_SearchDirectiveType d(g.get());
    EXPECT_EQ(d.mBoolOp, "or");
    ASSERT_EQ(d.mEntries.size(), 2u);
    EXPECT_STREQ(d.mEntries[0].GetTag(), "term");
    ASSERT_NE(d.mEntries[0].GetTerm(), nullptr);
    EXPECT_EQ(d.mEntries[0].GetDirective(), nullptr);
    EXPECT_EQ(d.mEntries[0].GetTerm()->mValue, "full");
    EXPECT_STREQ(d.mEntries[1].GetTag(), "searchdirective");
    const DMRadio3_SearchDirectiveType* nested = d.mEntries[1].GetDirective();
    ASSERT_NE(nested, nullptr);
    EXPECT_EQ(nested->mBoolOp, "and");
    ASSERT_EQ(nested->mEntries.size(), 2u);
    EXPECT_EQ(nested->mEntries[0].GetTerm()->mName, "");  // empty name and relop kept
    EXPECT_EQ(nested->mEntries[1].GetTerm()->mBoolOp, "and");

    // Elements in the namespace given to the outermost call, attributes in the radio one.
    Owned out(d.ToElement("SearchDirective", kOuter));
    ExpectMatchesGolden(out.get(), "searchdirective");
    const DMSOAPElementType* inner = out->FindChild("SearchDirective", 1);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->namespaceURI, kOuter);
    EXPECT_EQ(inner->FindChild("Term", 1)->namespaceURI, kOuter);
    EXPECT_EQ(inner->FindChild("Term", 1)->FindAttribute("relop")->namespaceURI, kNS);
    EXPECT_EQ(inner->FindAttribute("boolop")->namespaceURI, kNS);
}

TEST(Radio3Search, EntriesAreOwnedAndCopiedDeep) {
    DMRadio3_SearchDirectiveType inner;
    inner.mBoolOp = "and";
    inner.mEntries.emplace_back(DMRadio3_SearchTermType("", "codec", "eq", "MP3"));

    DMRadio3_SearchDirectiveType outer;
    DMRadio3_SearchEntries given;
    given.emplace_back(DMRadio3_SearchTermType("", "playMode", "eq", "full"));
    given.emplace_back(inner);
    outer.SetEntries(given);
    // The caller's entries stay its own.
    given[0].GetTerm()->mValue = "changed";
    inner.mEntries.clear();
    ASSERT_EQ(outer.mEntries.size(), 2u);
    EXPECT_EQ(outer.mEntries[0].GetTerm()->mValue, "full");
    EXPECT_EQ(outer.mEntries[1].GetDirective()->mEntries.size(), 1u);

    DMRadio3_SearchDirectiveType copy(outer);
    DMRadio3_SearchDirectiveType assigned;
    assigned = outer;
    outer.mEntries[1].GetDirective()->mEntries[0].GetTerm()->mValue = "VLB";
    EXPECT_EQ(copy.mEntries[1].GetDirective()->mEntries[0].GetTerm()->mValue, "MP3");
    EXPECT_EQ(assigned.mEntries[1].GetDirective()->mEntries[0].GetTerm()->mValue, "MP3");
    EXPECT_NE(copy.mEntries[0].GetTerm(), outer.mEntries[0].GetTerm());

    const DMRadio3_SearchDirectiveType& self = assigned;
    assigned = self;  // self-assignment keeps the entries
    EXPECT_EQ(assigned.mEntries.size(), 2u);
    assigned.SetEntries(assigned.mEntries);
    EXPECT_EQ(assigned.mEntries.size(), 2u);

    outer.ClearEntries();
    EXPECT_TRUE(outer.mEntries.empty());
    EXPECT_FALSE(outer.HasEntries());
    Owned empty(outer.ToElement("SearchDirective", kNS));
    EXPECT_TRUE(empty->children.empty());
}

TEST(Radio3Search, DecodingReplacesOrKeepsEntries) {
    DMRadio3_SearchDirectiveType d;
    d.mEntries.emplace_back(DMRadio3_SearchTermType("", "a", "eq", "1"));
    Owned noChildren = Parse("<SearchDirective boolop=\"and\"/>");
    d.FromElement(noChildren.get());
    EXPECT_EQ(d.mEntries.size(), 1u);  // kept
    EXPECT_EQ(d.mBoolOp, "and");
    Owned others = Parse("<SearchDirective><term/><Other/></SearchDirective>");
    d.FromElement(others.get());
    EXPECT_TRUE(d.mEntries.empty());  // children, none of ours: no entries
    EXPECT_EQ(d.mBoolOp, "and");
}

TEST(Radio3Search, MovedFromEntryWritesNothing) {
    DMRadio3_SearchDirectiveType d;
    d.mEntries.emplace_back(DMRadio3_SearchTermType("", "a", "eq", "1"));
    DMRadio3_SearchEntry taken(std::move(d.mEntries[0]));
    EXPECT_STREQ(d.mEntries[0].GetTag(), "");
    EXPECT_FALSE(d.HasEntries());
    Owned e(d.ToElement("SearchDirective", kNS));
    EXPECT_TRUE(e->children.empty());
    DMRadio3_SearchDirectiveType copy(d);
    EXPECT_FALSE(copy.HasEntries());
    EXPECT_STREQ(taken.GetTag(), "term");
}

}  // namespace
