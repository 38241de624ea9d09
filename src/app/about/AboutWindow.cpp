#include "app/about/AboutWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/foundation/Resources.h"

namespace {

class QtTicker : public AboutTicker {
public:
    void start(int intervalMs, std::function<void()> tick) override {
        QObject::disconnect(connection_);
        connection_ = QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
        timer_.start(intervalMs);
    }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
    QMetaObject::Connection connection_;
};

constexpr int kPaddingLines = 12;

QString ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

}  // namespace

AboutInfo AboutInfo::fromBuild() {
    return {QStringLiteral(ZYM_ABOUT_NAME), QStringLiteral(ZYM_ABOUT_SHORT_VERSION),
            QStringLiteral(ZYM_ABOUT_BUILD_VERSION), QStringLiteral(ZYM_ABOUT_COPYRIGHT),
            Resources::find(QStringLiteral("images/zymradio"), QStringLiteral("png"))};
}

QString AboutWindowController::shippedCreditsFolder() {
    for (QString root : Resources::roots()) {
        if (root.endsWith(QLatin1Char('/'))) root.chop(1);
        if (QFileInfo::exists(root + QStringLiteral("/Credits.html")) ||
            QFileInfo::exists(root + QStringLiteral("/Credits/index.html")))
            return root;
    }
    return QCoreApplication::applicationDirPath();
}

AboutWindowController::AboutWindowController(AboutInfo info, QString creditsFolder, std::unique_ptr<AboutTicker> ticker,
                                             QWidget* parent)
    : QWidget(parent, Qt::Window),
      info_(std::move(info)),
      creditsFolder_(std::move(creditsFolder)),
      ticker_(ticker ? std::move(ticker) : std::make_unique<QtTicker>()) {
    setWindowTitle(tr("About %1").arg(info_.name));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::Base, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    iconView_ = new QLabel(this);
    const QPixmap icon(info_.iconPath);
    iconView_->setPixmap(icon.isNull() ? QApplication::windowIcon().pixmap(64, 64)
                                       : icon.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    iconView_->setAlignment(Qt::AlignCenter);
    nameField_ = new QLabel(this);
    QFont bold = nameField_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    nameField_->setFont(bold);
    versionField_ = new QLabel(this);
    copyrightField_ = new QLabel(this);
    for (QLabel* label : {nameField_, versionField_, copyrightField_})
        label->setAlignment(Qt::AlignCenter);
    textView_ = new QTextEdit(this);
    textView_->setReadOnly(true);
    textView_->setFrameShape(QFrame::NoFrame);
    textView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    textView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    textView_->setTextInteractionFlags(Qt::NoTextInteraction);
    textView_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(iconView_);
    layout->addWidget(nameField_);
    layout->addWidget(versionField_);
    layout->addWidget(copyrightField_);
    layout->addWidget(textView_, 1);
    resize(300, 360);

    displayApplicationInfo();
    loadTextToScroll();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

AboutWindowController::~AboutWindowController() = default;

AboutWindowController& AboutWindowController::sharedInstance() {
    static AboutWindowController* panel = new AboutWindowController(AboutInfo::fromBuild(), shippedCreditsFolder());
    return *panel;
}

void AboutWindowController::displayApplicationInfo() {
    versionField_->setText(versionText());
    nameField_->setText(applicationNameText());
    copyrightField_->setText(copyrightText());
}

QString AboutWindowController::versionText() const {
    return QStringLiteral("Version %1 (%2)").arg(info_.shortVersion, info_.buildVersion);
}
QString AboutWindowController::applicationNameText() const { return info_.name; }
QString AboutWindowController::copyrightText() const { return info_.copyright; }

QString AboutWindowController::textToScroll() const {
    const QString rich = creditsFolder_ + QStringLiteral("/Credits.html");
    if (QFileInfo::exists(rich)) return ReadText(rich);
    return ReadText(creditsFolder_ + QStringLiteral("/Credits/index.html"));
}

void AboutWindowController::loadTextToScroll() {
    const QString padding = QStringLiteral("<br>").repeated(kPaddingLines);
    // The pictures of Credits/index.html are found beside it.
    textView_->document()->setBaseUrl(QUrl::fromLocalFile(creditsFolder_ + QStringLiteral("/Credits/")));
    textView_->setHtml(padding + textToScroll() + padding);
}

bool AboutWindowController::isScrolling() const { return ticker_->isActive(); }

void AboutWindowController::showPanel() {
    setScrollAmount(0);
    startScrollingAnimation();
    show();
    raise();
    activateWindow();
}

void AboutWindowController::startScrollingAnimation() {
    if (ticker_->isActive()) return;
    ticker_->start(kTickMs, [this] { scrollOneUnit(); });
}

void AboutWindowController::stopScrollingAnimation() { ticker_->stop(); }

double AboutWindowController::scrollLimit() const {
    return textView_->document()->size().height() - textView_->viewport()->height();
}

void AboutWindowController::scrollOneUnit() {
    // The amount is kept here: the scroll bar holds whole points only.
    if (amount_ >= scrollLimit())
        setScrollAmount(kStep);
    else
        setScrollAmount(amount_ + kStep);
}

void AboutWindowController::setScrollAmount(double amount) {
    amount_ = amount;
    textView_->verticalScrollBar()->setValue(static_cast<int>(amount));
    textView_->viewport()->update();
}

void AboutWindowController::closeEvent(QCloseEvent* event) {
    stopScrollingAnimation();
    hide();
    event->ignore();
}

void AboutWindowController::hideEvent(QHideEvent* event) {
    stopScrollingAnimation();
    QWidget::hideEvent(event);
}

void orderFrontCustomAboutPanel() { AboutWindowController::sharedInstance().showPanel(); }
