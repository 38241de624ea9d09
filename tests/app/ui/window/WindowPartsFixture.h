#pragma once
// The signed-on main window of WindowFixture.h with a statistics recorder, a switch for
// the services' reachability, a stream that never ends and track documents handed in;
// shared by the display, service-callback, controls and album-art tests.

#include "WindowFixture.h"
#include "app/radio/RadioMetadataParser.h"

namespace windowtest {

class SignOnStatistics : public WindowStatistics {
public:
    void setNumber(int key, qint64 value) override { numbers[key] = value; }
    void setSignOnState(int state) override { calls.push_back("state " + std::to_string(state)); }
    void endSession(int category, int code) override {
        calls.push_back("end " + std::to_string(category) + " " + std::to_string(code));
    }
    std::map<int, qint64> numbers;
    std::vector<std::string> calls;
};

class WindowTest : public MainWindow {
protected:
    // Its one format is MP3 over plain http.
    static inline const QString kMp3Station = QStringLiteral("radio:aggregate:7");

    void SetUp() override {
        MainWindow::SetUp();
        env_.statistics = &statistics_;
        // A failed call with the services out of reach ends the service at once.
        env_.radio.isNetworkAddressReachable = [this](const std::string&) { return servicesReachable_; };
    }

    void ScriptDirectory(QJsonObject extra) {
        extra["play_modes"] = QJsonArray{"full"};
        server_->ScriptDirectory(prefix_, extra);
    }

    RadioWindowController& Make() {
        MainWindow::Make();
        window_->setAlbumArtFolder(dir_.filePath("albumArt"));
        return *window_;
    }

    void SignOnAndLoad() {
        if (!window_) Make();
        MainWindow::SignOnAndLoad();
    }

    // Plays the MP3 station from a stream that never ends.
    void PlayForever(const QString& stationID = kMp3Station) {
        server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/")},
                                    {"file", "chirp-64k.mp3"},
                                    {"repeat", true},
                                    {"rate", 16000},
                                    {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}}});
        window_->playStationWithID(stationID);
        ASSERT_TRUE(RunUntil([&] {
            return window_->streamPlaying() && window_->player()->playerState() == RadioPlayer::Playing;
        })) << Log();
    }

    // Hands the window a track document starting now and waits for it to be current.
    void Feed(const QString& xml) {
        const QString url = window_->playingStationURL();
        window_->playSession().receivedMetaData(xml.toUtf8(), QDateTime::currentDateTimeUtc(), url);
        ASSERT_TRUE(RunUntil([&] { return window_->currentTrackMetadata() && !window_->nextTrackMetadata(); }));
    }

    int CountRequests(const char* needle) {
        int n = 0;
        for (const auto& r : server_->Requests(prefix_))
            if (r.body.find(needle) != std::string::npos || r.path.find(needle) != std::string::npos) ++n;
        return n;
    }

    SignOnStatistics statistics_;
    bool servicesReachable_ = true;
};

}  // namespace windowtest
