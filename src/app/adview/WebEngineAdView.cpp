#include "app/adview/WebEngineAdView.h"

#include <QDesktopServices>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>

namespace {

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
    Page(QWebEngineProfile* profile, WebEngineAdView& view, AdFrame frame)
        : QWebEnginePage(profile, &view), view_(view), frame_(frame) {}

    bool pendingHtml = false;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool) override {
        // A page from memory arrives as a data URL of our own making.
        if (pendingHtml && url.scheme() == QLatin1String("data")) {
            pendingHtml = false;
            return true;
        }
        AdController* controller = view_.controller();
        return controller && controller->acceptNavigation(frame_, TypeOf(type), url.toString(QUrl::FullyEncoded));
    }

    QWebEnginePage* createWindow(WebWindowType) override { return view_.offscreen_; }

    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int, const QString&) override {
        if (AdController* controller = view_.controller()) controller->consoleMessage(message);
    }

private:
    WebEngineAdView& view_;
    AdFrame frame_;
};

WebEngineAdView::WebEngineAdView(QString bannerPath, QWidget* parent)
    : QWebEngineView(parent), bannerPath_(std::move(bannerPath)), interceptor_(*this), profile_(new QWebEngineProfile) {
    profile_->setHttpCacheType(QWebEngineProfile::NoCache);
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    QWebEngineSettings* settings = profile_->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    // The pages are files that run the network's remote scripts and show the banner file;
    // other files are refused by the interceptor.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    profile_->setUrlRequestInterceptor(&interceptor_);
    settings->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    page_ = new Page(profile_.get(), *this, AdFrame::AdView);
    offscreen_ = new Page(profile_.get(), *this, AdFrame::Offscreen);
    setPage(page_);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
}

WebEngineAdView::~WebEngineAdView() {
    controller_ = nullptr;
    // The pages go before their profile.
    setPage(nullptr);
    delete page_;
    delete offscreen_;
}

void WebEngineAdView::setController(AdController* controller) { controller_ = controller; }

void WebEngineAdView::loadUrl(const QUrl& url) { page_->load(url); }
void WebEngineAdView::loadHtml(const QString& html) {
    page_->pendingHtml = true;
    page_->setHtml(html);
}
void WebEngineAdView::stopLoading() {
    page_->triggerAction(QWebEnginePage::Stop);
    offscreen_->triggerAction(QWebEnginePage::Stop);
}

void WebEngineAdView::openInBrowser(const QUrl& url) { QDesktopServices::openUrl(url); }
