#include "app/ui/NowPlayingDisplay.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "app/ui/DrawingHelpers.h"
#include "app/ui/LineLayoutView.h"
#include "app/ui/TextFields.h"

namespace {
QColor grey(qreal level) { return QColor::fromRgbF(float(level), float(level), float(level), 1.0f); }

// Keeps the overlay over the whole panel, inset by the border.
class OverlayFollower : public QObject {
public:
    OverlayFollower(QWidget* panel, QWidget* overlay) : QObject(panel), overlay_(overlay) {
        panel->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show) {
            auto* panel = static_cast<QWidget*>(watched);
            overlay_->setGeometry(panel->rect().adjusted(2, 2, -2, -2));
            overlay_->raise();
        }
        return false;
    }

private:
    QWidget* overlay_;
};
}  // namespace

NowPlayingDisplay::NowPlayingDisplay(std::function<QColor()> background, Scheduler& scheduler, QWidget* parent)
    : QWidget(parent), background_(std::move(background)) {
    setObjectName(QStringLiteral("display"));
    setFixedHeight(96);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 4, 6, 4);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(1);
    line1_ = new LineLayoutView;
    line2_ = new LineLayoutView;
    line1_->setObjectName(QStringLiteral("line1"));
    line2_->setObjectName(QStringLiteral("line2"));
    comingSoon_ = new TruncatingTextField;
    comingSoon_->setObjectName(QStringLiteral("comingSoon"));
    QFont small = comingSoon_->font();
    small.setPointSizeF(std::max<qreal>(7, small.pointSizeF() - 2));
    comingSoon_->setFont(small);
    comingSoon_->setAlignment(Qt::AlignCenter);
    hover_ = new TemporaryTextField(scheduler);
    hover_->setDelay(kHoverLineSeconds);
    hover_->setObjectName(QStringLiteral("hoverLine"));
    hover_->setFont(small);
    hover_->setAlignment(Qt::AlignCenter);
    for (QLabel* label : {comingSoon_, static_cast<QLabel*>(hover_)})
        label->setMinimumWidth(1);
    lines->addWidget(line1_);
    lines->addWidget(line2_);
    lines->addWidget(comingSoon_);
    lines->addWidget(hover_);
    row->addLayout(lines, 1);
    songTime_ = new ClickableTextField;
    songTime_->setObjectName(QStringLiteral("songTime"));
    songTime_->setMinimumWidth(70);
    songTime_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(songTime_);
    art_ = new QLabel;
    art_->setObjectName(QStringLiteral("albumArt"));
    art_->setFixedSize(80, 80);
    art_->setScaledContents(true);
    row->addWidget(art_);
    auto* overlay = new RadioOverlayView(this);
    new OverlayFollower(this, overlay);
}

void NowPlayingDisplay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect bounds = rect();
    p.save();
    // One-pixel edges: top and left darker, bottom and right lighter.
    p.fillRect(QRect(bounds.left(), bounds.top(), bounds.width(), 1), grey(kTopLeftLevel));
    p.fillRect(QRect(bounds.left(), bounds.top(), 1, bounds.height()), grey(kTopLeftLevel));
    p.fillRect(QRect(bounds.left(), bounds.bottom(), bounds.width(), 1), grey(kBottomRightLevel));
    p.fillRect(QRect(bounds.right(), bounds.top() + 1, 1, bounds.height() - 1), grey(kBottomRightLevel));
    const QRect frame = bounds.adjusted(1, 1, -1, -1);
    p.setPen(grey(kFrameLevel));
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame.adjusted(0, 0, -1, -1));
    p.fillRect(frame.adjusted(1, 1, -1, -1), background_ ? background_() : QColor(Qt::black));
    p.restore();
}

RadioOverlayView::RadioOverlayView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("displayOverlay"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RadioOverlayView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    ImageSetRenderer(imageNamed(QStringLiteral("display_overlay_left")),
                     imageNamed(QStringLiteral("display_overlay_center")),
                     imageNamed(QStringLiteral("display_overlay_right")))
        .drawInRect(p, QRectF(rect()));
}
