#pragma once
// The display panel at the top of the main window, in the manner of a hardware radio's:
// two centred lines of what plays (with buttons and images among the text), the
// coming-soon line, the hover line, the song-time label and the album art, over a
// bordered background in the colour scheme's "display_background" with a gloss overlay
// that never takes the mouse.

#include <QColor>
#include <QLabel>
#include <QWidget>

#include <functional>

#include "app/ui/TextFields.h"

class Scheduler;
class LineLayoutView;

class NowPlayingDisplay : public QWidget {
    Q_OBJECT
public:
    // `background` answers the current scheme's background colour at each paint; the hover
    // line clears itself on `scheduler` 15 s after its last text.
    NowPlayingDisplay(std::function<QColor()> background, Scheduler& scheduler, QWidget* parent = nullptr);
    static constexpr double kHoverLineSeconds = 15.0;

    LineLayoutView* line1() const { return line1_; }
    LineLayoutView* line2() const { return line2_; }
    QLabel* comingSoonLine() const { return comingSoon_; }
    TemporaryTextField* hoverLine() const { return hover_; }
    ClickableTextField* songTimeLabel() const { return songTime_; }
    QLabel* albumArtView() const { return art_; }

    // The border's grey levels, outermost first: top-left edges, bottom-right edges, the
    // inner frame.
    static constexpr qreal kTopLeftLevel = 0.57;
    static constexpr qreal kBottomRightLevel = 0.88;
    static constexpr qreal kFrameLevel = 0.4;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<QColor()> background_;
    LineLayoutView* line1_;
    LineLayoutView* line2_;
    QLabel* comingSoon_;
    TemporaryTextField* hover_;
    ClickableTextField* songTime_;
    QLabel* art_;
};

// The gloss over the panel: three images stretched over its bounds; the mouse passes
// through to the buttons beneath.
class RadioOverlayView : public QWidget {
    Q_OBJECT
public:
    explicit RadioOverlayView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
