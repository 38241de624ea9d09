#include "app/adview/panel/AdPanelView.h"

#include "app/foundation/NSLog.h"

#include <QLibrary>
#include <QPainter>
#include <QVBoxLayout>

namespace {

QtMessageHandler lateStartForward = nullptr;

// Loaded late on purpose, the web engine warns that the application did not share GL
// contexts from its start. The ad view is a window of its own and needs no context of the
// main window's, so the two lines would only stand on the listener's terminal.
void DropLateStartWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg &&
        (message.startsWith(QLatin1String("Qt WebEngine seems to be initialized from a plugin")) ||
         message.startsWith(QLatin1String("Attribute Qt::AA_ShareOpenGLContexts must be set"))))
        return;
    if (lateStartForward) lateStartForward(type, context, message);
}

}  // namespace

AdPanelView::AdPanelView(QString bannerPath, WebViewFactory makeWebView, QWidget* parent)
    : QWidget(parent), bannerPath_(std::move(bannerPath)), makeWebView_(std::move(makeWebView)) {
    setObjectName(QStringLiteral("adPanelView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

// Not a child: it goes before the holder of its window, which would take the window
// from under it.
AdPanelView::~AdPanelView() { delete webWidget_; }

AdView* AdPanelView::ensureWebView() {
    if (web_ || madeOnce_) return web_;
    madeOnce_ = true;
    AdView* view = nullptr;
    QWidget* widget = makeWebView_ ? makeWebView_(controller_, bannerPath_, &view) : nullptr;
    if (!widget || !view) {
        NSLog(QStringLiteral("The ad view could not be made; the house banner stays."));
        delete widget;
        return nullptr;
    }
    webWidget_ = widget;
    web_ = view;
    // A window only in Qt's eyes: it never keeps the program running.
    widget->setAttribute(Qt::WA_QuitOnClose, false);
    widget->resize(size());
    return web_;
}

// Only after the first load: the engine adds its drawing widget then, and a window made
// before it would be made anew for OpenGL, out of the holder's hands.
void AdPanelView::holdWebView() {
    if (holder_ || !webWidget_) return;
    webWidget_->winId();
    holder_ = QWidget::createWindowContainer(webWidget_->windowHandle(), this);
    holder_->setObjectName(QStringLiteral("adWebViewHolder"));
    layout()->addWidget(holder_);
    holder_->show();
}

void AdPanelView::loadUrl(const QUrl& url) {
    if (AdView* view = ensureWebView()) {
        view->loadUrl(url);
        holdWebView();
    }
}

void AdPanelView::loadHtml(const QString& html) {
    if (AdView* view = ensureWebView()) {
        view->loadHtml(html);
        holdWebView();
    }
}

void AdPanelView::stopLoading() {
    if (web_) web_->stopLoading();
}

bool AdPanelView::showStaticBanner(const QString& bannerPath) {
    if (web_) return false;
    if (bannerPath != bannerPath_ || banner_.isNull()) {
        bannerPath_ = bannerPath;
        banner_ = bannerPath.isEmpty() ? QPixmap() : QPixmap(bannerPath);
    }
    update();
    return true;
}

// As the static page draws it: light grey, the picture in the middle.
void AdPanelView::paintEvent(QPaintEvent*) {
    if (web_) return;
    QPainter painter(this);
    painter.fillRect(rect(), QColor(211, 211, 211));
    if (!banner_.isNull()) {
        const QSize size = banner_.deviceIndependentSize().toSize();
        painter.drawPixmap(QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size), banner_);
    }
}

AdPanelView::WebViewFactory AdPanelView::moduleFactory(const QString& folder) {
    return [folder](AdController* controller, const QString& bannerPath, AdView** view) -> QWidget* {
        using Make = QWidget* (*)(AdController*, const QString&, AdView**);
        // Loaded once and kept to the end of the process.
        QLibrary module(folder + QStringLiteral("/zymradio-adview"));
        lateStartForward = qInstallMessageHandler(DropLateStartWarnings);
        auto make = reinterpret_cast<Make>(module.resolve("zymradio_make_ad_view"));
        QWidget* made = make ? make(controller, bannerPath, view) : nullptr;
        qInstallMessageHandler(lateStartForward);
        if (!make) NSLog(QStringLiteral("The ad view module could not be loaded: %1").arg(module.errorString()));
        return made;
    };
}
