// What the radio service object keeps of the directory: timeStamps sent back as
// changedSince, merged lists, and the items of the user's data cache, over loopback.

#include <algorithm>

#include "Radio3TestSupport.h"
#include "ServiceSupport.h"

using namespace radio3test;

namespace {

std::vector<DMSIF_IDType> Ids(std::initializer_list<const char*> values) {
    std::vector<DMSIF_IDType> ids;
    for (const char* v : values)
        ids.emplace_back(v, "");
    return ids;
}

std::vector<std::string> StationIds(DMRadio3Service& s) {
    std::vector<DMRadio3_StationType> stations;
    s.LoadStationsFromCache(stations);
    std::vector<std::string> ids;
    for (const auto& st : stations)
        ids.push_back(st.mStationId.GetValue());
    return ids;
}

std::vector<std::string> CategoryIds(DMRadio3Service& s) {
    std::vector<DMRadio3_CategoryType> categories;
    s.LoadCategoriesFromCache(categories);
    std::vector<std::string> ids;
    for (const auto& c : categories)
        ids.push_back(c.mCategoryId.GetValue());
    return ids;
}

long IndexOf(const std::vector<std::string>& v, const std::string& x) {
    return std::find(v.begin(), v.end(), x) - v.begin();
}

// A cache item's text, parsed as the cache reads it back.
Owned Item(const std::string& text) { return Owned(Element::CreateFromString(text, {}, true)); }

// The element a value writes, as it reads once written out and parsed again.
template <typename T>
std::string Expected(T& value, const char* name) {
    Owned element(value.ToElement(name, kNS));
    return Dump(ThroughText(element.get()).get());
}

// "%Y-%m-%dT%H:%M:%SZ"
bool LooksLikeUTCTime(const std::string& t) {
    const std::string shape = "dddd-dd-ddTdd:dd:ddZ";
    if (t.size() != shape.size()) return false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(t[i])) : t[i] != shape[i]) return false;
    }
    return true;
}

class DirectoryTest : public DirectoryFixture {
protected:
    std::string ChangedSince(std::size_t i) {
        const auto calls = Calls();
        if (i >= calls.size()) return "<no call>";
        const QJsonValue v = calls[i]["changedSince"];
        return v.isNull() ? "<none>" : v.toString().toStdString();
    }
    void Call(Recorder& r, const std::function<DMServiceRequestToken*()>& send) {
        const std::size_t before = r.Results();
        ASSERT_NE(send(), nullptr);
        WaitFor(r, before + 1);
    }
};

}  // namespace

TEST_F(DirectoryTest, TimeStampsComeBackAsChangedSince) {
    Directory(
        {{"methods", QJsonObject{{"ListCategories", QJsonArray{QJsonObject{{"timestamp", "2026-12-03T01:00:00Z"}},
                                                               QJsonObject{{"timestamp", "2026-12-03T02:00:00Z"}}}},
                                 {"GetPresets", QJsonObject{{"timestamp", ""}}}}}});
    Recorder r;
    DMRadio3Service* service = SignOn(&r);
    ASSERT_NE(service, nullptr);
    Call(r, [&] { return service->ListCategories(); });
    Call(r, [&] { return service->ListCategories(); });
    Call(r, [&] { return service->ListCategories(); });
    EXPECT_EQ(ChangedSince(0), "<none>");
    EXPECT_EQ(ChangedSince(1), "2026-12-03T01:00:00Z");
    EXPECT_EQ(ChangedSince(2), "2026-12-03T02:00:00Z");

    // A GetPresets answer without timeStamp empties the presets timeStamp.
    Call(r, [&] { return service->GetPresets({}, ""); });
    EXPECT_EQ(r.Last().event, "GetPresets ok");
    EXPECT_EQ(service->GetPresetsTimeStamp(), "");
    Call(r, [&] { return service->SetPresets(Ids({"radio:aggregate:99"})); });
    EXPECT_EQ(ChangedSince(4), "<none>");
    EXPECT_EQ(r.Last().event, "SetPresets failed");  // the server's presets carry a timeStamp
    EXPECT_EQ(r.Last().status, "OutOfDate");

    // A fresh object for the user starts from the cache's timeStamp.
    Call(r, [&] { return service->ListStations(false); });
    DMRadio3Service* second = SignOn(&r);
    ASSERT_NE(second, nullptr);
    EXPECT_GE(StationIds(*second).size(), 45u);
    Call(r, [&] { return second->ListStations(false); });
    EXPECT_EQ(ChangedSince(6), "2026-12-01T08:00:00Z");
    // Categories too, without a read first: the request restores them.
    Call(r, [&] { return second->ListCategories(); });
    EXPECT_EQ(ChangedSince(7), "2026-12-03T02:00:00Z");
}

TEST_F(DirectoryTest, ListsMergeByIdInByteOrder) {
    Directory({{"methods",
                QJsonObject{{"ListStations",
                             QJsonArray{QJsonObject{},
                                        QJsonObject{{"omit_numbers", QJsonArray{"1", "2", "3", "4", "5", "99"}},
                                                    {"timestamp", "2026-12-04T00:00:00Z"}},
                                        QJsonObject{{"empty_list", true}, {"timestamp", "2026-12-05T00:00:00Z"}}}}}}});
    Recorder r;
    DMRadio3Service* service = SignOn(&r);
    ASSERT_NE(service, nullptr);

    Call(r, [&] { return service->ListCategories(); });
    EXPECT_EQ(CategoryIds(*service), (std::vector<std::string>{"1", "2", "10"}));  // the server's order
    Call(r, [&] { return service->ListCategories(); });
    EXPECT_EQ(CategoryIds(*service), (std::vector<std::string>{"1", "10", "2"}));  // byte order

    Call(r, [&] { return service->ListStations(false); });
    auto ids = StationIds(*service);
    ASSERT_EQ(ids.size(), 45u);
    EXPECT_EQ(ids[0], "radio:aggregate:12345");
    EXPECT_EQ(ids[2], "radio:aggregate:99");
    EXPECT_FALSE(std::is_sorted(ids.begin(), ids.end()));

    Call(r, [&] { return service->ListStations(false); });
    ids = StationIds(*service);
    EXPECT_EQ(ids.size(), 45u);  // unmentioned stations stay
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_LT(IndexOf(ids, "radio:aggregate:100"), IndexOf(ids, "radio:aggregate:99"));
    EXPECT_EQ(service->GetStationsTimeStamp(), "2026-12-04T00:00:00Z");

    // An empty list with a new timeStamp: only the timeStamp moves; the cache keeps its own.
    Call(r, [&] { return service->ListStations(false); });
    EXPECT_EQ(r.Last().event, "ListStations ok");
    EXPECT_EQ(StationIds(*service), ids);
    EXPECT_EQ(service->GetStationsTimeStamp(), "2026-12-05T00:00:00Z");
    Owned cached = Item(cache_.Of("doraradio")["Stations"]);
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(DMRadio3_ListStations_OutputType(cached.get()).mTimeStamp, "2026-12-04T00:00:00Z");
}

TEST_F(DirectoryTest, CacheItemsHoldTheDirectory) {
    Recorder r;
    DMRadio3Service* service = SignOn(&r);
    ASSERT_NE(service, nullptr);
    auto& items = cache_.Of("doraradio");
    EXPECT_EQ(items["service_url_cache_item_key"], server_->Url(prefix_) + "svc");
    EXPECT_EQ(service->GetLoadDate(), "");

    Call(r, [&] { return service->ListCategories(); });
    Call(r, [&] { return service->ListStations(false); });
    Call(r, [&] { return service->GetStationInfo(Ids({"radio:aggregate:12345", "radio:aggregate:5"})); });
    Call(r, [&] { return service->GetMediaFormatInfo(Ids({"mf128", "multi"})); });
    EXPECT_TRUE(LooksLikeUTCTime(service->GetLoadDate())) << service->GetLoadDate();

    std::vector<DMRadio3_CategoryType> categories;
    service->LoadCategoriesFromCache(categories);
    DMRadio3_ListCategories_OutputType expectedCategories(DMSIF_StatusType(), "2026-12-01T08:00:00Z", 0, 0, categories);
    expectedCategories.status.code = "OK";
    expectedCategories.status.comment = "answer 1";
    EXPECT_EQ(Dump(Item(items["Categories"]).get()), Expected(expectedCategories, "ListCategoriesResponse"));

    std::vector<DMRadio3_StationType> stations;
    service->LoadStationsFromCache(stations);
    DMRadio3_ListStations_OutputType expectedStations(expectedCategories.status, "2026-12-01T08:00:00Z", 0, 0,
                                                      stations);
    EXPECT_EQ(Dump(Item(items["Stations"]).get()), Expected(expectedStations, "ListStationsResponse"));

    ASSERT_EQ(r.infos.size(), 2u);
    EXPECT_EQ(Dump(Item(items["StationInfo_radio:aggregate:12345"]).get()), Expected(r.infos[0], "Station"));
    EXPECT_EQ(Dump(Item(items["StationInfo_radio:aggregate:5"]).get()), Expected(r.infos[1], "Station"));
    ASSERT_EQ(r.formats.size(), 2u);
    EXPECT_EQ(Dump(Item(items["MediaFormat_multi"]).get()), Expected(r.formats[1], "Format"));
    EXPECT_EQ(r.formats[1].mChannels.size(), 2u);

    // A second object for the user reads what the first cached.
    DMRadio3Service* second = SignOn(&r);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(CategoryIds(*second), CategoryIds(*service));
    EXPECT_EQ(StationIds(*second), StationIds(*service));
    DMRadio3_StationInfoType info;
    ASSERT_TRUE(second->GetStationInfoFromCache("radio:aggregate:5", info));
    EXPECT_EQ(Expected(info, "Station"), Expected(r.infos[1], "Station"));
    DMRadio3_MediaFormatType format;
    ASSERT_TRUE(second->GetMediaFormatFromCache("multi", format));
    EXPECT_EQ(format.mChannels.size(), 2u);
    // Neither held nor cached: false, and the out value is left alone.
    info.mType = "untouched";
    EXPECT_FALSE(second->GetStationInfoFromCache("radio:aggregate:4242", info));
    EXPECT_EQ(info.mType, "untouched");
    EXPECT_FALSE(second->GetMediaFormatFromCache("mf999", format));
}

TEST_F(DirectoryTest, ANewStationListRemovesOnlyThisRunsDescriptions) {
    Recorder r;
    DMRadio3Service* first = SignOn(&r);
    ASSERT_NE(first, nullptr);
    Call(r, [&] { return first->GetStationInfo(Ids({"radio:aggregate:1", "radio:aggregate:2"})); });
    Call(r, [&] { return first->GetMediaFormatInfo(Ids({"mf128", "mf64"})); });
    services_.clear();

    DMRadio3Service* second = SignOn(&r);
    ASSERT_NE(second, nullptr);
    DMRadio3_StationInfoType info;
    ASSERT_TRUE(second->GetStationInfoFromCache("radio:aggregate:1", info));  // touched in this run
    Call(r, [&] { return second->GetStationInfo(Ids({"radio:aggregate:3"})); });
    Call(r, [&] { return second->GetMediaFormatInfo(Ids({"vlb48"})); });
    Call(r, [&] { return second->ListStations(false); });
    auto& items = cache_.Of("doraradio");
    EXPECT_EQ(items.count("StationInfo_radio:aggregate:1"), 0u);
    EXPECT_EQ(items.count("StationInfo_radio:aggregate:3"), 0u);
    EXPECT_EQ(items.count("MediaFormat_vlb48"), 0u);
    EXPECT_EQ(items.count("StationInfo_radio:aggregate:2"), 1u);  // from an earlier run, untouched
    EXPECT_EQ(items.count("MediaFormat_mf128"), 1u);
    EXPECT_EQ(items.count("MediaFormat_mf64"), 1u);
    EXPECT_FALSE(second->GetStationInfoFromCache("radio:aggregate:3", info));
    EXPECT_TRUE(second->GetStationInfoFromCache("radio:aggregate:2", info));
}

TEST_F(DirectoryTest, AnItemThatIsNotXmlCountsAsMissing) {
    auto& items = cache_.Of("doraradio");
    Recorder r;
    DMRadio3Service* service = SignOn(&r);
    ASSERT_NE(service, nullptr);
    for (const char* key : {"Categories", "Stations", "StationInfo_radio:aggregate:9", "MediaFormat_mf64"}) {
        items[key] = "<ListStationsResponse><Station";
    }
    std::vector<DMRadio3_StationType> stations;
    std::vector<DMRadio3_CategoryType> categories;
    DMRadio3_StationInfoType info;
    DMRadio3_MediaFormatType format;
    EXPECT_NO_THROW({
        service->LoadStationsFromCache(stations);
        service->LoadCategoriesFromCache(categories);
        EXPECT_FALSE(service->GetStationInfoFromCache("radio:aggregate:9", info));
        EXPECT_FALSE(service->GetMediaFormatFromCache("mf64", format));
    });
    EXPECT_TRUE(stations.empty());
    EXPECT_TRUE(categories.empty());
    for (const char* key : {"Categories", "Stations", "StationInfo_radio:aggregate:9", "MediaFormat_mf64"}) {
        EXPECT_EQ(items.count(key), 0u) << key;
    }
    // The next request starts afresh and the answer fills the item again.
    items["Stations"] = "not xml at all";
    Call(r, [&] { return service->ListStations(false); });
    EXPECT_EQ(ChangedSince(0), "<none>");
    EXPECT_GE(StationIds(*service).size(), 45u);
    EXPECT_NE(Item(items["Stations"]), nullptr);
}
