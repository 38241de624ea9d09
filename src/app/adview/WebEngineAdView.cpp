#include "app/adview/WebEngineAdView.h"

#include <QChildEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>

namespace QtWebEngineCore {
// The engine's own set-up of the shared GL context, which it runs before the application
// object exists when it is linked to the program; exported for a late start.
Q_DECL_IMPORT void initialize();
}  // namespace QtWebEngineCore

namespace {

// As long as a browser lets a click open a pop-up.
constexpr qint64 kClickLifetimeMs = 5000;

AdNavigationType TypeOf(QWebEnginePage::NavigationType type) {
    switch (type) {
    case QWebEnginePage::NavigationTypeLinkClicked: return AdNavigationType::LinkClicked;
    case QWebEnginePage::NavigationTypeFormSubmitted: return AdNavigationType::FormSubmitted;
    case QWebEnginePage::NavigationTypeBackForward: return AdNavigationType::BackForward;
    case QWebEnginePage::NavigationTypeReload: return AdNavigationType::Reload;
    default: return AdNavigationType::Other;  // typed, redirects, script loads
    }
}

}  // namespace

void WebEngineAdView::FileGuard::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const QUrl url = info.requestUrl();
    if (!url.isLocalFile()) return;
    const QString text = url.toString(QUrl::FullyEncoded);
    const bool allowed =
        (view_.controller() && AdController::isKnownCacheFile(text)) || url.toLocalFile() == view_.bannerPath_;
    if (!allowed) info.block(true);
}

class WebEngineAdView::Page : public QWebEnginePage {
public:
    Page(QWebEngineProfile* profile, WebEngineAdView& view) : QWebEnginePage(profile, &view), view_(view) {
        connect(this, &QWebEnginePage::featurePermissionRequested, this, [this](const QUrl& origin, Feature feature) {
            setFeaturePermission(origin, feature, PermissionDeniedByUser);
        });
        connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
                [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
    }

    bool pendingHtml = false;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool) override {
        // A page from memory arrives as a data URL of our own making.
        if (pendingHtml && url.scheme() == QLatin1String("data")) {
            pendingHtml = false;
            return true;
        }
        AdController* controller = view_.controller();
        if (!controller) return false;
        const bool byListener = type == NavigationTypeLinkClicked && view_.takeClick();
        return controller->acceptNavigation(AdFrame::AdView, TypeOf(type), url.toString(QUrl::FullyEncoded),
                                            byListener);
    }

    // Windows are decided by WebEngineAdView::newWindowRequested; none is made.
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int, const QString&) override {
        if (AdController* controller = view_.controller()) controller->consoleMessage(message);
    }
    void javaScriptAlert(const QUrl&, const QString& message) override { refused(QStringLiteral("alert"), message); }
    bool javaScriptConfirm(const QUrl&, const QString& message) override {
        refused(QStringLiteral("confirm"), message);
        return false;
    }
    bool javaScriptPrompt(const QUrl&, const QString& message, const QString&, QString*) override {
        refused(QStringLiteral("prompt"), message);
        return false;
    }
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override { return {}; }

private:
    void refused(const QString& kind, const QString& message) {
        if (AdController* controller = view_.controller()) controller->scriptDialogRefused(kind, message);
    }

    WebEngineAdView& view_;
};

void WebEngineAdView::prepareEngine() { QtWebEngineCore::initialize(); }

WebEngineAdView::WebEngineAdView(QString bannerPath, QWidget* parent)
    : QWebEngineView(parent), bannerPath_(std::move(bannerPath)), interceptor_(*this), profile_(new QWebEngineProfile) {
    profile_->setHttpCacheType(QWebEngineProfile::NoCache);
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    QWebEngineSettings* settings = profile_->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    // Pop-ups only after a click; which of them reach the browser is decided below.
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    settings->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
    // The pages are files that run the network's remote scripts and show the banner file;
    // other files are refused by the interceptor.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    profile_->setUrlRequestInterceptor(&interceptor_);
    settings->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    // mailto:, zymradio: and the like never reach the desktop from here.
    settings->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    page_ = new Page(profile_.get(), *this);
    connect(page_, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) { newWindowRequested(request); });
    setPage(page_);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
}

WebEngineAdView::~WebEngineAdView() {
    controller_ = nullptr;
    // The pages go before their profile.
    setPage(nullptr);
    delete page_;
}

void WebEngineAdView::setController(AdController* controller) { controller_ = controller; }

void WebEngineAdView::loadUrl(const QUrl& url) { page_->load(url); }
void WebEngineAdView::loadHtml(const QString& html) {
    page_->pendingHtml = true;
    page_->setHtml(html);
}
void WebEngineAdView::stopLoading() { page_->triggerAction(QWebEnginePage::Stop); }

void WebEngineAdView::openInBrowser(const QUrl& url) { QDesktopServices::openUrl(url); }

// The engine draws and takes input in a child widget of its own making.
void WebEngineAdView::childEvent(QChildEvent* event) {
    if (event->added() && event->child()->isWidgetType()) event->child()->installEventFilter(this);
    QWebEngineView::childEvent(event);
}

bool WebEngineAdView::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) click_.start();
        break;
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) click_.start();
        break;
    }
    default: break;
    }
    return QWebEngineView::eventFilter(watched, event);
}

bool WebEngineAdView::takeClick() {
    const bool fresh = click_.isValid() && click_.elapsed() < kClickLifetimeMs;
    click_.invalidate();
    return fresh;
}

// No window is ever made: after a click its address goes to the browser (a window the
// page means to fill in later stays unopened); nothing opens without one.
void WebEngineAdView::newWindowRequested(QWebEngineNewWindowRequest& request) {
    const bool byListener = request.isUserInitiated() && takeClick();
    if (controller_) controller_->newWindowRequested(request.requestedUrl().toString(QUrl::FullyEncoded), byListener);
}
