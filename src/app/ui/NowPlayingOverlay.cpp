#include "app/ui/NowPlayingOverlay.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

#include "app/foundation/Clock.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/ui/WindowHelpers.h"

QRectF scaledImageRect(QSizeF image, const QRectF& frame, ImageScaling scaling, ImageAlignment alignment) {
    if (scaling == ImageScaling::ToFit) return frame;
    const qreal W = frame.width();
    const qreal H = frame.height();
    QSizeF size = image;
    if (scaling == ImageScaling::Proportionally && image.width() > 0 && image.height() > 0)
        size = image * std::min(H / image.height(), W / image.width());
    const qreal w = size.width();
    const qreal h = size.height();
    // y grows downwards here, so "top" is the frame's own y.
    QPointF offset;
    switch (alignment) {
    case ImageAlignment::Center: offset = {(W - w) / 2, (H - h) / 2}; break;
    case ImageAlignment::Top: offset = {(W - w) / 2, 0}; break;
    case ImageAlignment::TopLeft: offset = {0, 0}; break;
    case ImageAlignment::TopRight: offset = {W - w, 0}; break;
    case ImageAlignment::Left: offset = {0, (H - h) / 2}; break;
    case ImageAlignment::Bottom: offset = {(W - w) / 2, H - h}; break;
    case ImageAlignment::BottomLeft: offset = {0, H - h}; break;
    case ImageAlignment::BottomRight: offset = {W - w, H - h}; break;
    case ImageAlignment::Right: offset = {W - w, (H - h) / 2}; break;
    default: offset = {0, H - h}; break;
    }
    return QRectF(frame.topLeft() + offset, size);
}

TranslucentImageView::TranslucentImageView(float alpha, QWidget* parent) : QWidget(parent), alpha_(alpha) {}

void TranslucentImageView::setImage(const QImage& image) {
    image_ = image;
    update();
}

void TranslucentImageView::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(alpha_);
    painter.drawImage(scaledImageRect(image_.size(), rect(), scaling_, alignment_), image_);
}

namespace {
constexpr int kArtSide = 100;
constexpr int kMargin = 12;
constexpr QSize kPanelSize{440, kArtSide + 2 * kMargin};

QLabel* Line(QWidget* parent, int pixelSize, bool bold, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    label->setTextFormat(Qt::PlainText);
    return label;
}
}  // namespace

NowPlayingOverlayController::NowPlayingOverlayController(UserDefaults& defaults, const Clock& clock,
                                                         Scheduler& scheduler)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      defaults_(defaults),
      clock_(clock),
      scheduler_(scheduler) {
    setObjectName(QStringLiteral("NowPlayingOverlay"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kPanelSize);
    art_ = new TranslucentImageView(1.0f, this);
    art_->setObjectName(QStringLiteral("albumArt"));
    art_->setGeometry(kMargin, kMargin, kArtSide, kArtSide);
    // The art's presses are the panel's own.
    art_->setAttribute(Qt::WA_TransparentForMouseEvents);
    const int textX = kMargin * 2 + kArtSide;
    const int textWidth = kPanelSize.width() - textX - kMargin;
    song_ = Line(this, 20, true, "song");
    artist_ = Line(this, 15, false, "artist");
    album_ = Line(this, 15, false, "album");
    int y = kMargin + 8;
    for (QLabel* line : {song_, artist_, album_}) {
        line->setGeometry(textX, y, textWidth, line->fontMetrics().height() + 4);
        y += line->height() + 6;
    }
}

NowPlayingOverlayController::~NowPlayingOverlayController() {
    delayTimer_.reset();
    fadeController_.reset();
}

void NowPlayingOverlayController::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
    painter.fillPath(panel, QColor(0x10, 0x14, 0x1c, 200));
}

void NowPlayingOverlayController::showWindowWithSong(const QString& song, const QString& album, const QString& artist,
                                                     const QImage& albumArt) {
    song_->setText(song.isNull() ? QString("") : song);
    album_->setText(album.isNull() ? QString("") : album);
    artist_->setText(artist.isNull() ? QString("") : artist);
    art_->setImage(albumArt);
    fadeInWindow();
}

void NowPlayingOverlayController::placeOnFirstShow() {
    if (placed_) return;
    placed_ = true;
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    QRect frame(QPoint(), size());
    frame.moveCenter(area.center());
    const QStringList stored = defaults_.string(QString::fromLatin1(kPositionKey)).split(QLatin1Char(' '));
    if (stored.size() == 2) {
        bool xOk = false, yOk = false;
        const int x = stored[0].toInt(&xOk);
        const int y = stored[1].toInt(&yOk);
        if (xOk && yOk) {
            // A place on a screen that is gone comes back onto one.
            QList<ScreenArea> screens;
            for (QScreen* s : QGuiApplication::screens())
                screens.push_back({s->geometry(), s->availableGeometry()});
            frame.moveTopLeft(QPoint(x, y));
            int own = 0;
            for (int i = 0; i < screens.size(); ++i)
                if (screens[i].frame.contains(frame.center())) own = i;
            if (!screens.isEmpty()) frame = fitFrameToScreens(frame, screens, own);
        }
    }
    move(frame.topLeft());
    savePosition();
}

void NowPlayingOverlayController::savePosition() {
    defaults_.setString(QString::fromLatin1(kPositionKey), QStringLiteral("%1 %2").arg(x()).arg(y()));
}

void NowPlayingOverlayController::fadeInWindow() {
    if (!fadeController_) fadeController_ = std::make_unique<WindowFadeController>(this, this, clock_, scheduler_);
    placeOnFirstShow();
    // A hold still pending belongs to an earlier show and must not cut this one short.
    delayTimer_.reset();
    update();
    fadeController_->startWindowFadeIn(kFadeIncrements, kFadeSeconds);
}

void NowPlayingOverlayController::fadeOutWindow() {
    if (!fadeController_) fadeController_ = std::make_unique<WindowFadeController>(this, this, clock_, scheduler_);
    delayTimer_.reset();
    fadeController_->startWindowFadeOut(kFadeIncrements, kFadeSeconds);
}

void NowPlayingOverlayController::fadeInCompletedForWindow() {
    if (fadingPaused_) return;
    // A newer hold replaces an older one.
    delayTimer_ = scheduler_.singleShot(std::chrono::milliseconds(kHoldMs),
                                        [this] { Guarded("overlay hold", [this] { delayTimerFired(); }); });
}

void NowPlayingOverlayController::delayTimerFired() {
    delayTimer_.reset();
    if (!fadingPaused_) fadeOutWindow();
}

void NowPlayingOverlayController::stopFading() {
    fadingPaused_ = true;
    fadeInWindow();
}

void NowPlayingOverlayController::resumeFading() {
    fadingPaused_ = false;
    fadeOutWindow();
}

bool NowPlayingOverlayController::holding() const { return delayTimer_ && delayTimer_->isActive(); }

float NowPlayingOverlayController::alpha() const { return isVisible() ? float(windowOpacity()) : 0.0f; }

WindowFadeController::State NowPlayingOverlayController::fadeState() const {
    return fadeController_ ? fadeController_->state() : WindowFadeController::Hidden;
}

void NowPlayingOverlayController::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !albumArtRect().contains(event->position().toPoint())) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragOffset_ = event->globalPosition().toPoint() - pos();
    Guarded("overlay press", [this] { stopFading(); });
}

void NowPlayingOverlayController::mouseMoveEvent(QMouseEvent* event) {
    if (!dragOffset_ || !(event->buttons() & Qt::LeftButton)) return;
    move(event->globalPosition().toPoint() - *dragOffset_);
}

void NowPlayingOverlayController::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragOffset_ || event->button() != Qt::LeftButton) return;
    dragOffset_.reset();
    savePosition();
    Guarded("overlay release", [this] { resumeFading(); });
}
