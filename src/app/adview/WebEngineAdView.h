#pragma once

// The ad controller's web view. Its own profile keeps nothing (off the record, no HTTP
// cache); no context menu, drops, scroll bars, plug-ins or PDF viewer; the pages may read
// no file but the ad files and the banner, and choose none to upload.
// Every navigation asks the controller, telling it whether the listener clicked: a page's
// script can follow a link or open a window, but only a real click in the view lets
// anything reach the browser. No window is ever made: after a click, the address of the
// window asked for goes to the browser.
// JavaScript dialogs are answered as dismissed and logged, never shown.
// Main thread only.

#include "app/support/AdController.h"

#include <QElapsedTimer>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <memory>

class QWebEngineNewWindowRequest;
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

    // Makes the engine ready when the program did not link it: it shares its GL
    // contexts with the application's, which only exist once asked for.
    static void prepareEngine();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    class Page;
    class FileGuard : public QWebEngineUrlRequestInterceptor {
    public:
        explicit FileGuard(WebEngineAdView& view) : view_(view) {}
        void interceptRequest(QWebEngineUrlRequestInfo& info) override;

    private:
        WebEngineAdView& view_;
    };
    // A click of the listener's in the view, used by the first navigation or window that
    // follows it within a few seconds.
    bool takeClick();
    void newWindowRequested(QWebEngineNewWindowRequest& request);

    QString bannerPath_;
    FileGuard interceptor_;
    std::unique_ptr<QWebEngineProfile> profile_;
    Page* page_ = nullptr;
    AdController* controller_ = nullptr;
    QElapsedTimer click_;
};
