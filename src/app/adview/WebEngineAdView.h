#pragma once

// The ad controller's web view. Its own profile keeps nothing (off the record, no HTTP
// cache); no context menu, drops or scroll bars; the pages may read no file but the ad
// files and the banner.
// Every navigation asks the controller; pages meant for new windows load in a hidden page
// whose navigations the controller sends on to the browser.
// Main thread only.

#include "app/support/AdController.h"

#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <memory>

class QWebEngineProfile;

class WebEngineAdView : public QWebEngineView, public AdView {
    Q_OBJECT
public:
    // `bannerPath`: the house banner, the one other file the pages may show.
    explicit WebEngineAdView(QString bannerPath, QWidget* parent = nullptr);
    ~WebEngineAdView() override;

    // The controller deciding navigations; none refuses every navigation.
    void setController(AdController* controller);
    AdController* controller() const { return controller_; }

    void loadUrl(const QUrl& url) override;
    void loadHtml(const QString& html) override;
    void stopLoading() override;

    // The desktop's browser, for the controller.
    static void openInBrowser(const QUrl& url);

private:
    class Page;
    class FileGuard : public QWebEngineUrlRequestInterceptor {
    public:
        explicit FileGuard(WebEngineAdView& view) : view_(view) {}
        void interceptRequest(QWebEngineUrlRequestInfo& info) override;

    private:
        WebEngineAdView& view_;
    };
    QString bannerPath_;
    FileGuard interceptor_;
    std::unique_ptr<QWebEngineProfile> profile_;
    Page* page_ = nullptr;
    Page* offscreen_ = nullptr;
    AdController* controller_ = nullptr;
};
