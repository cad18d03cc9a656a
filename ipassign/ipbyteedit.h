// One of the four number fields of an IPv4 address control.
#pragma once

#include <QLineEdit>
#include <optional>

class TIPEdit;

class TIPByteEdit : public QLineEdit {
    Q_OBJECT
public:
    enum TMoveDirection { mdForward, mdBackward };

    TIPByteEdit(TIPEdit *owner, int tag);

    int Tag() const { return FTag; }

    // The field's text read with the toolkit's integer syntax: leading blanks, an optional sign,
    // then decimal digits or hex digits after "$", "x", "X", "0x" or "0X". Empty or anything
    // else is no number.
    static std::optional<qint64> ReadNumber(QStringView text);
    // The field as one byte of an address: no number counts as 0, only the low 8 bits count.
    quint8 ByteValue() const;

    // Writes a text as the program does: the caret is taken to stand at position 0, so the
    // write never moves the focus on to the next field.
    void WriteText(const QString &text);

    // Paste with the field's rule: only when the result is a number from 0 to 255 in at most
    // three characters. Returns whether the paste took place.
    bool PasteText(const QString &clip);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void Change();
    int SelStart() const;
    void Canonicalize();

    TIPEdit *FOwner;
    int FTag;
    bool FProgramWrite = false;
    // Set while the field has just been entered by the control itself after the previous
    // field's third digit: the "." that a user types out of habit then is not a second move.
    bool FDotAlreadyMoved = false;
    // The field holds a 0 that the control wrote (at start, or for an empty or wrong field),
    // not one the user typed: the next digit replaces it wherever the caret stands.
    bool FGivenZero = false;
};
