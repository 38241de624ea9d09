#include "app/support/AdController.h"

#include "app/foundation/ZYMFileManager.h"
#include "app/foundation/NSLog.h"
#include "app/foundation/UserDefaults.h"
#include "app/support/ZYMWorkspace.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QStringList>

#include <cmath>
#include <limits>

namespace {

// Process-wide: every living controller's two files, and the number of the next file,
// shared by all controllers.
QHash<const AdController*, QStringList>* gAdFiles = nullptr;
int gNextFileNumber = 1;

QString CacheFolder() { return ZYMWorkspace::applicationSupportCachePath(); }

QString AdFilePath(int number) {
    return QDir::cleanPath(CacheFolder() + QStringLiteral("/zymradio_ad_%1.html").arg(number));
}

QString NextAdFilePath(const AdController* controller) {
    const int n = gNextFileNumber;
    gNextFileNumber = n == 2 ? 1 : n + 1;
    if (gAdFiles && gAdFiles->contains(controller)) return gAdFiles->value(controller).value(n - 1);
    return AdFilePath(n);
}

unsigned Dimension(double points) {
    if (!(points > 0)) return 0;  // negative and NaN
    if (points >= static_cast<double>(std::numeric_limits<unsigned>::max()))
        return std::numeric_limits<unsigned>::max();
    return static_cast<unsigned>(std::floor(points));
}

// Inside a single-quoted JavaScript string in a script element: only plain characters
// stay as they are.
QString JavaScriptString(const QString& value) {
    QString out;
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                           QStringView(u" _.,:;+=-*#@!?()[]{}|~^$").contains(c);
        if (plain)
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(static_cast<unsigned>(u), 4, 16, QLatin1Char('0'));
    }
    return out;
}

bool IsHex(QChar c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Percent escapes for everything but unreserved characters, the extra ones given and
// escapes already present, so the value cannot leave its attribute or its part of the URL.
QString Escaped(const QString& value, const QByteArray& extra) {
    const QByteArray utf8 = value.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '%' && i + 2 < utf8.size() + 0 && IsHex(QLatin1Char(utf8[i + 1])) && IsHex(QLatin1Char(utf8[i + 2]))) {
            out += c;
            continue;
        }
        out += QByteArray(1, c).toPercentEncoding(extra);
    }
    return QString::fromLatin1(out);
}

// "http:/" + "/" + host + "/" + the path, as a path whose repeated slashes are folded.
QString HttpUrl(const QString& host, const QString& path) {
    QString joined = QLatin1Char('/') + host + QLatin1Char('/') + path;
    static const QRegularExpression slashes(QStringLiteral("/{2,}"));
    joined.replace(slashes, QStringLiteral("/"));
    if (joined.size() > 1 && joined.endsWith(QLatin1Char('/'))) joined.chop(1);
    return QStringLiteral("http:/") + joined;
}

}  // namespace

QString AdHosts::scriptBase(const QString& scriptHost) {
    if (scriptHost.contains(QStringLiteral("://"))) {
        QString base = scriptHost;
        while (base.endsWith(QLatin1Char('/')))
            base.chop(1);
        return base;
    }
    return QStringLiteral("https://") + scriptHost;
}

AdHosts AdHosts::fromDefaults(const UserDefaults& defaults) {
    return {defaults.string(QStringLiteral("ad_script_host")), defaults.string(QStringLiteral("ad_image_host")),
            defaults.string(QStringLiteral("ad_redirect_host"))};
}

AdController::AdController(AdView& view, AdHosts hosts, QString bannerPath, AdControllerDelegate* delegate,
                           UrlOpener openUrl)
    : view_(view),
      hosts_(std::move(hosts)),
      bannerPath_(std::move(bannerPath)),
      delegate_(delegate),
      openUrl_(std::move(openUrl)) {
    if (!gAdFiles) gAdFiles = new QHash<const AdController*, QStringList>;
    gAdFiles->insert(this, {AdFilePath(1), AdFilePath(2)});
    resetToStaticAd();
}

AdController::~AdController() {
    view_.stopLoading();
    if (!gAdFiles) return;
    for (const QString& path : gAdFiles->value(this))
        if (QFile::exists(path)) QFile::remove(path);
    gAdFiles->remove(this);
    if (gAdFiles->isEmpty()) {
        delete gAdFiles;
        gAdFiles = nullptr;
    }
}

QString AdController::fileUrlText(const QString& path) {
    return QStringLiteral("file://") + Escaped(path, "/!$&'()*+,;=:@");
}

bool AdController::isKnownCacheFile(const QString& url) {
    if (!gAdFiles) return false;
    for (const QStringList& paths : std::as_const(*gAdFiles))
        for (const QString& path : paths)
            if (url == path || url == fileUrlText(path)) return true;
    return false;
}

QString AdController::staticPage(const QString& bannerUrl) {
    return QStringList{
        QStringLiteral("<html>"),
        QStringLiteral("<head>"),
        QStringLiteral("</head>"),
        QStringLiteral("<body style='margin:0; padding:0; background-color: lightgray;'>"),
        QStringLiteral("<center>"),
        QStringLiteral("<div style='top: 0; left: 0; width: 100%; height: 100%; position: fixed; display: table;'>"),
        QStringLiteral("<p style='display: table-cell; vertical-align: middle;'>"),
        QStringLiteral("<img src=\"%1\">").arg(bannerUrl),
        QStringLiteral("</div>"),
        QStringLiteral("</center>"),
        QStringLiteral("</body>"),
        QStringLiteral("</html>"),
    }
        .join(QLatin1Char('\n'));
}

QString AdController::scriptPage(const QString& scriptHost, const QString& magicNumber, QSizeF size) {
    const QString script = QStringLiteral("<SCRIPT LANGUAGE=\"JavaScript1.1\" SRC=\"%1%2\"></SCRIPT>");
    const QString base = AdHosts::scriptBase(scriptHost);
    return QStringList{
        QStringLiteral("<html>"),
        QStringLiteral("<head>"),
        script.arg(base, QStringLiteral("/file/adsWrapper.js")),
        QStringLiteral("</head>"),
        QStringLiteral("<body style='margin:0; padding:0; background-color: lightgray; text-align: center;'>"),
        QStringLiteral("<script language=\"JavaScript1.1\">htmlAdWH('%1', '%2', '%3');</script>")
            .arg(JavaScriptString(magicNumber))
            .arg(Dimension(size.width()))
            .arg(Dimension(size.height())),
        script.arg(base, QStringLiteral("/file/adsEnd.js")),
        QStringLiteral("</body>"),
        QStringLiteral("</html>"),
    }
        .join(QLatin1Char('\n'));
}

QString AdController::imagePage(const AdHosts& hosts, const QString& imagePath, const QString& magicNumber) {
    const QString image = HttpUrl(hosts.image, Escaped(imagePath, "/"));
    const QString link =
        HttpUrl(hosts.redirect, QStringLiteral("/radio/VarnowspindleRedirectServlet?id=") + Escaped(magicNumber, ""));
    return QStringLiteral(
               "<html><head></head><body style='margin:0; padding:0; background-color: lightgray;'>"
               "<a href=\"%1\"><img src=\"%2\"></a></body></html>")
        .arg(link, image);
}

void AdController::resetToStaticAd() {
    if (displayingStaticAd_) return;
    // A banner refused while the panel was closed is not taken as shown: the panel would
    // open blank.
    staticAdPending_ = false;
    displayingStaticAd_ = loadHTMLBody(staticPage(fileUrlText(bannerPath_)), true);
    staticAdPending_ = !displayingStaticAd_;
}

void AdController::showPendingStaticAd() {
    if (staticAdPending_) resetToStaticAd();
}

void AdController::displayAdWithMagicNumber(const QString& magicNumber, QSizeF size) {
    // No ad network: its page could come from nowhere.
    if (hosts_.script.isEmpty()) return resetToStaticAd();
    displayingStaticAd_ = false;
    staticAdPending_ = false;
    loadHTMLBody(scriptPage(hosts_.script, magicNumber, size));
}

void AdController::displayAdWithImageURL(const QString& imagePath, const QString& magicNumber) {
    if (hosts_.image.isEmpty()) return resetToStaticAd();
    displayingStaticAd_ = false;
    staticAdPending_ = false;
    loadHTMLBody(imagePage(hosts_, imagePath, magicNumber));
}

bool AdController::loadHTMLBody(const QString& html, bool staticBanner) {
    if (delegate_ && !delegate_->shouldAdDisplay()) return false;
    if (delegate_) delegate_->adWillChange();
    if (staticBanner && view_.showStaticBanner(bannerPath_)) {
        if (delegate_) delegate_->adDidChange();
        return true;
    }
    const QString path = NextAdFilePath(this);
    bool written = false;
    if (!path.isEmpty() && ZYMFileManager::ensureDirectoriesInPath(QFileInfo(path).absolutePath())) {
        QSaveFile file(path);
        written = file.open(QIODevice::WriteOnly) && file.write(html.toUtf8()) >= 0 && file.commit();
    }
    if (written)
        view_.loadUrl(QUrl(fileUrlText(path)));
    else
        view_.loadHtml(html);
    if (delegate_) delegate_->adDidChange();
    return true;
}

bool AdController::acceptNavigation(AdFrame frame, AdNavigationType type, const QString& url, bool byListener) {
    switch (type) {
    case AdNavigationType::LinkClicked:
        if (byListener)
            openInBrowser(url);
        else
            NSLog(QStringLiteral("Ad page: a link followed without a click was dropped: %1").arg(url));
        return false;
    case AdNavigationType::Other:
        if (frame == AdFrame::Offscreen) {
            if (byListener) openInBrowser(url);
            return false;
        }
        return url == QLatin1String("about:blank") ||
               url.startsWith(AdHosts::scriptBase(hosts_.script) + QStringLiteral("/html")) || isKnownCacheFile(url);
    default: return false;
    }
}

void AdController::newWindowRequested(const QString& url, bool byListener) {
    if (byListener)
        openInBrowser(url);
    else
        NSLog(QStringLiteral("Ad page: a window opened without a click was dropped: %1").arg(url));
}

void AdController::openInBrowser(const QString& url) {
    const QUrl parsed(url);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || parsed.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        NSLog(QStringLiteral("Ad page: not opened in the browser: %1").arg(url));
        return;
    }
    if (openUrl_) openUrl_(parsed);
}

void AdController::consoleMessage(const QString& message) { NSLog(QStringLiteral("ERROR!!!!\n%1").arg(message)); }

void AdController::scriptDialogRefused(const QString& kind, const QString& message) {
    NSLog(QStringLiteral("Ad page: %1 dismissed: %2").arg(kind, message));
}
