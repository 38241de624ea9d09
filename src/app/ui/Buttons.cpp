#include "app/ui/Buttons.h"

#include "app/foundation/ZYMPasteboard.h"
#include "app/foundation/NotificationCenter.h"
#include "app/ui/DrawingHelpers.h"

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStyleOptionButton>

#include <cmath>

// ---- RolloverButton ----

RolloverButton::RolloverButton(QWidget* parent) : QPushButton(parent) { setAttribute(Qt::WA_Hover); }

void RolloverButton::setCellShowsBorderOnlyWhileMouseInside(bool flag) {
    borderOnlyInside_ = flag;
    updateFlat();
}

void RolloverButton::updateFlat() { setFlat(borderOnlyInside_ && !inside_); }

void RolloverButton::mouseEnteredButton() {
    if (tracking_) tracking_->mouseDidEnterView(this);
}

void RolloverButton::mouseExitedButton() {
    if (tracking_) tracking_->mouseDidExitView(this);
}

void RolloverButton::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    inside_ = true;
    updateFlat();
    update();
    mouseEnteredButton();
}

void RolloverButton::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    if (!inside_) return;
    inside_ = false;
    updateFlat();
    update();
    mouseExitedButton();
}

// A button taken out of its window stops reporting: a later leave is not the mouse.
void RolloverButton::hideEvent(QHideEvent* event) {
    QPushButton::hideEvent(event);
    inside_ = false;
    updateFlat();
}

void RolloverButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::ParentChange) {
        inside_ = false;
        updateFlat();
    }
}

// ---- PresetButton ----

PresetButton::PresetButton(int tag, QWidget* parent) : RolloverButton(parent), tag_(tag) {
    setAcceptDrops(true);
    setCheckable(true);
}

QString PresetButton::existingPresetStationID() const {
    if (auto* host = dynamic_cast<const PresetHost*>(window())) return host->stationIDOnPreset(tag_);
    return QString();
}

QString PresetButton::imageNameForSlot(int slot, bool selected) {
    const int remainder = slot % 5;
    const char* piece = remainder == 1 ? "left" : remainder == 0 ? "right" : "center";
    return QStringLiteral("preset_%1_%2").arg(QLatin1String(piece), selected ? "selected" : "normal");
}

QSize PresetButton::sizeHint() const { return {64, imageNamed(QStringLiteral("preset_left_normal")).height()}; }

bool PresetButton::acceptsDrag(const QDropEvent& event) {
    if (!(event.possibleActions() & Qt::CopyAction)) return false;
    const QString id = event.mimeData() ? ZYMPasteboard::stationID(*event.mimeData()) : QString();
    if (id.isNull()) return false;
    const QString existing = existingPresetStationID();
    if (!existing.isNull() && existing == id) return false;
    showDragHighlight(true);
    return true;
}

void PresetButton::showDragHighlight(bool flag) {
    dragHighlight_ = flag;
    update();
}

void PresetButton::dragEnterEvent(QDragEnterEvent* event) {
    mouseEnteredButton();
    // The enter is always taken, so that the leave comes and clears the feedback; the
    // move answers whether a drop may happen.
    if (acceptsDrag(*event)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
    }
}

void PresetButton::dragMoveEvent(QDragMoveEvent* event) {
    if (acceptsDrag(*event)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void PresetButton::dragLeaveEvent(QDragLeaveEvent* event) {
    mouseExitedButton();
    showDragHighlight(false);
    event->accept();
}

void PresetButton::dropEvent(QDropEvent* event) {
    showDragHighlight(false);
    const QString id = event->mimeData() ? ZYMPasteboard::stationID(*event->mimeData()) : QString();
    if (id.isNull() || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return;
    }
    if (auto* host = dynamic_cast<PresetHost*>(window())) host->storeStationIDOnPreset(id, tag_);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void PresetButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool selected = isChecked() || isDown() || dragHighlight_;
    const QString suffix = selected ? QStringLiteral("_selected") : QStringLiteral("_normal");
    // The band is drawn "source atop"; give it an opaque ground of its own first.
    QImage band(size(), QImage::Format_ARGB32_Premultiplied);
    band.fill(Qt::transparent);
    {
        QPainter bp(&band);
        bp.fillRect(band.rect(), Qt::black);
        // The caps are narrow: the slot's own piece goes at its end of the button and the
        // middle fills the rest, so the five buttons join into one bar.
        const QImage own = imageNamed(imageNameForSlot(tag_, selected));
        const QImage middle = imageNamed("preset_center" + suffix);
        const int remainder = tag_ % 5;
        ImageSetRenderer(remainder == 1 ? own : middle, middle, remainder == 0 ? own : middle)
            .drawInRect(bp, QRectF(band.rect()));
    }
    p.drawImage(0, 0, band);

    QFont font = this->font();
    font.setPointSizeF(std::max<qreal>(6, font.pointSizeF() - 2));
    p.setFont(font);
    p.setPen(selected ? Qt::white : QColor(40, 40, 40));
    const QRectF frame(rect());
    const QFontMetricsF metrics(font);
    const QRectF title = CenterSizeInRect(QSizeF(metrics.horizontalAdvance(text()), metrics.height()), frame, true);
    p.setClipRect(frame);
    p.drawText(title, Qt::AlignCenter | Qt::TextSingleLine, text());
}

// ---- DisplayButton ----

DisplayButton::DisplayButton(int tag, QWidget* parent) : RolloverButton(parent), tag_(tag) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void DisplayButton::setAttributedTitle(const AttributedText& title) {
    title_ = title;
    setText(title.string());
    updateGeometry();
    update();
}

void DisplayButton::setButtonColor(const QColor& color) {
    color_ = color;
    update();
}

QSize DisplayButton::sizeHint() const {
    const QSizeF s = title_.size();
    return {int(std::ceil(s.width()) + std::ceil(s.height())), int(std::ceil(s.height()) + 2)};
}

std::pair<qreal, qreal> DisplayButton::fillAndStrokeAlpha() const {
    if (isDown() || menuShown_) return {0.6, 0.8};
    if (isMouseInside()) return {0.4, 0.6};
    if (menu_) return {0.05, 0.1};
    return {0.05, 0.4};
}

QRectF DisplayButton::drawingRectForBounds(const QRectF& bounds) const {
    const qreal h = title_.size().height();
    QRectF r = bounds.adjusted(h / 2, 1, -h / 2, -1);
    if (isDown() || menuShown_) r.translate(0, 1);
    return r;
}

void DisplayButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF f(rect());
    const QRectF outline = f.adjusted(0.5, 0.5, -0.5, -0.5);
    const auto [fill, stroke] = fillAndStrokeAlpha();
    QColor fillColor = color_, strokeColor = color_;
    fillColor.setAlphaF(fill);
    strokeColor.setAlphaF(stroke);
    const QPainterPath path = roundCorneredRectPath(outline, (f.height() - 2) / 2);
    p.fillPath(path, fillColor);
    p.setPen(QPen(strokeColor, 1));
    p.drawPath(path);
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.drawPath(roundCorneredRectPath(outline, outline.height() / 2));
    }
    const bool bright = isMouseInside() || isDown() || menuShown_;
    // Runs without a colour of their own take the button's.
    QColor text = color_;
    text.setAlpha(255);
    p.setPen(text);
    title_.draw(p, drawingRectForBounds(f), bright ? std::optional<QColor>(Qt::white) : std::nullopt);
}

void DisplayButton::popUpMenu() {
    NotificationCenter::defaultCenter().post(QString::fromLatin1(kDisplayButtonWillPopUpNotification), this);
    if (!menu_) return;
    menuShown_ = true;
    update();
    connect(
        menu_, &QMenu::aboutToHide, this,
        [this] {
            menuShown_ = false;
            update();
        },
        Qt::SingleShotConnection);
    menu_->popup(mapToGlobal(QPoint(0, height())));
}

void DisplayButton::mousePressEvent(QMouseEvent* event) {
    if (menu_ && event->button() == Qt::LeftButton) {
        popUpMenu();
        event->accept();
        return;
    }
    RolloverButton::mousePressEvent(event);
}

void DisplayButton::keyPressEvent(QKeyEvent* event) {
    if (menu_ && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        popUpMenu();
        event->accept();
        return;
    }
    RolloverButton::keyPressEvent(event);
}
