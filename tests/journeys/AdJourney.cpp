// A listener whose ad network is set: the ad shows in its panel beside the lists, on the
// screen, and the listener's click on it opens the browser.

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include "Journey.h"

namespace journey {
namespace {

const QColor kAdBlue(0x20, 0x50, 0xc0);

QJsonObject Served(const std::string& path, const QString& body, const char* type) {
    return QJsonObject{{"path", QString::fromStdString(path)},
                       {"body", body},
                       {"headers", QJsonArray{QJsonArray{"Content-Type", type}}}};
}

class Ads : public JourneyTest {
protected:
    void TearDown() override {
        JourneyTest::TearDown();
        if (!path_.isNull()) qputenv("PATH", path_);
    }
    // The desktop's browser, for the programs started from now on: notes each address it
    // is given in `opened`.
    void CatchTheBrowser() {
        ASSERT_TRUE(bin_.isValid());
        QFile opener(bin_.filePath(QStringLiteral("xdg-open")));
        ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
        opener.write(QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(Opened()).toUtf8());
        opener.close();
        opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        path_ = qgetenv("PATH");
        qputenv("PATH", bin_.path().toUtf8() + ':' + path_);
    }
    QString Opened() const { return bin_.filePath(QStringLiteral("opened")); }
    QString OpenedText() const {
        QFile file(Opened());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
    }

    QTemporaryDir bin_;
    QByteArray path_;
};

TEST_F(Ads, TheAdShowsInItsPanelAndTheListenersClickOpensTheBrowser) {
    zymtest::TestServer& server = zymtest::TestServer::Get();
    const std::string prefix = server.NewPrefix();
    std::string network = server.Url(prefix);
    network.pop_back();
    const QString base = QString::fromStdString(network);
    // The network's script sends the view to its page: blue, one link over all of it.
    server.Script(QJsonArray{
        Served(prefix + "file/adsWrapper.js",
               QStringLiteral("var adsBase = document.currentScript.src.replace(/\\/file\\/adsWrapper\\.js$/, '');\n"
                              "function htmlAdWH(m, w, h) { location.href = adsBase + '/html/ad?m=' + m; }\n"),
               "application/javascript"),
        Served(prefix + "file/adsEnd.js", QStringLiteral("var adsEnded = true;\n"), "application/javascript"),
        Served(prefix + "html/ad",
               QStringLiteral("<html><body style='margin:0; background-color: #2050c0;'>"
                              "<a href='%1/clicked' style='display:block; width:320px; height:260px'></a>"
                              "</body></html>")
                   .arg(base),
               "text/html"),
    });
    CatchTheBrowser();
    if (HasFatalFailure()) return;

    // The endless station; at this speed its banner is the network's script ad.
    const QString station = QStringLiteral("radio:aggregate:9");
    const QString host = base.mid(7);
    newProfile(QStringLiteral("play_at_launch=true\nplaying_station=%1\nnetwork_bandwidth_user_prompted=true\n"
                              "network_bandwidth_limit=128000\nad_script_host=%2\nad_image_host=%3\n"
                              "ad_redirect_host=%3\n")
                   .arg(station, base, host));
    storePassword();
    launch();
    ASSERT_TRUE(waitPlaying(station)) << "station " << station.toStdString() << " did not start playing";
    // The engine's helper processes start only now, slowly on a busy machine.
    ASSERT_TRUE(waitUntil([&] { return !server.Requests(prefix + "html/ad").empty(); }, 150s))
        << "the ad's page was never asked for";

    const std::optional<Window> main = mainWindow();
    ASSERT_TRUE(main);
    // The panel stands right of the lists, at the top.
    const QRect table = stationTable(*main);
    const QRect panelMiddle(table.right() + 40, main->rect.top() + 60, 240, 180);
    ASSERT_TRUE(waitUntil([&] { return CommonColor(screenshot({}), panelMiddle) == kAdBlue; }, 60s))
        << "the ad never showed: "
        << CommonColor(screenshot(QStringLiteral("no-ad")), panelMiddle).name().toStdString();
    const QImage screen = screenshot(QStringLiteral("ad"));
    EXPECT_NE(CommonColor(screen, table), kAdBlue) << "the ad stays in its panel";

    // The page takes clicks a moment after it first shows: the listener clicks again when
    // nothing happened, as a listener would.
    EXPECT_TRUE(OpenedText().isEmpty());
    bool opened = false;
    for (int attempt = 0; attempt < 10 && !opened; ++attempt) {
        ASSERT_TRUE(click(panelMiddle.center()));
        opened = waitUntil([&] { return !OpenedText().isEmpty(); }, 3s);
    }
    ASSERT_TRUE(opened) << "no click opened the browser";
    for (const QString& line : OpenedText().split(QLatin1Char('\n')))
        EXPECT_EQ(line, base + QStringLiteral("/clicked"));
    EXPECT_TRUE(running());
    EXPECT_TRUE(quit());
    EXPECT_EQ(programOutput().toStdString(), "") << "the web engine's start printed on the terminal";
}

}  // namespace
}  // namespace journey
