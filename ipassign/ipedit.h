// Four-field IPv4 address entry that reads and writes the address as dotted text or a number.
#pragma once

#include "ipassign/ipbyteedit.h"

#include <QFrame>
#include <array>
#include <functional>

class QLabel;

class TIPEdit : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(quint32 Value READ Value WRITE SetValue)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)
public:
    enum TBorderStyle { bsNone, bsSingle };

    explicit TIPEdit(QWidget *parent = nullptr);

    QString Text() const;
    quint32 Value() const;
    bool Focused() const;

    Qt::Alignment Alignment() const { return FAlignment; }
    void SetAlignment(Qt::Alignment alignment);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool autoSize);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle style);
    QColor Color() const;
    void SetColor(const QColor &color);
    void SetCursor(const QCursor &cursor);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool readOnly);
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool tabStop);

    TIPByteEdit *Field(int index) const { return FFields.at(index); }

    // The size the layout rule needs with fields just three digits wide, so that a Qt layout
    // never clips the fields.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The sound made when a field corrects its text; the system beep unless replaced.
    void SetBeep(std::function<void()> beep) { FBeep = std::move(beep); }

    // Called by a field to pass the focus to its neighbour; returns the field that took it.
    TIPByteEdit *MoveToField(TIPByteEdit *sender, TIPByteEdit::TMoveDirection direction,
                             bool selectAll);
    // Called by a field after each change of its text.
    void FieldChanged();
    void Beep();

public slots:
    void SetText(const QString &text);
    void SetValue(quint32 value);

signals:
    void OnChange(TIPEdit *Sender);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct TMetrics {
        int FieldWidth;
        int FieldHeight;
        int DotWidth;
    };
    TMetrics Metrics() const;
    void DoLayout();

    std::array<TIPByteEdit *, 4> FFields{};
    std::array<QLabel *, 3> FDots{};
    Qt::Alignment FAlignment = Qt::AlignHCenter;
    bool FAutoSize = false;
    TBorderStyle FBorderStyle = bsSingle;
    bool FReadOnly = false;
    bool FTabStop = true;
    bool FInLayout = false;
    std::function<void()> FBeep;
};
