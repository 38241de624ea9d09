#include "app/ui/LineLayoutView.h"

#include "app/foundation/NSLog.h"
#include "app/ui/Buttons.h"
#include "app/ui/DrawingHelpers.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <cmath>

// ---- LineTextView ----

LineTextView::LineTextView(const AttributedText& text, QWidget* parent) : QWidget(parent), text_(text) {}

void LineTextView::append(const AttributedText& text) {
    text_.append(text);
    updateGeometry();
    update();
}

QSize LineTextView::sizeHint() const {
    const QSizeF s = text_.size();
    return {int(std::ceil(s.width())), int(std::ceil(s.height()))};
}

void LineTextView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    text_.draw(p, QRectF(rect()));
}

// ---- LineLayoutView ----

namespace {

enum class Kind { None, Plain, Button, Image };

AttributedText textOf(const LineRun& run) {
    AttributedText t;
    t.runs.append(run.text);
    return t;
}

}  // namespace

LineLayoutView::LineLayoutView(QWidget* parent) : QWidget(parent) {}

void LineLayoutView::setAttributedStringValue(const LineString& value) {
    value_ = value;
    recreateSubviews();
    repositionSubviews();
}

void LineLayoutView::recreateSubviews() {
    for (QWidget* w : subviews_) {
        w->hide();
        w->setParent(nullptr);
        w->deleteLater();
    }
    subviews_.clear();

    Kind previous = Kind::None;
    int lastTag = -1;
    QWidget* last = nullptr;
    for (const LineRun& run : value_.runs) {
        const Kind kind = run.buttonTag ? Kind::Button : !run.imageName.isEmpty() ? Kind::Image : Kind::Plain;
        const bool joins = last && ((kind == Kind::Plain && previous == Kind::Plain) ||
                                    (kind == Kind::Button && previous == Kind::Button && *run.buttonTag == lastTag));
        if (joins) {
            if (auto* display = qobject_cast<DisplayButton*>(last))
                display->setAttributedTitle(display->attributedTitle().byAppending(textOf(run)));
            else if (auto* button = qobject_cast<QAbstractButton*>(last))
                button->setText(button->text() + run.text.text);
            else if (auto* text = qobject_cast<LineTextView*>(last))
                text->append(textOf(run));
            // Any other view (a delegate's odd button) drops the run.
            previous = kind;
            continue;
        }
        QWidget* made = nullptr;
        if (kind == Kind::Button) {
            QAbstractButton* button = delegate_ ? delegate_->createButtonWithTag(*run.buttonTag) : nullptr;
            if (!button) button = new QPushButton;
            if (auto* display = qobject_cast<DisplayButton*>(button))
                display->setAttributedTitle(textOf(run));
            else
                button->setText(run.text.text);
            lastTag = *run.buttonTag;
            made = button;
        } else if (kind == Kind::Image) {
            made = delegate_ ? delegate_->createImageWithName(run.imageName) : nullptr;
            if (!made) {
                auto* label = new QLabel;
                const QImage image = imageNamed(run.imageName);
                label->setPixmap(QPixmap::fromImage(image));
                label->resize(image.size());
                made = label;
            }
        } else {
            made = new LineTextView(textOf(run));
        }
        made->setParent(this);
        made->show();
        subviews_.append(made);
        last = made;
        previous = kind;
    }
    update();
    fixKeyboardLoop();
}

qreal LineLayoutView::baselineHeightOfView(const QWidget* view) {
    if (auto* display = qobject_cast<const DisplayButton*>(view))
        return view->height() - display->drawingRectForBounds(QRectF(view->rect())).top();
    return view->height();
}

void LineLayoutView::repositionSubviews() {
    qreal total = 0, baseline = 0;
    for (QWidget* w : subviews_) {
        const bool isImage = !qobject_cast<LineTextView*>(w) && !qobject_cast<QAbstractButton*>(w);
        // Images keep the size of their picture (or the delegate's).
        if (!isImage) w->resize(w->sizeHint());
        total += w->width();
        baseline = std::max(baseline, baselineHeightOfView(w));
    }
    qreal x = 0;
    if (value_.alignment & Qt::AlignRight)
        x = width() - total;
    else if (value_.alignment & Qt::AlignHCenter)
        x = std::max<qreal>(0, width() / 2.0 - total / 2.0);
    else if (!(value_.alignment & Qt::AlignLeft))
        NSLog(QStringLiteral("Unsupported alignment"));
    for (QWidget* w : subviews_) {
        const int fullWidth = w->width();
        w->move(int(std::floor(x)), int(std::lround(baseline - baselineHeightOfView(w) + 2.0)));
        const qreal room = width() - x;
        if (value_.truncateTail && fullWidth > room) w->resize(std::max(0, int(std::floor(room))), w->height());
        x += fullWidth;
    }
}

void LineLayoutView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    repositionSubviews();
}

void LineLayoutView::fixKeyboardLoop() {
    QWidget* previous = nullptr;
    for (QWidget* w : subviews_) {
        if (!(w->focusPolicy() & Qt::TabFocus)) continue;
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
    if (previous && nextKeyView_) QWidget::setTabOrder(previous, nextKeyView_);
}
