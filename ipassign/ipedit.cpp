#include "ipassign/ipedit.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>

TIPEdit::TIPEdit(QWidget *parent)
    : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setLineWidth(1);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    QFrame::setCursor(Qt::IBeamCursor);
    for (int i = 0; i < 4; ++i)
        FFields[i] = new TIPByteEdit(this, i);
    for (int i = 0; i < 3; ++i) {
        FDots[i] = new QLabel(QStringLiteral("."), this);
        FDots[i]->setAlignment(Qt::AlignCenter);
    }
    // Tabbing enters the control at field 0 only; giving the control the focus does the same.
    FFields[0]->setFocusPolicy(Qt::StrongFocus);
    setFocusPolicy(Qt::NoFocus);
    setFocusProxy(FFields[0]);
    SetAlignment(Qt::AlignHCenter);
    resize(125, 20);
    DoLayout();
}

QString TIPEdit::Text() const {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(FFields[0]->ByteValue())
        .arg(FFields[1]->ByteValue())
        .arg(FFields[2]->ByteValue())
        .arg(FFields[3]->ByteValue());
}

void TIPEdit::SetText(const QString &text) {
    QString rest = text + u'.';
    for (TIPByteEdit *field : FFields) {
        qint64 value = 0;
        const qsizetype dot = rest.indexOf(u'.');
        if (dot >= 0) {
            const QString part = rest.left(dot).trimmed();
            rest.remove(0, dot + 1);
            const auto number = TIPByteEdit::ReadNumber(part);
            if (part.size() <= 3 && number && *number >= 0 && *number <= 255)
                value = *number;
        }
        field->WriteText(QString::number(value));
    }
}

quint32 TIPEdit::Value() const {
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value |= quint32(FFields[i]->ByteValue()) << (8 * i);
    return value;
}

void TIPEdit::SetValue(quint32 value) {
    for (int i = 0; i < 4; ++i)
        FFields[i]->WriteText(QString::number((value >> (8 * i)) & 0xFF));
}

bool TIPEdit::Focused() const {
    for (const TIPByteEdit *field : FFields)
        if (field->hasFocus())
            return true;
    return false;
}

void TIPEdit::SetAlignment(Qt::Alignment alignment) {
    FAlignment = alignment & Qt::AlignHorizontal_Mask;
    for (TIPByteEdit *field : FFields)
        field->setAlignment(FAlignment | Qt::AlignVCenter);
}

void TIPEdit::SetAutoSize(bool autoSize) {
    FAutoSize = autoSize;
    DoLayout();
}

void TIPEdit::SetBorderStyle(TBorderStyle style) {
    FBorderStyle = style;
    setFrameShape(style == bsSingle ? QFrame::StyledPanel : QFrame::NoFrame);
    updateGeometry();
    DoLayout();
}

QColor TIPEdit::Color() const {
    return palette().color(QPalette::Base);
}

void TIPEdit::SetColor(const QColor &color) {
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    setPalette(p);
}

void TIPEdit::SetCursor(const QCursor &cursor) {
    for (TIPByteEdit *field : FFields)
        field->setCursor(cursor);
    QFrame::setCursor(cursor.shape() == Qt::ArrowCursor ? QCursor(Qt::IBeamCursor) : cursor);
}

void TIPEdit::SetReadOnly(bool readOnly) {
    FReadOnly = readOnly;
    for (TIPByteEdit *field : FFields)
        field->setReadOnly(readOnly);
}

void TIPEdit::SetTabStop(bool tabStop) {
    FTabStop = tabStop;
    FFields[0]->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
}

TIPByteEdit *TIPEdit::MoveToField(TIPByteEdit *sender, TIPByteEdit::TMoveDirection direction,
                                  bool selectAll) {
    const int target = sender->Tag() + (direction == TIPByteEdit::mdForward ? 1 : -1);
    if (target < 0 || target > 3)
        return nullptr;
    TIPByteEdit *field = FFields[target];
    field->setFocus(Qt::OtherFocusReason);
    if (selectAll)
        field->selectAll();
    else
        field->setCursorPosition(direction == TIPByteEdit::mdForward ? 0 : field->text().size());
    return field;
}

void TIPEdit::FieldChanged() {
    emit OnChange(this);
}

void TIPEdit::Beep() {
    if (FBeep)
        FBeep();
    else
        QApplication::beep();
}

void TIPEdit::resizeEvent(QResizeEvent *event) {
    QFrame::resizeEvent(event);
    DoLayout();
}

void TIPEdit::changeEvent(QEvent *event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        // A layout that holds the control asks again for its size.
        updateGeometry();
        DoLayout();
    }
}

TIPEdit::TMetrics TIPEdit::Metrics() const {
    const QFontMetrics fm(font());
    int digitWidth = 0;
    for (char16_t c = u'0'; c <= u'9'; ++c)
        digitWidth = std::max(digitWidth, fm.horizontalAdvance(QChar(c)));
    const QSize dot = FDots[0]->sizeHint();
    // A line edit keeps a margin of 2 pixels on each side and one for the caret, and one pixel
    // above and below the text; three digits must fit inside those.
    return {3 * digitWidth + 5, std::max(fm.height(), dot.height()) + 2, dot.width()};
}

QSize TIPEdit::sizeHint() const {
    // The smallest size at which the layout rule needs no growing, plus the border.
    const TMetrics m = Metrics();
    const QSize border = size() - contentsRect().size();
    return QSize(4 * m.FieldWidth + 3 * m.DotWidth, m.FieldHeight) + border;
}

QSize TIPEdit::minimumSizeHint() const {
    return sizeHint();
}

void TIPEdit::DoLayout() {
    if (FInLayout || !FFields[3] || !FDots[2])
        return;
    FInLayout = true;
    const TMetrics m = Metrics();
    int fieldWidth = m.FieldWidth;
    const int fieldHeight = m.FieldHeight;
    const int dotWidth = m.DotWidth;
    const QRect client = contentsRect();
    if (!FAutoSize) {
        const int share = (client.width() - 3 * dotWidth) / 4;
        if (share > fieldWidth)
            fieldWidth = share;
    }
    const int top = client.top() + (client.height() - fieldHeight) / 2;
    for (int i = 0; i < 4; ++i) {
        const int left = client.left() + i * (fieldWidth + dotWidth);
        FFields[i]->setGeometry(left, top, fieldWidth, fieldHeight);
        if (i < 3)
            FDots[i]->setGeometry(left + fieldWidth, top, dotWidth, fieldHeight);
    }
    FInLayout = false;
    if (!FAutoSize) {
        const int needed = 4 * fieldWidth + 3 * dotWidth;
        if (client.width() < needed)
            resize(width() + needed - client.width(), height());
        else if (client.height() < fieldHeight)
            resize(width(), height() + fieldHeight - client.height());
    }
}

#include "moc_ipedit.cpp"
