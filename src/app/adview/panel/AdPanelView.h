#pragma once

// The ad panel's view: the house banner, drawn as a picture, until the first page is to
// load; only then is the web view made (for the program, from a module of its own), so no
// part of the web engine runs or is in memory while no ad has shown. From then on every
// page, the house banner's too, goes to the web view.
// The web view is a window of its own held in the panel: among the main window's widgets
// it would have the whole window composited through OpenGL at every repaint of any of
// them; this way only its own area is. A grab of the main window leaves it out.
// Main thread only.

#include "app/support/AdController.h"

#include <QPixmap>
#include <QWidget>

#include <functional>

class AdPanelView : public QWidget, public AdView {
public:
    // Makes the web view, without a parent, deciding with `controller`, and sets `view` to
    // it; null when it cannot be made.
    using WebViewFactory = std::function<QWidget*(AdController* controller, const QString& bannerPath, AdView** view)>;

    AdPanelView(QString bannerPath, WebViewFactory makeWebView, QWidget* parent = nullptr);
    ~AdPanelView() override;

    // Before the first page.
    void setController(AdController* controller) { controller_ = controller; }
    // None until the first page.
    QWidget* webView() const { return webWidget_; }

    void loadUrl(const QUrl& url) override;
    void loadHtml(const QString& html) override;
    void stopLoading() override;
    bool showStaticBanner(const QString& bannerPath) override;

    // The program's web views: the module "zymradio-adview" in `folder`.
    static WebViewFactory moduleFactory(const QString& folder);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AdView* ensureWebView();
    void holdWebView();

    QString bannerPath_;
    QPixmap banner_;
    WebViewFactory makeWebView_;
    AdController* controller_ = nullptr;
    QWidget* webWidget_ = nullptr;
    QWidget* holder_ = nullptr;
    AdView* web_ = nullptr;
    bool madeOnce_ = false;
};
