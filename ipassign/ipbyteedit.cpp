#include "ipassign/ipbyteedit.h"

#include "ipassign/ipedit.h"
#include "support/inttext.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>

namespace {
bool IsAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Keys held down to type a character, such as Shift for "." on some layouts; they are no key of
// their own to the field.
bool IsModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

} // namespace

TIPByteEdit::TIPByteEdit(TIPEdit *owner, int tag)
    : QLineEdit(owner)
    , FOwner(owner)
    , FTag(tag) {
    setFrame(false);
    setMaxLength(3);
    setText(QStringLiteral("0"));
    FGivenZero = true;
    setFocusPolicy(Qt::ClickFocus);
    setAcceptDrops(false);
    // Typed text is filtered key by key below; an input method would bypass that filter.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(this, &QLineEdit::textChanged, this, &TIPByteEdit::Change);
}

std::optional<qint64> TIPByteEdit::ReadNumber(QStringView text) {
    return ParseIntText(text);
}

quint8 TIPByteEdit::ByteValue() const {
    const auto number = ReadNumber(text());
    return number ? static_cast<quint8>(*number & 0xFF) : 0;
}

void TIPByteEdit::WriteText(const QString &text) {
    const bool saved = FProgramWrite;
    FProgramWrite = true;
    setText(text);
    setCursorPosition(0);
    FProgramWrite = saved;
    FGivenZero = text == QStringLiteral("0");
}

int TIPByteEdit::SelStart() const {
    return hasSelectedText() ? selectionStart() : cursorPosition();
}

void TIPByteEdit::Change() {
    if (!FProgramWrite)
        FGivenZero = false;
    const auto number = ReadNumber(text());
    if (number && (*number < 0 || *number > 255)) {
        const int caret = FProgramWrite ? 0 : cursorPosition();
        WriteText(*number < 0 ? QStringLiteral("0") : QStringLiteral("255"));
        setCursorPosition(std::min<int>(caret, text().size()));
        FOwner->Beep();
    }
    if (!FProgramWrite && cursorPosition() == 3)
        if (TIPByteEdit *next = FOwner->MoveToField(this, mdForward, true))
            next->FDotAlreadyMoved = true;
    FOwner->FieldChanged();
}

bool TIPByteEdit::PasteText(const QString &clip) {
    if (isReadOnly() || clip.isEmpty())
        return false;
    QString result = text();
    const int at = SelStart();
    if (hasSelectedText())
        result.remove(selectionStart(), selectedText().size());
    result.insert(at, clip);
    const auto number = ReadNumber(result);
    if (result.size() > 3 || !number || *number < 0 || *number > 255)
        return false;
    insert(clip);
    return true;
}

void TIPByteEdit::keyPressEvent(QKeyEvent *event) {
    int key = event->key();
    const bool dotAlreadyMoved = FDotAlreadyMoved;
    if (!IsModifierKey(key))
        FDotAlreadyMoved = false;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = mods.testFlag(Qt::ControlModifier);
    const bool alt = mods.testFlag(Qt::AltModifier);
    // Up and Down act as Left and Right, also for the caret inside the field.
    if (key == Qt::Key_Up)
        key = Qt::Key_Left;
    else if (key == Qt::Key_Down)
        key = Qt::Key_Right;

    if (key == Qt::Key_Left) {
        if (mods == Qt::NoModifier && SelStart() == 0)
            FOwner->MoveToField(this, mdBackward, false);
        else if (ctrl && !alt)
            FOwner->MoveToField(this, mdBackward, true);
    } else if (key == Qt::Key_Right) {
        if (mods == Qt::NoModifier && SelStart() == text().size())
            FOwner->MoveToField(this, mdForward, false);
        else if (ctrl && !alt)
            FOwner->MoveToField(this, mdForward, true);
    } else if (event->text() == QStringLiteral(".")) {
        if (!dotAlreadyMoved)
            FOwner->MoveToField(this, mdForward, true);
        event->accept();
        return;
    } else if (key == Qt::Key_Backspace && SelStart() == 0 && !hasSelectedText()) {
        FOwner->MoveToField(this, mdBackward, false);
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // Nothing enters the field, but the key goes on to the dialog, whose default button
        // (Change in the IP change dialog) it presses, as after typing in any other field.
        event->ignore();
        return;
    } else if (event->matches(QKeySequence::Paste)) {
        PasteText(QGuiApplication::clipboard()->text());
        event->accept();
        return;
    } else if (!event->text().isEmpty() && event->text().front().isPrint() &&
               !IsAsciiDigit(event->text().front())) {
        event->accept();
        return;
    } else if (FGivenZero && !ctrl && !alt && !isReadOnly() && text() == QStringLiteral("0") &&
               event->text().size() == 1 && IsAsciiDigit(event->text().front())) {
        selectAll();
    }

    if (key != event->key()) {
        QKeyEvent mapped(event->type(), key, event->modifiers(), event->text(),
                         event->isAutoRepeat(), event->count());
        QLineEdit::keyPressEvent(&mapped);
        event->setAccepted(mapped.isAccepted());
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TIPByteEdit::focusInEvent(QFocusEvent *event) {
    QLineEdit::focusInEvent(event);
    const Qt::FocusReason reason = event->reason();
    // Coming back to the window or from a pop-up is no entry into the field.
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return;
    const bool byLeftClick =
        reason == Qt::MouseFocusReason && QGuiApplication::mouseButtons().testFlag(Qt::LeftButton);
    if (!byLeftClick)
        selectAll();
}

void TIPByteEdit::focusOutEvent(QFocusEvent *event) {
    FDotAlreadyMoved = false;
    const Qt::FocusReason reason = event->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
        Canonicalize();
    QLineEdit::focusOutEvent(event);
}

void TIPByteEdit::Canonicalize() {
    const auto number = ReadNumber(text());
    if (!number) {
        const bool wasEmpty = text().isEmpty();
        WriteText(QStringLiteral("0"));
        if (!wasEmpty)
            FOwner->Beep();
        return;
    }
    const QString canonical = QString::number(std::clamp<qint64>(*number, 0, 255));
    if (canonical != text())
        WriteText(canonical);
}

void TIPByteEdit::mousePressEvent(QMouseEvent *event) {
    FDotAlreadyMoved = false;
    QLineEdit::mousePressEvent(event);
}

void TIPByteEdit::mouseReleaseEvent(QMouseEvent *event) {
    // The middle button pastes the selection on X11; it follows the same paste rule.
    if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        PasteText(QGuiApplication::clipboard()->text(QClipboard::Selection));
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TIPByteEdit::contextMenuEvent(QContextMenuEvent *event) {
    QMenu *menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The standard menu's paste would bypass the rule; it is found by the toolkit's own caption.
    const QString pasteCaption = QCoreApplication::translate("QLineEdit", "&Paste");
    for (QAction *action : menu->actions()) {
        if (action->objectName() != QStringLiteral("edit-paste") &&
            action->text().section(u'\t', 0, 0) != pasteCaption)
            continue;
        disconnect(action, &QAction::triggered, nullptr, nullptr);
        connect(action, &QAction::triggered, this,
                [this] { PasteText(QGuiApplication::clipboard()->text()); });
    }
    menu->popup(event->globalPos());
}

#include "moc_ipbyteedit.cpp"
