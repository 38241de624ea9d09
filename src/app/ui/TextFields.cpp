#include "app/ui/TextFields.h"

#include "app/foundation/ZYMStringAdditions.h"
#include "app/foundation/Clock.h"
#include "app/ui/ApplicationActions.h"
#include "app/ui/DrawingHelpers.h"
#include "app/ui/LocalizedText.h"

#include <QAction>
#include <QGraphicsDropShadowEffect>
#include <QTextBlock>
#include <QStyle>
#include <QTextCursor>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

// ---- SearchTextField ----

SearchTextField::SearchTextField(QWidget* parent) : QLineEdit(parent) {
    search_ = addAction(QIcon(QPixmap::fromImage(imageNamed(QStringLiteral("SearchPopUpNoArrow")))),
                        QLineEdit::LeadingPosition);
    cancel_ =
        addAction(QIcon(QPixmap::fromImage(imageNamed(QStringLiteral("SearchCancel")))), QLineEdit::TrailingPosition);
    // Kept in the layout at all times so the text never runs under its place; only its
    // picture and its click come and go.
    connect(cancel_, &QAction::triggered, this, [this] {
        if (!text().isEmpty()) clear();
    });
    connect(this, &QLineEdit::textChanged, this, [this] { updateCancel(); });
    updateCancel();
    setPlaceholderText(localized(StringKeys::SearchPlaceholder));
}

bool SearchTextField::isCancelButtonShown() const { return cancel_->isEnabled(); }

void SearchTextField::updateCancel() {
    const bool shown = !text().isEmpty();
    cancel_->setEnabled(shown);
    static const QIcon picture(QPixmap::fromImage(imageNamed(QStringLiteral("SearchCancel"))));
    static const QIcon blank = [] {
        QPixmap p(picture.availableSizes().value(0, QSize(16, 16)));
        p.fill(Qt::transparent);
        return QIcon(p);
    }();
    cancel_->setIcon(shown ? picture : blank);
}

// ---- TruncatingTextField ----

TruncatingTextField::TruncatingTextField(QWidget* parent) : QLabel(parent), position_(ZYMString::TruncateTail) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

void TruncatingTextField::setTruncationPosition(int position) {
    position_ = position;
    update();
}

QString TruncatingTextField::shownText() const {
    // Two points of room at each side, as the text cell keeps.
    return ZYMString::stringByTruncatingToWidth(text(), contentsRect().width() - 2 * margin() - 4, position_,
                                                ZYMString::fontWidthMeasure(font()));
}

QSize TruncatingTextField::sizeHint() const {
    const QFontMetrics m(font());
    return QSize(m.horizontalAdvance(text()) + 4, m.height()) + QSize(2 * margin(), 2 * margin()) +
           (size() - contentsRect().size());
}

QSize TruncatingTextField::minimumSizeHint() const {
    return {0, QFontMetrics(font()).height() + 2 * margin() + (height() - contentsRect().height())};
}

void TruncatingTextField::paintEvent(QPaintEvent*) {
    QPainter p(this);
    drawFrame(&p);
    p.setFont(font());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    const QRect room = contentsRect().adjusted(margin() + 2, margin(), -margin() - 2, -margin());
    p.drawText(room, int(alignment()) | Qt::TextSingleLine, shownText());
}

// ---- TemporaryTextField ----

TemporaryTextField::TemporaryTextField(Scheduler& scheduler, QWidget* parent)
    : TruncatingTextField(parent), scheduler_(scheduler) {}

TemporaryTextField::~TemporaryTextField() = default;

void TemporaryTextField::setStringValue(const QString& text) {
    setText(text);
    timer_.reset();
    if (text.isEmpty()) return;
    const auto delay = std::chrono::milliseconds(std::llround(std::max(0.0, delay_) * 1000.0));
    timer_ = scheduler_.singleShot(delay, [this] {
        timer_.reset();
        setText(QString());
    });
}

// ---- ShadowTextField ----

ShadowTextField::ShadowTextField(QWidget* parent) : QLabel(parent) {
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(2.0);
    shadow->setOffset(1.0, 3.0);
    shadow->setColor(Qt::black);
    setGraphicsEffect(shadow);
}

// ---- ClickableTextField ----

void ClickableTextField::mousePressEvent(QMouseEvent* event) {
    const auto interaction = textInteractionFlags();
    const bool readOnly =
        !(interaction & (Qt::TextEditable | Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard));
    if (readOnly && isEnabled() && event->button() == Qt::LeftButton)
        ApplicationActions::send(QStringLiteral("click"), this, [this] { emit clicked(); });
    QLabel::mousePressEvent(event);
}

// ---- read-only text views ----

namespace {

void makeTransparent(QTextBrowser* view, bool transparent) {
    view->setFrameShape(transparent ? QFrame::NoFrame : QFrame::StyledPanel);
    view->viewport()->setAutoFillBackground(!transparent);
    view->setAttribute(Qt::WA_TranslucentBackground, transparent);
    QPalette p = view->palette();
    p.setColor(QPalette::Base,
               transparent ? QColor(Qt::transparent) : view->style()->standardPalette().color(QPalette::Base));
    view->setPalette(p);
}

}  // namespace

TextViewWithLinks::TextViewWithLinks(QWidget* parent) : QTextBrowser(parent) {
    setOpenExternalLinks(true);
    document()->setDocumentMargin(0);
}

void TextViewWithLinks::setTransparent(bool transparent) { makeTransparent(this, transparent); }

SimpleTextView::SimpleTextView(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont small = font();
    small.setPointSizeF(std::max<qreal>(6, small.pointSizeF() - 2));
    setFont(small);
    makeTransparent(this, true);
    setLineWrapMode(QTextEdit::NoWrap);
}

void SimpleTextView::setTransparent(bool transparent) { makeTransparent(this, transparent); }

void SimpleTextView::setDefaultFont(const QFont& font) {
    setFont(font);
    updateStringWithAttributes();
}

void SimpleTextView::setDefaultAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    updateStringWithAttributes();
}

void SimpleTextView::setDefaultTruncatesTail(bool truncates) {
    truncatesTail_ = truncates;
    setLineWrapMode(truncates ? QTextEdit::NoWrap : QTextEdit::WidgetWidth);
    updateStringWithAttributes();
}

void SimpleTextView::setStringValue(const QString& text) {
    plain_ = text;
    isPlain_ = true;
    updateStringWithAttributes();
}

void SimpleTextView::setHtmlValue(const QString& html) {
    isPlain_ = false;
    setHtml(html);
}

void SimpleTextView::updateStringWithAttributes() {
    if (!isPlain_) return;
    const qreal room = viewport()->width() - 2 * document()->documentMargin();
    QString shown = plain_;
    if (truncatesTail_ && room > 0)
        shown = ZYMString::stringByTruncatingToWidth(plain_, room, ZYMString::TruncateTail,
                                                     ZYMString::fontWidthMeasure(font()));
    setPlainText(shown);
    QTextCursor cursor(document());
    cursor.select(QTextCursor::Document);
    QTextBlockFormat block;
    block.setAlignment(alignment_);
    cursor.mergeBlockFormat(block);
}
