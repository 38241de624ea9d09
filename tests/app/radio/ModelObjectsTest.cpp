// Stations, genres, tracks, station states, banners and images: copies, equality,
// descriptions, track details and the string bridges.

#include "app/foundation/ServiceLayerError.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/radio/ZYMRadioStationFormat.h"
#include "app/radio/ZYMRadioStationState.h"
#include "app/foundation/ZYMStringUtils.h"
#include "dms/radio3/DMRadio3Types.h"

#include "../foundation/AppTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

std::shared_ptr<ZYMRadioStationFormat> Format(const std::string& id) {
    DMRadio3_StationFormatType f;
    f.mMediaFormatId.mValue = id;
    f.mProgId.mValue = "p" + id;
    return std::make_shared<ZYMRadioStationFormat>(f);
}

DMRadio3_TrkInfoType Track(const std::string& type, std::int32_t duration, std::int32_t time = 0) {
    DMRadio3_TrkInfoType t;
    t.mType = type;
    t.mTrackTitle.mValue = "Title";
    t.mAlbumTitle.mValue = "Album";
    t.mArtistName.mValue = "Artist";
    t.mNext.mValue = "Next up";
    t.mDuration = duration;
    t.mTime = time;
    return t;
}

DMRadio3_StationStateType State(const std::string& stationId, std::vector<DMRadio3_TrkInfoType> tracks) {
    DMRadio3_StationStateType s;
    s.mStationId.mValue = stationId;
    s.mTracks = std::move(tracks);
    return s;
}

void ExpectNoTrackDetails(const ZYMRadioStationState& state) {
    EXPECT_FALSE(state.canGetTrackDetails());
    EXPECT_FALSE(state.currentTrackTitle());
    EXPECT_FALSE(state.currentTrackAlbumTitle());
    EXPECT_FALSE(state.currentTrackArtistName());
    EXPECT_EQ(state.currentTrackType(), 2);
    const std::vector<std::pair<const char*, std::function<void()>>> raising = {
        {"trackDetails", [&] { (void)state.trackDetails(); }},
        {"comingNext", [&] { (void)state.comingNext(); }},
        {"trackDuration", [&] { (void)state.trackDuration(); }},
        {"trackTime", [&] { (void)state.trackTime(); }},
    };
    for (const auto& [what, call] : raising) {
        try {
            call();
            ADD_FAILURE() << what << " did not raise";
        } catch (const ServiceLayerError& e) {
            EXPECT_EQ(e.name(), "Implementation Error") << what;
            EXPECT_STREQ(e.what(), "Can't get track details") << what;
        }
    }
}

}  // namespace

TEST(StringBridges, Utf8OrNothing) {
    EXPECT_EQ(stringWith_stdstring("\xC3\x86r\xC3\xB8 Caf\xC3\xA9"), QString::fromUtf8("Ærø Café"));
    EXPECT_EQ(stringWith_stdstring(""), QString());
    EXPECT_FALSE(stringWith_stdstring("Caf\xE9"));                               // Latin-1, not UTF-8
    EXPECT_FALSE(stringWith_stdstring("\xC3"));                                  // cut short
    EXPECT_EQ(stringWith_stdstring(std::string("ab\0\xFF", 4)), QString("ab"));  // a C string ends at NUL
    DMSIF_LocStringType loc;
    loc.mValue = "Jazz";
    loc.mLanguage = "de";
    loc.mID = "7";
    EXPECT_EQ(stringWith_LocString(loc), QString("Jazz"));
    EXPECT_EQ(textWith_stdstring("\xFF"), QString());
}

TEST(RadioStation, StationTypeFromText) {
    const std::vector<std::pair<QString, int>> rows = {
        {"zym", 0},  {"Zym", 0}, {"ZYM", 0},  {"live", 1},  {"LIVE", 1},  {"user", 2},
        {"uSeR", 2}, {"", 3},    {"zymx", 3}, {" live", 3}, {"other", 3},
    };
    for (const auto& [text, type] : rows) {
        auto s = ZYMRadioStation::create("n", "1");
        s->setStationType(1);
        s->setStationTypeWithString(text);
        EXPECT_EQ(s->stationType(), type) << text.toStdString();
    }
}

TEST(RadioStation, FreshStationAndGenreIdentifiers) {
    auto s = ZYMRadioStation::create("Name", "42");
    EXPECT_TRUE(s->genreIDs().isEmpty());
    EXPECT_TRUE(s->unfilteredGenreIDs().isEmpty());
    EXPECT_EQ(s->stationType(), 3);
    EXPECT_FALSE(s->stationDescription());
    EXPECT_FALSE(s->url());
    EXPECT_FALSE(s->albumArtBaseURL());
    EXPECT_FALSE(s->playMode());
    EXPECT_EQ(s->formats(), nullptr);
    ASSERT_TRUE(s->banners() && s->images());
    EXPECT_TRUE(s->banners()->empty());
    EXPECT_TRUE(s->images()->empty());
    EXPECT_FALSE(s->stationInfoPending());
    EXPECT_FALSE(s->haveStationInfo());

    s->addGenreID("g1");
    s->addGenreID("g1");
    s->addUnfilteredGenreID("g1");
    s->addUnfilteredGenreID("g1");
    EXPECT_EQ(s->genreIDs(), QStringList{"g1"});
    EXPECT_EQ(s->unfilteredGenreIDs(), QStringList{"g1"});

    s->setGenreIDs({"a", "b", "a"});
    s->removeGenreID("a");
    EXPECT_EQ(s->genreIDs(), QStringList{"b"});

    auto withIds = ZYMRadioStation::create("Name", "43", {"x", "y"});
    EXPECT_EQ(withIds->genreIDs(), (QStringList{"x", "y"}));

    s->setHaveStationInfo();
    s->setHaveStationInfo();
    EXPECT_TRUE(s->haveStationInfo());
    s->setBanners(nullptr);  // the lists are never absent
    ASSERT_TRUE(s->banners());
    EXPECT_TRUE(s->banners()->empty());
}

TEST(RadioStation, EqualityByIdentifierAndClass) {
    auto a = ZYMRadioStation::create("One", "7");
    auto b = ZYMRadioStation::create("Other name", "7");
    auto c = ZYMRadioStation::create("One", "8");
    auto genre = ZYMRadioGenre::create("One", "d", "7");
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_TRUE(b->isEqual(*a));
    EXPECT_FALSE(a->isEqual(*c));
    EXPECT_FALSE(a->isEqual(*genre));
    EXPECT_FALSE(genre->isEqual(*a));
    EXPECT_TRUE(genre->isEqual(*ZYMRadioGenre::create("x", "y", "7")));
    EXPECT_FALSE(genre->isEqual(*ZYMRadioGenre::create("One", "d", "8")));
}

TEST(RadioStation, CopyDropsUrlAndFlagsAndSharesLists) {
    auto s = ZYMRadioStation::create("Name", "42", {"g1", "g2"});
    s->setUnfilteredGenreIDs({"g1", "g2", "g3"});
    s->setStationDescription(QString("Desc"));
    s->setUrl(QString("http://example.invalid/stream"));
    s->setAlbumArtBaseURL(QString("http://art.invalid/"));
    s->setPlayMode(QString("stream"));
    s->setStationType(1);
    s->setFormats(std::make_shared<const ZYMRadioStationFormat::List>(ZYMRadioStationFormat::List{Format("f1")}));
    s->setBanners(std::make_shared<const ZYMRadioStationBanners::element_type>(
        ZYMRadioStationBanners::element_type{ZYMRadioStationBanner::withFlavor("b", "f", "1")}));
    s->setImages(std::make_shared<const ZYMRadioStationImages::element_type>(
        ZYMRadioStationImages::element_type{std::make_shared<ZYMRadioStationImage>(QString("http://i.invalid/1"))}));
    s->setStationInfoPending(true);
    s->setHaveStationInfo();

    const auto copy = s->clone();
    EXPECT_NE(copy.get(), s.get());
    EXPECT_TRUE(copy->isEqual(*s));
    EXPECT_FALSE(copy->url());
    EXPECT_FALSE(copy->haveStationInfo());
    EXPECT_FALSE(copy->stationInfoPending());
    EXPECT_EQ(copy->formats(), s->formats());
    EXPECT_EQ(copy->banners(), s->banners());
    EXPECT_EQ(copy->images(), s->images());
    EXPECT_EQ(copy->name(), "Name");
    EXPECT_EQ(copy->stationDescription(), QString("Desc"));
    EXPECT_EQ(copy->albumArtBaseURL(), QString("http://art.invalid/"));
    EXPECT_EQ(copy->playMode(), QString("stream"));
    EXPECT_EQ(copy->stationType(), 1);
    EXPECT_EQ(copy->genreIDs(), (QStringList{"g1", "g2"}));
    EXPECT_EQ(copy->unfilteredGenreIDs(), (QStringList{"g1", "g2", "g3"}));

    // the genre identifier lists are the copy's own
    copy->addGenreID("g9");
    EXPECT_EQ(s->genreIDs(), (QStringList{"g1", "g2"}));
}

TEST(RadioGenre, StationsCopiesAndDescription) {
    auto g = ZYMRadioGenre::create("Jazz", "Smooth", "g7");
    auto s1 = ZYMRadioStation::create("A", "1");
    g->addStation(s1);
    g->addStation(ZYMRadioStation::create("A again", "1"));
    g->addStation(ZYMRadioStation::create("B", "2"));
    g->addUnfilteredStation(s1);
    g->addUnfilteredStation(s1->clone());
    ASSERT_EQ(g->radioStations().size(), 2u);
    EXPECT_EQ(g->radioStations()[0], s1);
    EXPECT_EQ(g->unfilteredRadioStations().size(), 1u);

    g->setRadioStations({s1, ZYMRadioStation::create("B", "2"), s1->clone()});
    g->removeStation(*ZYMRadioStation::create("x", "1"));
    ASSERT_EQ(g->radioStations().size(), 1u);
    EXPECT_EQ(g->radioStations()[0]->stationID(), "2");
    EXPECT_EQ(g->unfilteredRadioStations().size(), 1u);

    const auto copy = g->clone();
    EXPECT_TRUE(copy->radioStations().empty());
    EXPECT_TRUE(copy->unfilteredRadioStations().empty());
    EXPECT_EQ(copy->name(), "Jazz");
    EXPECT_EQ(copy->genreDescription(), "Smooth");
    EXPECT_TRUE(copy->isEqual(*g));
}

TEST(ModelDescriptions, Texts) {
    EXPECT_EQ(ZYMRadioStation::create("Radio Ærø", "st:12")->description(),
              QString::fromUtf8("ZYMRadioStation st:12 Radio Ærø"));
    EXPECT_EQ(ZYMRadioGenre::create("Jazz", "d", "g7")->description(), "ZYMRadioGenre g7 Jazz");
    const ZYMRadioTrack track("Song", "Artist", "Album");
    EXPECT_EQ(track.description(), "ZYMRadioTrack Song Artist Album");
    const ZYMRadioTrack copy = track;
    EXPECT_EQ(copy.artistName(), "Artist");
    EXPECT_EQ(copy.albumName(), "Album");
}

TEST(RadioStationState, WithoutTrackDetails) {
    {
        SCOPED_TRACE("made with init, then given an identifier");
        ZYMRadioStationState state;
        EXPECT_FALSE(state.stationID());
        state.setStationID(QString("st:5"));
        EXPECT_EQ(state.stationID(), QString("st:5"));
        ExpectNoTrackDetails(state);
    }
    {
        SCOPED_TRACE("a directory state with no tracks");
        ZYMRadioStationState state(State("st:6", {}));
        EXPECT_EQ(state.stationID(), QString("st:6"));
        ExpectNoTrackDetails(state);
        state.setStationID(QString("st:7"));
        EXPECT_EQ(state.stationID(), QString("st:7"));
    }
}

TEST(RadioStationState, TrackDetailsFromTheFirstTrack) {
    DMRadio3_StationStateType value = State("st:1", {Track("song", 215000, 1500), Track("promo", 10)});
    ZYMRadioStationState state(value);
    value.mTracks.clear();  // the state keeps its own copy
    ASSERT_TRUE(state.canGetTrackDetails());
    EXPECT_EQ(state.currentTrackTitle(), QString("Title"));
    EXPECT_EQ(state.currentTrackAlbumTitle(), QString("Album"));
    EXPECT_EQ(state.currentTrackArtistName(), QString("Artist"));
    EXPECT_EQ(state.comingNext(), "Next up");
    EXPECT_EQ(state.trackDuration(), 215.0);
    EXPECT_EQ(state.trackTime(), 1.5);
    EXPECT_EQ(state.currentTrackType(), 0);
    EXPECT_EQ(state.trackDetails().mDuration, 215000);
}

TEST(RadioStationState, DurationsAndTypes) {
    const std::vector<std::pair<std::int32_t, double>> durations = {
        {1500, 1.5}, {-1, -1.0}, {-2, -0.002}, {0, 0.0}, {1, 0.001}, {2147483647, 2147483.647},
    };
    for (const auto& [ms, seconds] : durations) {
        ZYMRadioStationState state(State("s", {Track("song", ms, ms)}));
        EXPECT_DOUBLE_EQ(state.trackDuration(), seconds) << ms;
        EXPECT_DOUBLE_EQ(state.trackTime(), seconds) << ms;
    }
    EXPECT_EQ(ZYMRadioStationState(State("s", {Track("song", -1)})).trackDuration(), -1.0);  // exactly

    const std::vector<std::pair<std::string, int>> types = {
        {"song", 0}, {"promo", 1}, {"Song", 2}, {"PROMO", 2}, {"", 2}, {"song ", 2}, {"ad", 2},
    };
    for (const auto& [type, expected] : types)
        EXPECT_EQ(ZYMRadioStationState(State("s", {Track(type, 0)})).currentTrackType(), expected) << type;
}

TEST(RadioStationBanner, MadeThreeWays) {
    DMRadio3_BannerType b;
    b.mBannerId = "b1";
    b.mFlavorId = "fl";
    b.mMagicNumber = "4711";
    b.mWidth = 468;
    b.mHeight = 60;
    b.mUrl = "http://click.invalid/";
    b.mImage.mUrl = "http://img.invalid/ad.png";
    const ZYMRadioStationBanner fromInfo(b);
    EXPECT_EQ(fromInfo.bannerId(), "b1");
    EXPECT_EQ(fromInfo.flavorId(), "fl");
    EXPECT_EQ(fromInfo.magicNumber(), "4711");
    EXPECT_TRUE(fromInfo.imageURL().isEmpty());
    EXPECT_EQ(fromInfo.size(), (ZYMSize{468.0f, 60.0f}));
    EXPECT_EQ(fromInfo.description(), "id = b1, flavor = fl, magicNumber = 4711, imageURL = , size = {468, 60}");

    const auto byFlavor = ZYMRadioStationBanner::withFlavor("b2", "f2", "9");
    EXPECT_EQ(byFlavor->description(), "id = b2, flavor = f2, magicNumber = 9, imageURL = , size = {0, 0}");
    const auto byImage = ZYMRadioStationBanner::withImageURL("b3", "http://img.invalid/x.gif", "10");
    EXPECT_EQ(byImage->description(),
              "id = b3, flavor = , magicNumber = 10, imageURL = http://img.invalid/x.gif, size = {0, 0}");

    const ZYMRadioStationBanner empty{DMRadio3_BannerType()};
    EXPECT_EQ(empty.description(), "id = , flavor = , magicNumber = , imageURL = , size = {0, 0}");
}

TEST(RadioStationImage, FromDirectoryAndFromUrl) {
    DMRadio3_ImageType i;
    i.mUrl = "http://img.invalid/logo.png";
    i.mType = "logo";
    i.mWidth = 120;
    i.mHeight = 90;
    i.mColorDepth = 24;
    const ZYMRadioStationImage image(i);
    EXPECT_EQ(image.url(), "http://img.invalid/logo.png");
    EXPECT_EQ(image.type(), "logo");
    EXPECT_EQ(image.width(), 120);
    EXPECT_EQ(image.height(), 90);
    EXPECT_EQ(image.colorDepth(), 24);

    const ZYMRadioStationImage byUrl(QString("http://img.invalid/a.jpg"));
    EXPECT_EQ(byUrl.url(), "http://img.invalid/a.jpg");
    EXPECT_TRUE(byUrl.type().isEmpty());
    EXPECT_EQ(byUrl.width() + byUrl.height() + byUrl.colorDepth(), 0);
}
