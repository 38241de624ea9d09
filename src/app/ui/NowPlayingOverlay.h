#pragma once
// The now-playing overlay: a floating panel with the song, artist, album and album art
// that fades in over 1 s when a song starts, holds 2 s and fades out over 1 s. A press on
// its album art brings it back to full strength and holds it; the release fades it out at
// once. Dragging the art moves the panel; the place is kept in the user defaults. Once
// faded out, nothing of it stays on screen. Main thread only; time from a Clock and a
// Scheduler, so tests step it.

#include <QImage>
#include <QLabel>
#include <QPoint>
#include <QRectF>
#include <QWidget>

#include <memory>
#include <optional>

#include "app/ui/Fades.h"

class Clock;
class ScheduledTimer;
class Scheduler;
class UserDefaults;

enum class ImageScaling { Proportionally = 0, ToFit = 1, None = 2 };
// The placements an image can take in its frame; any other value places it at the frame's
// bottom-left corner.
enum class ImageAlignment {
    Center = 0,
    Top = 1,
    TopLeft = 2,
    TopRight = 3,
    Left = 4,
    Bottom = 5,
    BottomLeft = 6,
    BottomRight = 7,
    Right = 8,
};

// Where an image of `image` size is drawn in `frame`. A proportional scaling fits the
// whole image (up or down); nothing is clamped, so an unscaled image larger than the frame
// overhangs it.
QRectF scaledImageRect(QSizeF image, const QRectF& frame, ImageScaling scaling, ImageAlignment alignment);

// An image drawn with a fixed opacity.
class TranslucentImageView : public QWidget {
public:
    explicit TranslucentImageView(float alpha = 1.0f, QWidget* parent = nullptr);
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }
    void setScaling(ImageScaling scaling) { scaling_ = scaling; }
    void setAlignment(ImageAlignment alignment) { alignment_ = alignment; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    float alpha_;
    ImageScaling scaling_ = ImageScaling::Proportionally;
    ImageAlignment alignment_ = ImageAlignment::Center;
};

class NowPlayingOverlayController : public QWidget, public WindowFadeDelegate {
public:
    static constexpr int kFadeIncrements = 50;
    static constexpr double kFadeSeconds = 1.0;
    static constexpr int kHoldMs = 2000;
    // The top-left corner of the panel on screen, as "x y".
    static constexpr const char* kPositionKey = "NSWindow Frame overlayWindow";

    NowPlayingOverlayController(UserDefaults& defaults, const Clock& clock, Scheduler& scheduler);
    ~NowPlayingOverlayController() override;

    // Missing texts show as "", no image leaves the art empty.
    void showWindowWithSong(const QString& song, const QString& album, const QString& artist, const QImage& albumArt);
    void fadeInWindow();
    void fadeOutWindow();
    // A press on the album art, and its release.
    void stopFading();
    void resumeFading();

    bool fadingPaused() const { return fadingPaused_; }
    bool holding() const;
    float alpha() const;
    WindowFadeController::State fadeState() const;
    QString song() const { return song_->text(); }
    QString album() const { return album_->text(); }
    QString artist() const { return artist_->text(); }
    const QImage& albumArt() const { return art_->image(); }
    // The album art's area, in the panel's coordinates: where presses are taken.
    QRect albumArtRect() const { return art_->geometry(); }

    void fadeInCompletedForWindow() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void delayTimerFired();
    void placeOnFirstShow();
    void savePosition();

    UserDefaults& defaults_;
    const Clock& clock_;
    Scheduler& scheduler_;
    TranslucentImageView* art_;
    QLabel* song_;
    QLabel* artist_;
    QLabel* album_;
    std::unique_ptr<WindowFadeController> fadeController_;
    std::unique_ptr<ScheduledTimer> delayTimer_;
    bool fadingPaused_ = false;
    bool placed_ = false;
    std::optional<QPoint> dragOffset_;
};
