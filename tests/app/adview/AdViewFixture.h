#pragma once
// What the ad view tests share: a cache folder of their own, the engine's flags, the
// desktop's opener caught, modal windows watched for, and the test server's TLS listener
// as the ad network.

#include "app/adview/WebEngineAdView.h"

#include "support/Env.h"
#include "support/TestServer.h"

#include <QApplication>
#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include <unistd.h>

namespace adviewtest {

// Catches every URL handed to the desktop.
class DesktopOpener : public QObject {
    Q_OBJECT
public:
    static QStringList Schemes() {
        return {"http", "https", "file",     "ftp", "mailto", "data", "javascript", "about",
                "blob", "qint",  "zymradio", "tel", "ws",     "wss",  "filesystem"};
    }
    DesktopOpener() {
        for (const QString& scheme : Schemes())
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~DesktopOpener() override {
        for (const QString& scheme : Schemes())
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QStringList opened;

public slots:
    void open(const QUrl& url) { opened << url.toString(); }
};

inline bool WaitFor(const std::function<bool()>& done, int ms = 30000) {
    return QTest::qWaitFor(done, static_cast<int>(zymtest::Scaled(std::chrono::milliseconds(ms)).count()));
}

class AdViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The engine's sandbox refuses to run as root; the test server's certificate is
        // its own test CA's, which the engine cannot be told of otherwise.
        QByteArray flags = "--ignore-certificate-errors";
        if (geteuid() == 0) flags += " --no-sandbox";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
        ASSERT_TRUE(home_.isValid());
        saved_ = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", home_.path().toUtf8());
        // A page's dialog would be modal: noted and closed, so a fault fails, not hangs.
        modalWatch_ = new QTimer;
        QObject::connect(modalWatch_, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modals_ << QString::fromLatin1(modal->metaObject()->className());
                modal->close();
            }
        });
        modalWatch_->start(20);
    }
    void TearDown() override {
        delete modalWatch_;
        qputenv("XDG_CACHE_HOME", saved_);
    }

    // The real opener: what reaches the desktop is caught by `desktop_`.
    static AdController::UrlOpener Opener() {
        return [](const QUrl& url) { WebEngineAdView::openInBrowser(url); };
    }

    // Serves `text` at the prefix's `path` on both listeners.
    static QJsonObject Body(const std::string& path, const std::string& text, const char* type) {
        return QJsonObject{{"path", QString::fromStdString(path)},
                           {"body", QString::fromStdString(text)},
                           {"headers", QJsonArray{QJsonArray{"Content-Type", type}}}};
    }
    // host:port and the prefix (without its last slash) on the TLS listener.
    std::string TlsHost(const std::string& prefix) {
        const int port = zymtest::TestServer::Get().StartTls("valid").first;
        std::string host = "127.0.0.1:" + std::to_string(port) + prefix;
        host.pop_back();
        return host;
    }
    bool Requested(const std::string& path) { return !zymtest::TestServer::Get().Requests(path).empty(); }

    QTemporaryDir home_;
    QByteArray saved_;
    DesktopOpener desktop_;
    QStringList modals_;
    QTimer* modalWatch_ = nullptr;
};

}  // namespace adviewtest
