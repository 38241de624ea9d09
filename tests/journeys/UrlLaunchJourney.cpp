// A start by a station URL (the desktop's URL handler) with play at launch on: the URL's
// station is the one that plays, and no other is asked for.

#include "Journey.h"

namespace journey {
namespace {

class UrlLaunch : public JourneyTest {};

TEST_F(UrlLaunch, PlaysOnlyTheURLsStation) {
    newProfile(listeningSettings(QStringLiteral("radio:aggregate:9")));
    storePassword();
    launch({QStringLiteral("zymradio:playstation?name=Station%2017")});
    ASSERT_TRUE(waitPlaying(QStringLiteral("radio:aggregate:17"))) << "the URL's station did not play";
    EXPECT_TRUE(waitUntil([&] { return streamRequests("17,") >= 1; }, 30s)) << "no stream of station 17 asked";
    screenshot(QStringLiteral("playing"));
    EXPECT_EQ(urlRequests("9,"), 0) << "the last station was started first (its URL asked)";
    EXPECT_EQ(streamRequests("9,"), 0) << "the last station was started first (its stream asked)";
    EXPECT_EQ(playingStation().id.toStdString(), "radio:aggregate:17");
}

}  // namespace
}  // namespace journey
