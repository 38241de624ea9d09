// Stream formats: media formats and channels, the priority order a station's formats are
// tried in, and the codec tables behind it.

#include "app/foundation/PropertyList.h"
#include "app/foundation/Resources.h"
#include "app/radio/ZYMCodecRanking.h"
#include "app/radio/ZYMRadioStationFormat.h"
#include "app/radio/ZYMRadioStationState.h"
#include "dms/radio3/DMRadio3Types.h"
#include "runtime/LogMessage.h"

#include "../foundation/AppTestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

namespace {

struct Ch {
    std::string codec;
    std::int32_t bitRate;
};

DMRadio3_MediaFormatChannelType Channel(const Ch& c) {
    DMRadio3_MediaFormatChannelType ch;
    ch.mCodec = c.codec;
    ch.mBitRate = c.bitRate;
    return ch;
}

std::shared_ptr<const ZYMRadioMediaFormat> Media(const std::string& id, const std::vector<Ch>& channels) {
    DMRadio3_MediaFormatType m;
    m.mMediaFormatId.mValue = id;
    for (const Ch& c : channels)
        m.mChannels.push_back(Channel(c));
    return std::make_shared<const ZYMRadioMediaFormat>(m);
}

std::shared_ptr<ZYMRadioStationFormat> Format(const std::string& id, const std::string& prog = "") {
    DMRadio3_StationFormatType f;
    f.mMediaFormatId.mValue = id;
    f.mProgId.mValue = prog.empty() ? "prog-" + id : prog;
    return std::make_shared<ZYMRadioStationFormat>(f);
}

std::shared_ptr<ZYMRadioStationFormat> Format(const std::string& id, const std::vector<Ch>& channels) {
    auto f = Format(id);
    f->setMediaFormat(Media(id, channels));
    return f;
}

std::shared_ptr<ZYMRadioStationFormat> Format(const std::string& codec, std::int32_t bitRate) {
    return Format(codec + "@" + std::to_string(bitRate), std::vector<Ch>{{codec, bitRate}});
}

std::string Name(const ZYMRadioStationFormat& f) { return f.formatID().toStdString(); }

// The comparison exactly as the rules read pair by pair, to see where the ordering keeps
// their answer.
int RuleCompare(const ZYMRadioStationFormat& a, const ZYMRadioStationFormat& b, const QStringList& order,
                const QVariantMap& table) {
    if (!a.mediaFormat() || !b.mediaFormat()) return 0;
    const auto ba = a.mediaFormat()->theBestChannel(), bb = b.mediaFormat()->theBestChannel();
    const qint64 rA = ba->theBitrate(), rB = bb->theBitrate();
    const QString cA = ba->theCodec(), cB = bb->theCodec();
    if (cA.compare(cB, Qt::CaseInsensitive) == 0) return rA > rB ? -1 : rA < rB ? 1 : 0;
    const QString key = cA + "-vs-" + cB;
    if (table.contains(key)) {
        const qint64 n = table[key].toLongLong();
        if (rA != rB) return rA > rB + n ? -1 : rA < rB + n ? 1 : 0;
        return n < 0 ? -1 : n > 0 ? 1 : 0;
    }
    const qsizetype iA = order.indexOf(cA), iB = order.indexOf(cB);
    if (iA < 0) return 1;
    if (iB < 0) return -1;
    return iA < iB ? -1 : iA > iB ? 1 : 0;
}

void WriteFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

QByteArray Plist(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">" +
           body + "</plist>\n";
}

// The codec tables of the process, loaded afresh from a resource folder of the test's
// own, with the debug log in a file of its own.
class CodecTables : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        logPath_ = dir_.filePath("zym.log").toStdString();
        InitLogFile(logPath_.c_str(), kLogDebug, 0);
        root_ = std::make_unique<ScopedResourceRoot>(dir_.path());
        ZYMCodecRanking::resetShared();
    }
    void TearDown() override {
        ZYMCodecRanking::resetShared();
        root_.reset();
        InitLogFile(nullptr, 1, 0);
    }
    void Put(const char* name, const QByteArray& text) { WriteFile(dir_.filePath(name), text); }
    std::vector<std::string> FailureLines() {
        std::ifstream in(logPath_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            if (line.find("Failed to Load") != std::string::npos) lines.push_back(line);
        return lines;
    }
    QTemporaryDir dir_;
    std::string logPath_;
    std::unique_ptr<ScopedResourceRoot> root_;
};

// A table that contradicts itself: reverse entries that disagree, margins around a
// cycle that do not add up, a listed codec without entries, a group of unlisted codecs.
const char* kInconsistentTable =
    "<dict>"
    "<key>MP3-vs-VLB</key><integer>1000</integer>"
    "<key>VLB-vs-MP3</key><integer>5000</integer>"
    "<key>VLB-vs-OGG</key><integer>-20000</integer>"
    "<key>OGG-vs-MP3</key><integer>30000</integer>"
    "<key>AACPLUS-vs-OGG</key><integer>7</integer>"
    "<key>AACPLUS-vs-MP3</key><integer>-64000</integer>"
    "<key>FLAC-vs-WMA</key><integer>100</integer>"
    "<key>WMA-vs-FLAC</key><integer>100</integer>"
    "<key>mp3-vs-MP3</key><integer>99999</integer>"
    "<key>nonsense</key><integer>3</integer>"
    "<key>VLB-vs-OPUS</key><integer>9223372036854775807</integer>"
    "</dict>";
const char* kInconsistentOrder =
    "<array><string>MP3</string><string>OGG</string><string>AACPLUS</string><string>mp3</string>"
    "<string>SPEEX</string></array>";

}  // namespace

TEST(MediaFormat, ChannelsAndBestChannel) {
    DMRadio3_MediaFormatType m;
    m.mMediaFormatId.mValue = "mf1";
    m.mMime = "audio/aacp";
    m.mDesc.mValue = "aacPlus 48k";
    DMRadio3_MediaFormatChannelType c;
    c.mClass = "primary";
    c.mDesc.mValue = "stereo";
    c.mProto = "http";
    c.mMime = "audio/aacp";
    c.mCodec = "AACPLUS";
    c.mBitRate = 48000;
    c.mAvgBitRate = 47000;
    c.mVBR = 1;
    c.mChannels = 2.0f;
    m.mChannels = {c, c, c};
    m.mChannels[1].mBitRate = 64000;
    m.mChannels[2].mBitRate = 64000;
    m.mChannels[2].mCodec = "later";
    const ZYMRadioMediaFormat media(m);
    m.mChannels.clear();  // the media format keeps its own copy
    EXPECT_EQ(media.theMediaFormatID(), "mf1");
    EXPECT_EQ(media.theMime(), "audio/aacp");
    EXPECT_EQ(media.theDescription(), "aacPlus 48k");
    ASSERT_EQ(media.theChannels().size(), 3u);
    const auto& first = *media.theChannels()[0];
    EXPECT_EQ(first.theClass(), "primary");
    EXPECT_EQ(first.theDescription(), "stereo");
    EXPECT_EQ(first.theProto(), "http");
    EXPECT_EQ(first.theMime(), "audio/aacp");
    EXPECT_EQ(first.theCodec(), "AACPLUS");
    EXPECT_EQ(first.theBitrate(), 48000);
    EXPECT_EQ(first.theAverageBitRate(), 47000);
    EXPECT_EQ(first.theVbr(), 1);
    EXPECT_EQ(first.theChannels(), 2.0f);
    EXPECT_EQ(media.theBestChannel(), media.theChannels()[1]);  // first of the highest

    EXPECT_EQ(Media("same", {{"MP3", 1}, {"VLB", 1}, {"X", 1}})->theBestChannel()->theCodec(), "MP3");
    EXPECT_EQ(Media("none", {})->theBestChannel(), nullptr);
    EXPECT_EQ(DMRadio3_MediaFormatChannelType().mVBR, -1);
    EXPECT_EQ(ZYMRadioMediaFormatChannel(DMRadio3_MediaFormatChannelType()).theVbr(), -1);

    EXPECT_TRUE(Media("a", {})->isEqual(*Media("a", {{"MP3", 1}})));
    EXPECT_FALSE(Media("a", {})->isEqual(*Media("b", {})));
    EXPECT_FALSE(Media("a", {})->isEqual(*Format("a")));
}

TEST(StationFormat, IdentifiersBitRateAndDescription) {
    auto f = Format("mf7", "prog9");
    EXPECT_EQ(f->formatID(), "mf7");
    EXPECT_EQ(f->progID(), "prog9");
    EXPECT_EQ(f->mediaFormat(), nullptr);
    EXPECT_EQ(f->bitRate(), 0);
    const QRegularExpression text("^<ZYMRadioStationFormat 0x[0-9a-f]+> formatID=\"mf7\"$");
    EXPECT_TRUE(text.match(f->description()).hasMatch()) << f->description().toStdString();
    f->setMediaFormat(Media("mf7", {}));
    EXPECT_EQ(f->bitRate(), 0);
    f->setMediaFormat(Media("mf7", {{"MP3", 32000}, {"MP3", 128000}, {"MP3", 64000}}));
    EXPECT_EQ(f->bitRate(), 128000);

    EXPECT_EQ(Format("a")->compare(*Format("b")), -1);
    EXPECT_EQ(Format("b")->compare(*Format("a")), 1);
    EXPECT_EQ(Format("a", "p1")->compare(*Format("a", "p2")), 0);
}

TEST(StationFormat, BandwidthCompare) {
    const auto low = Format("MP3", 32000), high = Format("VLB", 128000), same = Format("AACPLUS", 32000);
    const auto noMedia = Format("nm"), noChannels = Format("nc", std::vector<Ch>{});
    struct Row {
        std::shared_ptr<ZYMRadioStationFormat> a, b;
        int expected;
    };
    const std::vector<Row> rows = {
        {low, high, -1}, {high, low, 1}, {low, same, 0}, {low, noMedia, 0}, {noMedia, high, 0}, {noChannels, high, 0},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.a->bandwidthCompare(*r.b), r.expected) << Name(*r.a) << " " << Name(*r.b);
        EXPECT_EQ(r.a->bandwidthReverseCompare(*r.b), -r.expected) << Name(*r.a) << " " << Name(*r.b);
    }
}

TEST(PriorityCompare, RowsWithTheBuiltInTables) {
    const ZYMCodecRanking builtIn(ZYMCodecRanking::builtInCodecOrder(), ZYMCodecRanking::builtInComparisonTable());
    struct Row {
        const char* what;
        std::shared_ptr<ZYMRadioStationFormat> a, b;
        int expected;
    };
    const std::vector<Row> rows = {
        {"same codec, other case: higher first", Format("MP3", 64000), Format("mp3", 128000), 1},
        {"same codec, other case: higher first", Format("mp3", 128000), Format("MP3", 64000), -1},
        {"same codec, other case, equal rates", Format("MP3", 64000), Format("mp3", 64000), 0},
        {"MP3 over VLB by more than the margin", Format("MP3", 73728 + 32001), Format("VLB", 32000), -1},
        {"MP3 over VLB by exactly the margin", Format("MP3", 73728 + 32000), Format("VLB", 32000), 1},
        {"MP3 over VLB by less", Format("MP3", 100000), Format("VLB", 32000), 1},
        {"MP3 and VLB at one rate", Format("MP3", 64000), Format("VLB", 64000), 1},
        {"MP3 below VLB", Format("MP3", 24000), Format("VLB", 32000), 1},
        {"VLB under MP3 by more than the margin", Format("VLB", 32000), Format("MP3", 73728 + 32001), 1},
        {"MP3 over aacPlus by more than the margin", Format("MP3", 73728 + 48001), Format("AACPLUS", 48000), -1},
        {"MP3 over aacPlus by less", Format("MP3", 73728 + 48000), Format("AACPLUS", 48000), 1},
        {"aacPlus and VLB at one rate", Format("AACPLUS", 48000), Format("VLB", 48000), -1},
        {"VLB and aacPlus at one rate", Format("VLB", 48000), Format("AACPLUS", 48000), 1},
        {"VLB well over aacPlus", Format("VLB", 48002), Format("AACPLUS", 48000), -1},
        {"listed before unlisted", Format("VLB", 16000), Format("OGG", 320000), -1},
        {"unlisted after listed", Format("OGG", 320000), Format("MP3", 8000), 1},
        {"no media format sorts last", Format("nm"), Format("OGG", 8000), 1},
        {"no channels after every format with channels", Format("nc", std::vector<Ch>{}), Format("OGG", 0), 1},
        {"no channels before no media format", Format("nc", std::vector<Ch>{}), Format("nm"), -1},
        {"two without media format", Format("nm1"), Format("nm2"), 0},
        {"two without channels", Format("nc1", std::vector<Ch>{}), Format("nc2", std::vector<Ch>{}), 0},
        {"the best channel decides", Format("multi", std::vector<Ch>{{"OGG", 500000}, {"MP3", 24000}}),
         Format("VLB", 8000), 1},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.a->priorityCompare(*r.b, builtIn), r.expected) << r.what;
        EXPECT_EQ(r.b->priorityCompare(*r.a, builtIn), -r.expected) << r.what << " (reversed)";
    }

    // Codecs neither listed nor in the table answered "the other first" both ways; now
    // they keep one order, higher bit rate first.
    const auto ogg = Format("OGG", 96000), wma = Format("WMA", 64000);
    EXPECT_EQ(ogg->priorityCompare(*wma, builtIn), -1);
    EXPECT_EQ(wma->priorityCompare(*ogg, builtIn), 1);
    EXPECT_NE(Format("OGG", 64000)->priorityCompare(*wma, builtIn), 0);
}

// The ordering, over many random format sets, with the built-in tables, a table that
// contradicts itself and random tables: irreflexive, asymmetric, transitive (also in
// its equivalences), the rules' own answer wherever they are an ordering, and one
// sorted order whatever order the formats come in.
TEST(PriorityCompare, IsAStrictWeakOrderingOverRandomSets) {
    const QStringList codecs = {"AACPLUS", "aacplus", "VLB", "MP3",  "mp3",   "Mp3", "OGG",
                                "ogg",     "FLAC",    "WMA", "OPUS", "SPEEX", ""};
    const std::vector<std::int32_t> rates = {0,     1,     8000,   32000,  32001,  32002,  48000,
                                             48001, 64000, 105728, 105729, 105730, 137728, 137729};
    std::mt19937 random(20261210);
    auto pick = [&](auto& list) {
        return list[std::uniform_int_distribution<std::size_t>(0, list.size() - 1)(random)];
    };

    std::vector<std::pair<std::string, ZYMCodecRanking>> rankings;
    rankings.emplace_back(
        "built-in", ZYMCodecRanking(ZYMCodecRanking::builtInCodecOrder(), ZYMCodecRanking::builtInComparisonTable()));
    {
        const auto order = PropertyList::read(Plist(kInconsistentOrder));
        const auto table = PropertyList::read(Plist(kInconsistentTable));
        ASSERT_TRUE(order && table);
        rankings.emplace_back("inconsistent", ZYMCodecRanking(order->toStringList(), table->toMap()));
    }
    for (int t = 0; t < 6; ++t) {
        QStringList order;
        for (int i = 0; i < 4; ++i)
            order.append(pick(codecs));
        QVariantMap table;
        for (int i = 0; i < 8; ++i)
            table[pick(codecs) + "-vs-" + pick(codecs)] =
                qint64(std::uniform_int_distribution<int>(-80000, 80000)(random));
        rankings.emplace_back("random " + std::to_string(t), ZYMCodecRanking(order, table));
    }

    auto makeSet = [&](int size) {
        ZYMRadioStationFormat::List set;
        for (int i = 0; i < size; ++i) {
            const std::string id = "f" + std::to_string(i);
            const int kind = std::uniform_int_distribution<int>(0, 9)(random);
            if (kind == 0) {
                set.push_back(Format(id));
            } else if (kind == 1) {
                set.push_back(Format(id, std::vector<Ch>{}));
            } else {
                std::vector<Ch> channels;
                const int n = std::uniform_int_distribution<int>(1, 3)(random);
                for (int c = 0; c < n; ++c)
                    channels.push_back({pick(codecs).toStdString(), pick(rates)});
                set.push_back(Format(id, channels));
            }
        }
        return set;
    };

    for (const auto& [what, ranking] : rankings) {
        SCOPED_TRACE(what);
        std::size_t ruleChecks = 0;
        for (int round = 0; round < 150; ++round) {
            const auto set = makeSet(std::uniform_int_distribution<int>(2, 14)(random));
            const std::size_t n = set.size();
            std::vector<std::vector<int>> cmp(n, std::vector<int>(n));
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t j = 0; j < n; ++j)
                    cmp[i][j] = set[i]->priorityCompare(*set[j], ranking);
            for (std::size_t i = 0; i < n; ++i) {
                ASSERT_EQ(cmp[i][i], 0) << Name(*set[i]);
                for (std::size_t j = 0; j < n; ++j) {
                    ASSERT_EQ(cmp[i][j], -cmp[j][i]) << Name(*set[i]) << " " << Name(*set[j]);
                    for (std::size_t k = 0; k < n; ++k) {
                        if (cmp[i][j] < 0 && cmp[j][k] < 0) ASSERT_LT(cmp[i][k], 0);
                        if (cmp[i][j] == 0 && cmp[j][k] == 0) ASSERT_EQ(cmp[i][k], 0);
                    }
                }
            }

            if (what == "built-in") {
                // The rules' own answers stand except where they are no ordering: codecs
                // neither listed nor compared, a listed codec spelt in another case, the
                // 1 bit/s by which the built-in margins disagree, and formats without a
                // best channel. Ties of the rules may be broken by the codec order.
                const QStringList order = ZYMCodecRanking::builtInCodecOrder();
                const QVariantMap table = ZYMCodecRanking::builtInComparisonTable();
                for (std::size_t i = 0; i < n; ++i) {
                    for (std::size_t j = 0; j < n; ++j) {
                        const auto& a = *set[i];
                        const auto& b = *set[j];
                        if (!a.mediaFormat() || !b.mediaFormat() || !a.mediaFormat()->theBestChannel() ||
                            !b.mediaFormat()->theBestChannel())
                            continue;
                        const auto ca = a.mediaFormat()->theBestChannel(), cb = b.mediaFormat()->theBestChannel();
                        const bool sameCodec = ca->theCodec().compare(cb->theCodec(), Qt::CaseInsensitive) == 0;
                        auto exact = [&](const QString& c) { return order.contains(c); };
                        auto folded = [&](const QString& c) { return order.contains(c, Qt::CaseInsensitive); };
                        if (!sameCodec) {
                            if (!exact(ca->theCodec()) && !exact(cb->theCodec())) continue;
                            if ((folded(ca->theCodec()) && !exact(ca->theCodec())) ||
                                (folded(cb->theCodec()) && !exact(cb->theCodec())))
                                continue;
                            const QString pair = ca->theCodec() + "-vs-" + cb->theCodec();
                            if ((pair == "VLB-vs-AACPLUS" && ca->theBitrate() == cb->theBitrate() + 1) ||
                                (pair == "AACPLUS-vs-VLB" && cb->theBitrate() == ca->theBitrate() + 1))
                                continue;
                        }
                        const int rule = RuleCompare(a, b, order, table);
                        if (rule != 0 || sameCodec) {
                            ++ruleChecks;
                            ASSERT_EQ(cmp[i][j], rule)
                                << ca->theCodec().toStdString() << "@" << ca->theBitrate() << " vs "
                                << cb->theCodec().toStdString() << "@" << cb->theBitrate();
                        }
                    }
                }
            }

            // one order whatever the input order; a stable sort over priorityCompare alone
            // agrees with it up to formats of equal priority
            const auto sorted = ZYMRadioStationFormat::sortedByPriority(set, ranking);
            ASSERT_EQ(sorted.size(), n);
            for (std::size_t i = 1; i < n; ++i)
                ASSERT_LE(sorted[i - 1]->priorityCompare(*sorted[i], ranking), 0);
            for (int shuffle = 0; shuffle < 4; ++shuffle) {
                auto mixed = set;
                std::shuffle(mixed.begin(), mixed.end(), random);
                ASSERT_EQ(ZYMRadioStationFormat::sortedByPriority(mixed, ranking), sorted);
                std::stable_sort(mixed.begin(), mixed.end(),
                                 [&](const auto& x, const auto& y) { return x->priorityCompare(*y, ranking) < 0; });
                for (std::size_t i = 0; i < n; ++i)
                    ASSERT_EQ(mixed[i]->priorityCompare(*sorted[i], ranking), 0);
            }
        }
        if (what == "built-in") EXPECT_GT(ruleChecks, 1000u);
    }
}

TEST(PriorityCompare, InconsistentTableKeepsTheLargerMargins) {
    const auto order = PropertyList::read(Plist(kInconsistentOrder));
    const auto table = PropertyList::read(Plist(kInconsistentTable));
    ASSERT_TRUE(order && table);
    const ZYMCodecRanking ranking(order->toStringList(), table->toMap());
    // AACPLUS-vs-MP3 (64000) is kept; so is OGG-vs-MP3 (30000) and VLB-vs-OGG (20000).
    EXPECT_EQ(Format("AACPLUS", 1)->priorityCompare(*Format("MP3", 64000), ranking), -1);
    EXPECT_EQ(Format("AACPLUS", 1)->priorityCompare(*Format("MP3", 64002), ranking), 1);
    EXPECT_EQ(Format("OGG", 30001)->priorityCompare(*Format("MP3", 0), ranking), -1);
    EXPECT_EQ(Format("OGG", 29999)->priorityCompare(*Format("MP3", 0), ranking), 1);
    EXPECT_EQ(Format("VLB", 0)->priorityCompare(*Format("OGG", 19999), ranking), -1);
    // A margin between two unlisted codecs orders them, after every listed group.
    EXPECT_EQ(Format("FLAC", 99)->priorityCompare(*Format("WMA", 0), ranking), 1);
    EXPECT_EQ(Format("FLAC", 101)->priorityCompare(*Format("WMA", 0), ranking), -1);
    EXPECT_EQ(Format("FLAC", 900000)->priorityCompare(*Format("SPEEX", 0), ranking), 1);
    // "mp3" is listed again later: its first place counts.
    EXPECT_EQ(Format("mp3", 5)->priorityCompare(*Format("MP3", 4), ranking), -1);
}

TEST_F(CodecTables, NoResourcesMeansTheBuiltInTablesSilently) {
    EXPECT_EQ(ZYMRadioStationFormat::codecOrderArray(), ZYMCodecRanking::builtInCodecOrder());
    EXPECT_EQ(ZYMRadioStationFormat::codecComparisonTable(), ZYMCodecRanking::builtInComparisonTable());
    EXPECT_EQ(Format("AACPLUS", 48000)->priorityCompare(*Format("VLB", 48000)), -1);
    EXPECT_TRUE(FailureLines().empty());
}

TEST_F(CodecTables, ResourcesOverrideTheBuiltInTables) {
    Put("RadioFormatOrdering.plist", Plist("<array><string>MP3</string><string>VLB</string></array>"));
    Put("RadioFormatCodecComparisonTable.plist",
        Plist(
            "<dict><key>VLB-vs-MP3</key><integer>1000</integer><key>MP3-vs-VLB</key><integer>-1000</integer></dict>"));
    EXPECT_EQ(ZYMRadioStationFormat::codecOrderArray(), (QStringList{"MP3", "VLB"}));
    EXPECT_EQ(ZYMRadioStationFormat::codecComparisonTable(),
              (QVariantMap{{"VLB-vs-MP3", qint64(1000)}, {"MP3-vs-VLB", qint64(-1000)}}));
    EXPECT_EQ(Format("MP3", 64000)->priorityCompare(*Format("VLB", 64999)), -1);
    EXPECT_EQ(Format("MP3", 64000)->priorityCompare(*Format("VLB", 65001)), 1);
    EXPECT_EQ(Format("AACPLUS", 900000)->priorityCompare(*Format("VLB", 8000)), 1);  // no longer listed
    EXPECT_TRUE(FailureLines().empty());
}

TEST_F(CodecTables, AMalformedResourceKeepsTheBuiltInTableAndLogsOnce) {
    struct Row {
        const char* what;
        const char* resource;
        QByteArray text;
    };
    const std::vector<Row> rows = {
        {"order as a dictionary", "RadioFormatOrdering", Plist("<dict><key>MP3</key><integer>1</integer></dict>")},
        {"order with a number", "RadioFormatOrdering",
         Plist("<array><string>MP3</string><integer>2</integer></array>")},
        {"order, broken XML", "RadioFormatOrdering", "<plist><array><string>MP3</array></plist>"},
        {"order, not XML", "RadioFormatOrdering", "MP3, VLB"},
        {"table as an array", "RadioFormatCodecComparisonTable", Plist("<array><integer>1</integer></array>")},
        {"table with a real", "RadioFormatCodecComparisonTable",
         Plist("<dict><key>MP3-vs-VLB</key><real>1.5</real></dict>")},
        {"table with a string", "RadioFormatCodecComparisonTable",
         Plist("<dict><key>MP3-vs-VLB</key><string>12</string></dict>")},
        {"table with a boolean", "RadioFormatCodecComparisonTable", Plist("<dict><key>MP3-vs-VLB</key><true/></dict>")},
        {"table, broken XML", "RadioFormatCodecComparisonTable", "<plist><dict><key>MP3-vs-VLB</key>"},
        {"table, empty file", "RadioFormatCodecComparisonTable", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        QTemporaryDir folder;
        ScopedResourceRoot root(folder.path());
        const QString file = folder.filePath(QString(r.resource) + ".plist");
        WriteFile(file, r.text);
        ZYMCodecRanking::resetShared();
        const std::size_t before = FailureLines().size();
        for (int use = 0; use < 3; ++use) {
            EXPECT_EQ(ZYMRadioStationFormat::codecOrderArray(), ZYMCodecRanking::builtInCodecOrder());
            EXPECT_EQ(ZYMRadioStationFormat::codecComparisonTable(), ZYMCodecRanking::builtInComparisonTable());
            EXPECT_EQ(Format("MP3", 105728)->priorityCompare(*Format("VLB", 32000)), 1);
        }
        const auto lines = FailureLines();
        ASSERT_EQ(lines.size(), before + 1);
        const std::string expected = std::string(std::strcmp(r.resource, "RadioFormatOrdering") == 0
                                                     ? "Failed to Load theCodecOrderArray - ["
                                                     : "Failed to Load theCodecComparisonTable - [") +
                                     file.toStdString() + "]";
        EXPECT_NE(lines.back().find(expected), std::string::npos) << lines.back();
    }
}

namespace {

class GermanLocaleFormats : public CodecTables {
protected:
    void SetUp() override {
        CodecTables::SetUp();
        const char* ci = std::getenv("CI");
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
            if (ci && std::strcmp(ci, "true") == 0)
                FAIL() << "the locale de_DE.UTF-8 cannot be set (scripts/setup generates it)";
            GTEST_SKIP() << "de_DE.UTF-8 is not available on this machine";
        }
        previousQt_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(previousQt_);
        CodecTables::TearDown();
    }
    QLocale previousQt_;
};

}  // namespace

TEST_F(GermanLocaleFormats, NumbersDoNotFollowTheLocale) {
    Put("RadioFormatCodecComparisonTable.plist", Plist("<dict><key>MP3-vs-VLB</key><integer>1234567</integer>"
                                                       "<key>VLB-vs-MP3</key><integer>-1234567</integer></dict>"));
    EXPECT_EQ(ZYMRadioStationFormat::codecComparisonTable()["MP3-vs-VLB"].toLongLong(), 1234567);
    EXPECT_EQ(Format("MP3", 1234568)->priorityCompare(*Format("VLB", 0)), -1);
    EXPECT_EQ(Format("MP3", 1234567)->priorityCompare(*Format("VLB", 0)), 1);
    EXPECT_TRUE(FailureLines().empty());

    EXPECT_EQ(ZYMStringFromSize({0.5f, 1250000.0f}), "{0.5, 1.25e+06}");
    EXPECT_EQ(ZYMStringFromSize({468.0f, 60.0f}), "{468, 60}");
    const QRegularExpression text("^<ZYMRadioStationFormat 0x[0-9a-f]+> formatID=\"m\"$");
    EXPECT_TRUE(text.match(Format("m")->description()).hasMatch());
}
