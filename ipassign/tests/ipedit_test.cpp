// Keyboard, mouse, clipboard and layout behaviour of the four-field address control.
#include "ipassign/ipedit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

class TIPEditTest : public QObject {
    Q_OBJECT
private:
    QWidget *FHost = nullptr;
    QLineEdit *FBefore = nullptr;
    TIPEdit *FEdit = nullptr;
    int FBeeps = 0;

    TIPByteEdit *F(int i) { return FEdit->Field(i); }
    QStringList Fields() { return {F(0)->text(), F(1)->text(), F(2)->text(), F(3)->text()}; }
    // Types into whichever widget has the focus, as a user does.
    void Type(const QString &keys) {
        for (QChar c : keys)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }
    static QAction *PasteAction() {
        for (QAction *action : QApplication::activePopupWidget()->actions())
            if (action->text().startsWith(u"&Paste"_s))
                return action;
        return nullptr;
    }
    // Enters field 0 from the line edit in front of the control, by keyboard.
    void TabIn() {
        FBefore->setFocus();
        QTest::keyClick(FBefore, Qt::Key_Tab);
        QVERIFY(F(0)->hasFocus());
    }

private slots:
    void init() {
        FHost = new QWidget;
        QFont font(QStringLiteral("Sans Serif"), 8);
        font.setStyleHint(QFont::SansSerif);
        FHost->setFont(font);
        FBefore = new QLineEdit(FHost);
        FEdit = new TIPEdit(FHost);
        FEdit->move(0, 40);
        FBeeps = 0;
        FEdit->SetBeep([this] { ++FBeeps; });
        FHost->resize(300, 100);
        FHost->show();
        FHost->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(FHost));
    }
    void cleanup() {
        delete FHost;
        FHost = nullptr;
    }

    void readNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<qint64>("value");
        QTest::newRow("decimal") << u"192"_s << true << qint64(192);
        QTest::newRow("leading blanks and sign") << u"  +7"_s << true << qint64(7);
        QTest::newRow("negative") << u"-12"_s << true << qint64(-12);
        QTest::newRow("dollar hex") << u"$FF"_s << true << qint64(255);
        QTest::newRow("x hex") << u"x1f"_s << true << qint64(31);
        QTest::newRow("0X hex") << u"0X10"_s << true << qint64(16);
        QTest::newRow("plain zero") << u"0"_s << true << qint64(0);
        QTest::newRow("empty") << u""_s << false << qint64(0);
        QTest::newRow("prefix only") << u"$"_s << false << qint64(0);
        QTest::newRow("0x only") << u"0x"_s << false << qint64(0);
        QTest::newRow("trailing blank") << u"12 "_s << false << qint64(0);
        QTest::newRow("sign only") << u"-"_s << false << qint64(0);
        QTest::newRow("letters") << u"1a"_s << false << qint64(0);
        QTest::newRow("too large") << u"99999999999"_s << false << qint64(0);
    }
    void readNumber() {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(qint64, value);
        const auto number = TIPByteEdit::ReadNumber(text);
        QCOMPARE(number.has_value(), isNumber);
        if (isNumber)
            QCOMPARE(*number, value);
    }

    void writeText_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("full address") << u"192.168.1.10"_s << u"192.168.1.10"_s;
        QTest::newRow("short") << u"10.1"_s << u"10.1.0.0"_s;
        QTest::newRow("out of range part") << u"256.1.2.3"_s << u"0.1.2.3"_s;
        QTest::newRow("over-long part") << u"1234.1.1.1"_s << u"0.1.1.1"_s;
        QTest::newRow("blanks around parts") << u" 10 . 20 .30.40"_s << u"10.20.30.40"_s;
        QTest::newRow("fifth part ignored") << u"1.2.3.4.5"_s << u"1.2.3.4"_s;
        QTest::newRow("empty") << u""_s << u"0.0.0.0"_s;
        QTest::newRow("negative and garbage") << u"-1.a.$FF.x10"_s << u"0.0.255.16"_s;
        QTest::newRow("leading zeros") << u"010.001.000.99"_s << u"10.1.0.99"_s;
    }
    void writeText() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        FEdit->SetText(input);
        QCOMPARE(FEdit->Text(), expected);
        QCOMPARE(Fields().join(u'.'), expected);
    }

    void valueRoundTrip() {
        FEdit->SetText(QStringLiteral("192.168.1.10"));
        QCOMPARE(FEdit->Value(), quint32(0x0A01A8C0));
        FEdit->SetValue(0xFFFFFFFF);
        QCOMPARE(FEdit->Text(), QStringLiteral("255.255.255.255"));
        FEdit->SetValue(0x04030201);
        QCOMPARE(Fields(), QStringList({u"1"_s, u"2"_s, u"3"_s, u"4"_s}));
        QCOMPARE(FEdit->property("Value").toUInt(), quint32(0x04030201));
    }

    void programWriteKeepsFocusAndReportsEachChangedField() {
        TabIn();
        QSignalSpy spy(FEdit, &TIPEdit::OnChange);
        FEdit->SetText(QStringLiteral("100.200.0.0"));
        QCOMPARE(spy.count(), 2); // only fields 0 and 1 changed
        QCOMPARE(spy.at(0).at(0).value<TIPEdit *>(), FEdit);
        QVERIFY(F(0)->hasFocus());
        QCOMPARE(F(0)->cursorPosition(), 0);
        QCOMPARE(FBeeps, 0);
    }

    void thirdDigitOutOfRangeIsCorrectedAndJumps() {
        TabIn();
        QVERIFY(F(0)->hasSelectedText());
        QSignalSpy spy(FEdit, &TIPEdit::OnChange);
        QTest::keyClicks(F(0), QStringLiteral("300"));
        QCOMPARE(F(0)->text(), QStringLiteral("255"));
        QCOMPARE(FBeeps, 1);
        QCOMPARE(F(0)->cursorPosition(), 3);
        QVERIFY(F(1)->hasFocus());
        QCOMPARE(F(1)->selectedText(), QStringLiteral("0"));
        // "3", "30", the correction and "300" before it: each is one notification.
        QCOMPARE(spy.count(), 4);
        // The last field keeps the focus after its third digit.
        QTest::keyClicks(F(1), QStringLiteral("1"));
        QTest::keyClick(F(1), Qt::Key_Period);
        QTest::keyClicks(F(2), QStringLiteral("2"));
        QTest::keyClick(F(2), Qt::Key_Period);
        QTest::keyClicks(F(3), QStringLiteral("123"));
        QVERIFY(F(3)->hasFocus());
        QCOMPARE(FEdit->Text(), QStringLiteral("255.1.2.123"));
    }

    void correctionRestoresCaret() {
        TabIn();
        QTest::keyClicks(F(0), QStringLiteral("12"));
        F(0)->setCursorPosition(0);
        QTest::keyClick(F(0), Qt::Key_9); // "912"
        QCOMPARE(F(0)->text(), QStringLiteral("255"));
        QCOMPARE(F(0)->cursorPosition(), 1);
        QVERIFY(F(0)->hasFocus());
        QCOMPARE(FBeeps, 1);
    }

    void dotMovesOnAndNeverEntersAField() {
        TabIn();
        Type(QStringLiteral("1.2"));
        QCOMPARE(F(0)->text(), QStringLiteral("1"));
        QCOMPARE(F(1)->text(), QStringLiteral("2"));
        QVERIFY(F(1)->hasFocus());
        Type(QStringLiteral("...."));
        QVERIFY(F(3)->hasFocus());
        for (const QString &t : Fields())
            QVERIFY(!t.contains(u'.'));
    }

    // A user types an address digit by digit with its dots; after a third digit the control has
    // already moved on, and the "." typed next must not move once more.
    void addressTypedKeyByKeyGivesItself_data() {
        QTest::addColumn<QString>("address");
        QTest::newRow("three-digit first part") << u"192.0.2.11"_s;
        QTest::newRow("no three-digit part") << u"10.0.0.1"_s;
        QTest::newRow("three three-digit parts") << u"255.255.255.0"_s;
        QTest::newRow("single digits") << u"1.2.3.4"_s;
        QTest::newRow("three digits last") << u"198.51.100.255"_s;
    }
    void addressTypedKeyByKeyGivesItself() {
        QFETCH(QString, address);
        FEdit->SetText(u"99.99.99.99"_s);
        TabIn();
        Type(address);
        QCOMPARE(FEdit->Text(), address);
        QVERIFY(F(3)->hasFocus());
        QCOMPARE(FBeeps, 0);
    }

    void digitReplacesTheZeroTheControlGave() {
        // A first start shows 0.0.0.0; a click lands the caret before or after the 0, and the
        // address typed then must be the address, not 190.0.2.12.
        for (int x : {1, F(0)->width() - 2}) {
            FEdit->SetText(QString());
            QTest::mouseClick(F(0), Qt::LeftButton, {}, QPoint(x, F(0)->height() / 2));
            QVERIFY(F(0)->hasFocus());
            Type(u"192.0.2.12"_s);
            QCOMPARE(FEdit->Text(), u"192.0.2.12"_s);
        }
        // A 0 that the user typed stays: the next digit goes beside it.
        FEdit->SetText(u"5.5.5.5"_s);
        QTest::mouseClick(F(1), Qt::LeftButton, {}, QPoint(F(1)->width() - 2, F(1)->height() / 2));
        QTest::keyClick(F(1), Qt::Key_Backspace);
        Type(u"03"_s);
        QCOMPARE(F(1)->text(), u"03"_s);
    }

    void dotAfterAnotherKeyInAnAutoEnteredFieldMovesOn() {
        // A click into the field that the control entered by itself: the dot moves on.
        TabIn();
        Type(u"192"_s);
        QVERIFY(F(1)->hasFocus());
        QTest::mouseClick(F(1), Qt::LeftButton, {}, QPoint(2, F(1)->height() / 2));
        Type(u"."_s);
        QVERIFY(F(2)->hasFocus());
        // A digit first: the next dot moves on as always.
        FEdit->SetText(QString());
        TabIn();
        Type(u"1234.5"_s);
        QCOMPARE(FEdit->Text(), u"123.4.5.0"_s);
        // An arrow key first, too.
        FEdit->SetText(QString());
        TabIn();
        Type(u"123"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
        Type(u".7"_s);
        QCOMPARE(FEdit->Text(), u"123.0.7.0"_s);
        // Only one dot is swallowed; the second one moves on.
        FEdit->SetText(QString());
        TabIn();
        Type(u"123..7"_s);
        QCOMPARE(FEdit->Text(), u"123.0.7.0"_s);
        // Shift held for the dot, as some keyboard layouts need, is no key of its own.
        FEdit->SetText(QString());
        TabIn();
        Type(u"123"_s);
        QTest::keyPress(QApplication::focusWidget(), Qt::Key_Shift);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Period, Qt::ShiftModifier);
        QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Shift);
        Type(u"7"_s);
        QCOMPARE(FEdit->Text(), u"123.7.0.0"_s);
        // Leaving the field and coming back by keyboard: the dot moves on again.
        FEdit->SetText(QString());
        TabIn();
        Type(u"123"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right, Qt::ControlModifier);
        QVERIFY(F(1)->hasFocus());
        Type(u".7"_s);
        QCOMPARE(FEdit->Text(), u"123.0.7.0"_s);
    }

    void nonDigitsAndEnterAreRefused() {
        TabIn();
        QTest::keyClicks(F(0), QStringLiteral("a-+ $x"));
        QCOMPARE(F(0)->selectedText(), QStringLiteral("0"));
        QTest::keyClick(F(0), Qt::Key_Return);
        QTest::keyClick(F(0), Qt::Key_Enter);
        QCOMPARE(F(0)->text(), QStringLiteral("0"));
        QVERIFY(F(0)->hasFocus());
    }

    void arrowKeysMoveAtTheEdges() {
        FEdit->SetText(QStringLiteral("11.22.33.44"));
        TabIn();
        // Right with the whole text selected is not at the end: the field handles it.
        QTest::keyClick(F(0), Qt::Key_Right);
        QVERIFY(F(0)->hasFocus());
        QCOMPARE(F(0)->cursorPosition(), 2);
        QTest::keyClick(F(0), Qt::Key_Down); // Down acts as Right
        QVERIFY(F(1)->hasFocus());
        QCOMPARE(F(1)->cursorPosition(), 0);
        QVERIFY(!F(1)->hasSelectedText());
        QTest::keyClick(F(1), Qt::Key_Up); // Up acts as Left, caret at 0
        QVERIFY(F(0)->hasFocus());
        QCOMPARE(F(0)->cursorPosition(), 2);
        // Shift+Left at position 0 stays inside the field.
        F(0)->setCursorPosition(0);
        QTest::keyClick(F(0), Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(F(0), Qt::Key_Left, Qt::ShiftModifier);
        QVERIFY(F(0)->hasFocus());
        // Ctrl+Right from the middle moves on with the text selected.
        F(0)->setCursorPosition(1);
        QTest::keyClick(F(0), Qt::Key_Right, Qt::ControlModifier);
        QVERIFY(F(1)->hasFocus());
        QCOMPARE(F(1)->selectedText(), QStringLiteral("22"));
        QTest::keyClick(F(1), Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(F(2)->hasFocus());
        QTest::keyClick(F(2), Qt::Key_Left, Qt::ControlModifier);
        QVERIFY(F(1)->hasFocus());
        QCOMPARE(F(1)->selectedText(), QStringLiteral("22"));
        // Ctrl+Alt+Left does nothing of the sort.
        QTest::keyClick(F(1), Qt::Key_Left, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(F(1)->hasFocus());
        // No wrap at either end.
        F(0)->setFocus();
        F(0)->setCursorPosition(0);
        QTest::keyClick(F(0), Qt::Key_Left);
        QVERIFY(F(0)->hasFocus());
        F(3)->setFocus();
        F(3)->setCursorPosition(2);
        QTest::keyClick(F(3), Qt::Key_Right);
        QVERIFY(F(3)->hasFocus());
    }

    void leftWithWholeTextSelectedMovesBack() {
        FEdit->SetText(QStringLiteral("1.2.33.4"));
        F(2)->setFocus(Qt::TabFocusReason);
        F(2)->selectAll();
        QTest::keyClick(F(2), Qt::Key_Left);
        QVERIFY(F(1)->hasFocus());
        QCOMPARE(F(1)->cursorPosition(), 1);
        QCOMPARE(FEdit->Text(), QStringLiteral("1.2.33.4"));
    }

    void backspaceAtStartMovesBackWithoutDeleting() {
        FEdit->SetText(QStringLiteral("1.23.3.4"));
        F(2)->setFocus();
        F(2)->setCursorPosition(0);
        QTest::keyClick(F(2), Qt::Key_Backspace);
        QVERIFY(F(1)->hasFocus());
        QCOMPARE(F(1)->text(), QStringLiteral("23"));
        QCOMPARE(F(1)->cursorPosition(), 2);
        QTest::keyClick(F(1), Qt::Key_Backspace); // now an ordinary backspace
        QCOMPARE(F(1)->text(), QStringLiteral("2"));
        QVERIFY(F(1)->hasFocus());
    }

    void emptiedFieldReadsZeroAndIsCanonicalOnLeaving() {
        FEdit->SetText(QStringLiteral("7.8.9.10"));
        TabIn();
        QTest::keyClick(F(0), Qt::Key_Delete);
        QCOMPARE(F(0)->text(), QString());
        QCOMPARE(FEdit->Text(), QStringLiteral("0.8.9.10"));
        QCOMPARE(FEdit->Value(), quint32(0x0A090800));
        QTest::keyClick(F(0), Qt::Key_Right);
        QVERIFY(F(1)->hasFocus());
        QCOMPARE(F(0)->text(), QStringLiteral("0"));
        QCOMPARE(FBeeps, 0);
        // Leading zeros go on leaving, silently.
        F(1)->selectAll();
        QTest::keyClicks(F(1), QStringLiteral("007"));
        QVERIFY(F(2)->hasFocus());
        QCOMPARE(F(1)->text(), QStringLiteral("7"));
        QCOMPARE(FBeeps, 0);
    }

    void nonNumberLeftBehindBeeps() {
        QApplication::clipboard()->setText(QStringLiteral("$1"));
        TabIn();
        QTest::keyClick(F(0), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(F(0)->text(), QStringLiteral("$1"));
        QCOMPARE(FEdit->Text(), QStringLiteral("1.0.0.0"));
        QTest::keyClick(F(0), Qt::Key_Backspace); // "$" is no number
        QCOMPARE(FEdit->Text(), QStringLiteral("0.0.0.0"));
        QTest::keyClick(F(0), Qt::Key_Period);
        QCOMPARE(F(0)->text(), QStringLiteral("0"));
        QCOMPARE(FBeeps, 1);
    }

    void pasteFollowsTheRangeRule() {
        TabIn();
        QTest::keyClick(F(0), Qt::Key_Delete);
        for (const char *refused : {"1234", "300", "ab", "-1", "1\n2"}) {
            QApplication::clipboard()->setText(QString::fromLatin1(refused));
            QTest::keyClick(F(0), Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(F(0)->text(), QString());
        }
        QTest::keyClick(F(0), Qt::Key_1);
        QApplication::clipboard()->setText(QStringLiteral("25"));
        QTest::keyClick(F(0), Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(F(0)->text(), QStringLiteral("125"));
        QVERIFY(F(1)->hasFocus());
        // A paste that replaces the selection is judged on the result.
        QApplication::clipboard()->setText(QStringLiteral("99"));
        QVERIFY(F(1)->hasSelectedText());
        QVERIFY(F(1)->PasteText(QStringLiteral("99")));
        QCOMPARE(F(1)->text(), QStringLiteral("99"));
        FEdit->SetReadOnly(true);
        QVERIFY(!F(1)->PasteText(QStringLiteral("1")));
    }

    void contextMenuPasteFollowsTheRangeRule() {
        TabIn();
        QApplication::clipboard()->setText(u"300"_s);
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                                F(0)->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(F(0), &event);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QAction *paste = PasteAction();
        QVERIFY(paste);
        paste->trigger();
        QApplication::activePopupWidget()->close();
        QCOMPARE(F(0)->text(), u"0"_s);
        QApplication::clipboard()->setText(u"42"_s);
        QApplication::sendEvent(F(0), &event);
        QTRY_VERIFY(QApplication::activePopupWidget());
        PasteAction()->trigger();
        QApplication::activePopupWidget()->close();
        QCOMPARE(F(0)->text(), u"42"_s);
    }

    void entryByKeyboardSelectsButLeftClickDoesNot() {
        FEdit->SetText(QStringLiteral("11.22.33.44"));
        QTest::mouseClick(F(2), Qt::LeftButton, {}, QPoint(2, F(2)->height() / 2));
        QVERIFY(F(2)->hasFocus());
        QVERIFY(!F(2)->hasSelectedText());
        TabIn();
        QCOMPARE(F(0)->selectedText(), QStringLiteral("11"));
        // Program focus on the control goes to field 0 and selects.
        FBefore->setFocus();
        FEdit->setFocus();
        QVERIFY(F(0)->hasFocus());
        QVERIFY(FEdit->Focused());
        QCOMPARE(F(0)->selectedText(), QStringLiteral("11"));
        // Tab leaves the control from any field: fields 1 to 3 are no tab stops.
        QVERIFY(!(F(1)->focusPolicy() & Qt::TabFocus));
        FEdit->SetTabStop(false);
        QVERIFY(!(F(0)->focusPolicy() & Qt::TabFocus));
    }

    void layoutFitsAndGrowsWhenTooNarrow() {
        QCOMPARE(FEdit->size(), QSize(125, 20));
        const QList<QLabel *> dots = FEdit->findChildren<QLabel *>();
        QCOMPARE(dots.size(), 3);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(FEdit->contentsRect().contains(F(i)->geometry()));
            if (i > 0)
                QCOMPARE(F(i)->geometry().left(), dots[i - 1]->geometry().right() + 1);
            QCOMPARE(F(i)->width(), F(0)->width());
        }
        FEdit->SetText(QStringLiteral("255.255.255.255"));
        const int threeDigits = F(0)->fontMetrics().horizontalAdvance(QStringLiteral("255"));
        FEdit->resize(20, 10);
        QVERIFY(FEdit->width() > 20);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(F(i)->width() >= threeDigits + 4);
            QVERIFY(FEdit->contentsRect().contains(F(i)->geometry()));
        }
        FEdit->SetAutoSize(true);
        FEdit->resize(400, 40);
        QCOMPARE(FEdit->width(), 400);
        QVERIFY(F(3)->geometry().right() < 200); // fields keep their own width
    }

    void layoutInAQtLayoutDoesNotClipTheFields() {
        // Squeezed between two greedy neighbours, the control keeps room for three digits.
        QWidget row;
        QFont font(QStringLiteral("Sans Serif"), 14);
        row.setFont(font);
        auto *layout = new QHBoxLayout(&row);
        auto *edit = new TIPEdit;
        auto *left = new QLineEdit;
        auto *right = new QLineEdit;
        layout->addWidget(left, 1);
        layout->addWidget(edit);
        layout->addWidget(right, 1);
        row.resize(row.minimumSizeHint());
        row.show();
        QVERIFY(QTest::qWaitForWindowExposed(&row));
        edit->SetText(u"255.255.255.255"_s);
        const QFontMetrics fm(edit->Field(0)->font());
        QCOMPARE(edit->minimumSizeHint(), edit->sizeHint());
        QCOMPARE(edit->width(), edit->sizeHint().width());
        QVERIFY(edit->height() >= edit->sizeHint().height());
        for (int i = 0; i < 4; ++i) {
            QVERIFY(edit->contentsRect().contains(edit->Field(i)->geometry()));
            QVERIFY(edit->Field(i)->width() >= fm.horizontalAdvance(u"255"_s) + 4);
            QVERIFY(edit->Field(i)->height() >= fm.height());
        }
        QVERIFY(edit->geometry().right() < right->geometry().left());
        // A larger font asks the layout for more room.
        const QSize before = edit->sizeHint();
        row.setFont(QFont(QStringLiteral("Sans Serif"), 20));
        QVERIFY(edit->sizeHint().width() > before.width());
        row.resize(row.minimumSizeHint());
        QTRY_COMPARE(edit->width(), edit->sizeHint().width());
        QVERIFY(edit->contentsRect().contains(edit->Field(3)->geometry()));
    }
};

QTEST_MAIN(TIPEditTest)
#include "ipedit_test.moc"
