// The preset row end to end: the test server's directory keeps the presets per user,
// answers writes made against an older time stamp with "OutOfDate", and records each call.

#include "RadioServiceSupport.h"

#include "app/foundation/ServiceLayerError.h"

using namespace radiotest;

namespace {

const QString kEmpty = ZYMRadioService::kEmptyPreset;

QString Id(int n) { return QStringLiteral("radio:aggregate:%1").arg(n); }

}  // namespace

class RadioServicePresets : public RadioServiceFixture {
protected:
    void Load(QJsonObject script = {}) {
        script["play_modes"] = QJsonArray{"full"};
        Directory(script);
        Start();
        HandOver();
        WaitLoaded();
    }
    std::shared_ptr<ZYMRadioStation> S(int n) { return radio_->stationWithID(Id(n)); }
    // Every SetPresets since `from`, as the row it wrote.
    std::vector<QStringList> Writes(std::size_t from) {
        std::vector<QStringList> out;
        const auto calls = Calls();
        for (std::size_t i = from; i < calls.size(); ++i) {
            if (calls[i]["method"].toString() != "SetPresets") continue;
            QStringList row;
            for (const auto& pair : calls[i]["presets"].toArray())
                row.append(pair.toArray()[1].toString() + "=" + pair.toArray()[0].toString());
            out.push_back(row);
        }
        return out;
    }
    bool WaitStored(int count) {
        return RunUntil(
            [&] { return reports_.Count("PresetsDidStore") + reports_.Count("PresetsOutOfDate") >= count; });
    }
    void SetSlots(const std::vector<int>& numbers) {
        const int stored = reports_.Count("PresetsDidStore") + reports_.Count("PresetsOutOfDate");
        radio_->startPresetBatching();
        for (std::size_t i = 0; i < numbers.size(); ++i)
            radio_->storeStation(S(numbers[i]).get(), static_cast<int>(i) + 1);
        radio_->endPresetBatching();
        ASSERT_TRUE(WaitStored(stored + 1)) << reports_.Joined();
    }
};

TEST_F(RadioServicePresets, MovingADraggedEntryShiftsTheOthers) {
    Load();
    // Entries 1..5 are stations 1..5; `to` names the slot the entry is dropped in front of.
    struct Case {
        int from, to;
        std::vector<int> expected;
    } cases[] = {
        {1, 4, {2, 3, 1, 4, 5}}, {4, 1, {4, 1, 2, 3, 5}}, {2, 3, {1, 2, 3, 4, 5}}, {2, 2, {1, 2, 3, 4, 5}},
        {1, 6, {2, 3, 4, 5, 1}}, {0, 3, {1, 2, 3, 4, 5}}, {1, 7, {1, 2, 3, 4, 5}}, {6, 1, {1, 2, 3, 4, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
        SetSlots({1, 2, 3, 4, 5});
        radio_->moveStationFromPreset(c.from, c.to);
        QStringList expected;
        for (int n : c.expected)
            expected.append(Id(n));
        EXPECT_EQ(radio_->stationPresets(), expected);
    }
}

TEST_F(RadioServicePresets, TheServersNumberOfSlotsSizesTheRow) {
    struct Case {
        int max;
        QStringList expected;
    } cases[] = {
        // The server's slot 7 fits a row of 8.
        {8, {Id(12345), Id(4242), kEmpty, kEmpty, kEmpty, kEmpty, Id(99), kEmpty}},
        {3, {Id(12345), Id(4242), kEmpty}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.max);
        SignOnAt(server_->NewPrefix());
        Load({{"methods", QJsonObject{{"GetMaxPresets", QJsonObject{{"max_presets", c.max}}}}}});
        EXPECT_EQ(radio_->maxNumberOfPresets(), c.max);
        EXPECT_EQ(radio_->stationPresets(), c.expected);
    }
}

TEST_F(RadioServicePresets, ChangesWriteTheWholeRowAndABatchWritesOnce) {
    Load();
    std::size_t before = Calls().size();
    radio_->removePreset(2);
    ASSERT_TRUE(WaitStored(1)) << reports_.Joined();
    EXPECT_TRUE(reports_.Has("PresetsWillStore"));
    ASSERT_EQ(
        Writes(before),
        (std::vector<QStringList>{{"1=" + Id(12345), "2=" + kEmpty, "3=" + kEmpty, "4=" + kEmpty, "5=" + kEmpty}}));

    before = Calls().size();
    radio_->startPresetBatching();
    radio_->storeStation(S(777).get(), 2);
    radio_->storeStation(S(777).get(), 4);
    radio_->storeStation(S(99).get(), 7);  // beyond the row: nothing
    radio_->removePreset(1);
    radio_->endPresetBatching();
    ASSERT_TRUE(WaitStored(2)) << reports_.Joined();
    EXPECT_EQ(reports_.Count("PresetsDidStore"), 2) << reports_.Joined();
    EXPECT_EQ(
        Writes(before),
        (std::vector<QStringList>{{"1=" + kEmpty, "2=" + Id(777), "3=" + kEmpty, "4=" + Id(777), "5=" + kEmpty}}));
    EXPECT_EQ(radio_->presetIndex(S(777).get()), 2);
    EXPECT_TRUE(radio_->stationExistsOnPresets(S(777).get()));
    EXPECT_EQ(radio_->presetIndex(S(1).get()), ZYMRadioService::kPresetNotFound);
    EXPECT_EQ(radio_->presetIndex(nullptr), ZYMRadioService::kPresetNotFound);
    EXPECT_TRUE(radio_->presetIsSet(4));
    EXPECT_FALSE(radio_->presetIsSet(3));
    EXPECT_EQ(radio_->stationForPreset(9), nullptr);
}

// A station the listing lacks keeps its slot, so a change elsewhere does not erase it on
// the server; it just cannot be played from there.
TEST_F(RadioServicePresets, SlotNamingAStationMissingFromTheListingIsWrittenBackUnchanged) {
    Load();
    EXPECT_EQ(radio_->stationPresets().at(1), Id(4242));
    EXPECT_EQ(radio_->stationForPreset(2), nullptr);
    EXPECT_FALSE(radio_->presetIsSet(2));

    const std::size_t before = Calls().size();
    radio_->storeStation(S(1).get(), 3);
    ASSERT_TRUE(WaitStored(1)) << reports_.Joined();
    EXPECT_EQ(
        Writes(before),
        (std::vector<QStringList>{{"1=" + Id(12345), "2=" + Id(4242), "3=" + Id(1), "4=" + kEmpty, "5=" + kEmpty}}));
}

TEST_F(RadioServicePresets, ProgrammingErrorsRaiseAssertions) {
    Load();
    const auto station = S(1);
    struct Case {
        const char* text;
        std::function<void()> call;
    } cases[] = {
        {"Presets are 1-based", [&] { radio_->stationForPreset(0); }},
        {"Presets are 1-based", [&] { radio_->storeStation(station.get(), 0); }},
        {"Presets are 1-based", [&] { radio_->removePreset(-1); }},
        {"nil station for preset", [&] { radio_->storeStation(nullptr, 1); }},
        {"Unmatched preset batch", [&] { radio_->endPresetBatching(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            c.call();
            ADD_FAILURE() << "no assertion";
        } catch (const AssertionFailure& e) {
            EXPECT_NE(std::string(e.what()).find(c.text), std::string::npos) << e.what();
        }
    }
}

TEST_F(RadioServicePresets, ChangesWhileTheServiceIsGoneAreIgnored) {
    Load();
    const auto station = S(1);
    const QStringList row = radio_->stationPresets();
    radio_->serviceDidBecomeInvalidWithReason(QStringLiteral("UserLoggedOff"));
    const std::size_t before = Calls().size();
    radio_->storeStation(station.get(), 3);
    radio_->removePreset(1);
    radio_->moveStationFromPreset(1, 4);
    radio_->startPresetBatching();
    radio_->endPresetBatching();
    EXPECT_EQ(radio_->stationPresets(), row);
    EXPECT_FALSE(reports_.Has("PresetsWillStore"));
    platform::RunLoop::Current().RunFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(Writes(before).empty());
}

// The first presets answer carries no time stamp, as if another client had stored since:
// the write is refused, and the listener either takes the server's presets or forces the
// local ones over them.
class RadioServiceOutOfDate : public RadioServicePresets {
protected:
    void LoadThenBeRefused(QJsonArray presetsAnswers) {
        Load({{"methods", QJsonObject{{"GetPresets", presetsAnswers}}}});
        radio_->storeStation(S(777).get(), 1);
        ASSERT_TRUE(WaitStored(1)) << reports_.Joined();
        ASSERT_TRUE(reports_.Has("PresetsOutOfDate")) << reports_.Joined();
        ASSERT_FALSE(reports_.Has("PresetsDidStore"));
    }
};

TEST_F(RadioServiceOutOfDate, ForcingWritesTheLocalSlotsWithTheServersTimeStamp) {
    LoadThenBeRefused({QJsonObject{{"timestamp", ""}}, QJsonObject{}});
    const std::size_t before = Calls().size();
    radio_->forcePresetsToReplaceHostPresets();
    EXPECT_TRUE(radio_->forcedPresetsWriteWaiting());
    ASSERT_TRUE(RunUntil([&] { return reports_.Has("PresetsDidStore"); })) << reports_.Joined();
    EXPECT_FALSE(radio_->forcedPresetsWriteWaiting());
    const auto calls = Calls();
    ASSERT_EQ(Methods(before), (std::vector<std::string>{"GetPresets", "SetPresets"}));
    EXPECT_EQ(calls[before + 1]["changedSince"].toString(), "2026-12-01T08:00:00Z");
    EXPECT_EQ(Writes(before).at(0).at(0), "1=" + Id(777));
    // The forced answer's presets were not applied.
    EXPECT_EQ(radio_->stationPresets().at(0), Id(777));
}

TEST_F(RadioServiceOutOfDate, ReloadingTakesTheServersPresets) {
    LoadThenBeRefused({QJsonObject{{"timestamp", ""}}, QJsonObject{}});
    const int loaded = reports_.Count("PresetsDidLoad");
    radio_->loadStationPresets();
    ASSERT_TRUE(RunUntil([&] { return reports_.Count("PresetsDidLoad") > loaded; })) << reports_.Joined();
    EXPECT_EQ(radio_->stationPresets().at(0), Id(12345));
}

TEST_F(RadioServiceOutOfDate, AFailedForcedReadLetsLaterChangesBeStored) {
    LoadThenBeRefused({QJsonObject{{"timestamp", ""}}, QJsonObject{{"status_code", "Failure"}}, QJsonObject{}});
    radio_->forcePresetsToReplaceHostPresets();
    ASSERT_TRUE(RunUntil([&] { return !radio_->forcedPresetsWriteWaiting(); })) << reports_.Joined();
    const int willStore = reports_.Count("PresetsWillStore");
    radio_->removePreset(5);
    EXPECT_EQ(reports_.Count("PresetsWillStore"), willStore + 1);
}

// A write refused for any reason but "OutOfDate" reaches no one: it is only logged, with
// the line the rest of the loading queue's optional steps use.
TEST_F(RadioServicePresets, AWriteRefusedOtherwiseIsOnlyLogged) {
    Load({{"methods", QJsonObject{{"SetPresets", QJsonObject{{"status_code", "Failure"}}}}}});
    radio_->storeStation(S(777).get(), 1);
    const std::string line =
        "storePresetsCompletedWithSuccess failed, but info request is not required.  continuing as normal.\n";
    ASSERT_TRUE(RunUntil([&] { return Log().find(line) != std::string::npos; })) << Log();
    EXPECT_FALSE(reports_.Has("PresetsDidStore"));
    EXPECT_FALSE(reports_.Has("PresetsOutOfDate"));
}
