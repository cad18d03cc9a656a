// The IP change dialog offscreen, on a scripted network, alone and opened from the search window.
#include "discovery/relynsearchgui.h"
#include "ipassign/ipedit.h"
#include "ipassign/relynipchangegui.h"
#include "ipassign/tests/scriptednetwork.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSemaphore>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <atomic>

namespace {

struct Shown {
    QWidget *Parent = nullptr;
    qint32 Kind = -1;
    QString Text;
};

// Runs action on the modal dialog as soon as the event loop shows it.
template <typename Action> void OnModalDialog(Action action) {
    QTimer::singleShot(0, [action] {
        auto *dialog = qobject_cast<TfRelynIPChangeGUI *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        action(dialog);
    });
}

TRelynPar Device(const char *ip, const char *mac) {
    return {QString::fromLatin1(ip), QString::fromLatin1(mac), QStringLiteral("1-4-5.00"),
            QStringLiteral("desc"), QStringLiteral("type")};
}

} // namespace

class RelynIPChangeGuiTest : public QObject {
    Q_OBJECT

private:
    TScriptedNetwork Net;
    QList<Shown> Boxes;
    // Whether the dialog was on screen, and the wait cursor shown, while the procedure ran.
    bool DialogVisibleDuringChange = false;
    bool WaitCursorDuringChange = false;

    // Each change the dialog told of: "MAC old>new: outcome".
    QStringList Told;
    TfRelynIPChangeGUI::ChangeObserver RecordChange() {
        return [this](const QString &mac, const QString &oldAddress, const QString &newAddress,
                      const QString &outcome) {
            Told << mac + u' ' + oldAddress + u'>' + newAddress + QStringLiteral(": ") + outcome;
        };
    }

    TfRelynIPChangeGUI::MessageBoxFunction RecordBox() {
        return [this](QWidget *parent, qint32 kind, const QString &text) {
            Boxes << Shown{parent, kind, text};
        };
    }

    std::unique_ptr<TfRelynIPChangeGUI> MakeDialog() {
        auto dialog = std::make_unique<TfRelynIPChangeGUI>(nullptr, Net.Environment(), RecordBox());
        Net.DuringEcho = [this, shown = dialog.get()] {
            DialogVisibleDuringChange |= shown->isVisible();
            const QCursor *cursor = QApplication::overrideCursor();
            WaitCursorDuringChange = cursor && cursor->shape() == Qt::WaitCursor;
        };
        return dialog;
    }

private slots:
    void init() {
        Net = TScriptedNetwork();
        Boxes.clear();
        Told.clear();
        DialogVisibleDuringChange = false;
        WaitCursorDuringChange = false;
    }

    void startingTextsAndLayout() {
        auto dialog = MakeDialog();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));

        QCOMPARE(dialog->windowTitle(), QStringLiteral("Change IP address"));
        QCOMPARE(dialog->BBChange->text(), QStringLiteral("Change"));
        QCOMPARE(dialog->BBCancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(dialog->LabIPAddress->text(), QStringLiteral("IP address:"));
        QCOMPARE(dialog->LabMacAddress->text(), QStringLiteral("MAC address"));
        QCOMPARE(dialog->ChBARPOnly->text(), QStringLiteral("Set IP address to ARP table only"));
        QCOMPARE(dialog->IPEdtAddress->Text(), QStringLiteral("0.0.0.0"));
        QCOMPARE(dialog->EdtMac->text(), QStringLiteral("00-00-00-00-00-00"));
        QVERIFY(dialog->ChBARPOnly->isVisible());
        QVERIFY(!dialog->ChBARPOnly->isChecked());
        QTRY_VERIFY(dialog->IPEdtAddress->Focused());

        QCOMPARE(dialog->size(), QSize(359, 140));
        QCOMPARE(dialog->PnlButtons->height(), 41);
        // The address control widens itself when the font needs more than 125 pixels.
        QCOMPARE(dialog->IPEdtAddress->pos(), QPoint(32, 32));
        QVERIFY(dialog->IPEdtAddress->width() >= 125);
        QVERIFY(dialog->IPEdtAddress->geometry().right() < dialog->EdtMac->x());
        QCOMPARE(dialog->EdtMac->pos(), QPoint(216, 32));
        QCOMPARE(dialog->EdtMac->height(), 21);
        QVERIFY(dialog->EdtMac->geometry().right() < dialog->PnlMain->width());
        QCOMPARE(dialog->BBChange->geometry(), QRect(200, 8, 75, 25));
        QCOMPARE(dialog->BBCancel->geometry(), QRect(280, 8, 75, 25));
        QVERIFY(dialog->BBChange->isDefault());
    }

    // Any MAC address, typed key by key, stands whole in the field: the caret at its end stands
    // as far from the caret at its start as the font metrics make the text wide, so the field
    // did not scroll it.
    void macFieldShowsAWholeAddress() {
        auto dialog = MakeDialog();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QLineEdit *mac = dialog->EdtMac;
        const QFontMetricsF fm(mac->font());
        const auto caretX = [mac](Qt::Key key) {
            QTest::keyClick(mac, key);
            // The field scrolls its text when it paints.
            mac->repaint();
            return mac->inputMethodQuery(Qt::ImCursorRectangle).toRect().left();
        };
        const QString hex = QStringLiteral("0123456789ABCDEF");
        for (QChar digit : hex) {
            const QString text = QStringLiteral("00-00-00-00-00-00").replace(u'0', digit);
            mac->setFocus();
            mac->clear();
            QTest::keyClicks(mac, text);
            QCOMPARE(mac->text(), text);
            const int end = caretX(Qt::Key_End);
            const int home = caretX(Qt::Key_Home);
            QVERIFY2(end - home >= int(fm.horizontalAdvance(text)), qPrintable(text));
            QVERIFY2(end < mac->width(), qPrintable(text));
        }
    }

    // The new address typed key by key as a user types it, dots included, into whatever has the
    // focus in the shown dialog.
    void addressTypedIntoTheShownDialog() {
        auto dialog = MakeDialog();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        QTRY_VERIFY(dialog->IPEdtAddress->Focused());
        for (QChar c : QStringLiteral("192.0.2.11"))
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        QCOMPARE(dialog->IPEdtAddress->Text(), QStringLiteral("192.0.2.11"));
        // Tab leaves the control for the MAC field from its last field too, and comes back.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog->EdtMac);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), dialog->IPEdtAddress->Field(0));
    }

    void macFieldTakesAtMostSeventeenCharacters() {
        auto dialog = MakeDialog();
        dialog->show();
        dialog->EdtMac->clear();
        QTest::keyClicks(dialog->EdtMac, QStringLiteral("02-00-00-12-34-5F-77"));
        QCOMPARE(dialog->EdtMac->text(), QStringLiteral("02-00-00-12-34-5F"));
    }

    void setTextsKeepsOwnTextsForEmptyOnes() {
        TfRelynIPChangeGUI dialog;
        TRelynIPChangeLangSupport texts;
        texts.CapDialog = QStringLiteral("Neue Adresse");
        texts.CapIPAddress.clear();
        texts.Messages.MsgChanged = QStringLiteral("done");
        texts.Messages.MsgMACSyntax.clear();
        dialog.SetTexts(texts);
        QCOMPARE(dialog.Texts().CapDialog, QStringLiteral("Neue Adresse"));
        QCOMPARE(dialog.Texts().CapIPAddress, QStringLiteral("IP address:"));
        QCOMPARE(dialog.Texts().Messages.MsgChanged, QStringLiteral("done"));
        QCOMPARE(dialog.Texts().Messages.MsgMACSyntax, QStringLiteral("MAC address syntax error."));
    }

    // Without a translation the texts looked up are the records' own English, word for word.
    void untranslatedTextsAreTheDefaults() {
        const auto dialog = [](const TRelynIPChangeLangSupport &t) {
            const TRelynIPChangeMsgLngSupport &m = t.Messages;
            return QStringList{t.CapDialog,      t.CapChange,   t.CapCancel,    t.CapIPAddress,
                               t.CapMACAddress,  t.CapARPOnly,  m.MsgTemporary, m.MsgChanged,
                               m.MsgChangeError, m.MsgIPSyntax, m.MsgIPExists,  m.MsgMACSyntax,
                               m.MsgNeedsAdmin};
        };
        QCOMPARE(dialog(RelynIPChangeDialogTexts()), dialog(TRelynIPChangeLangSupport()));
        const auto search = [](const TRelynSearchLangSupport &t) {
            return QStringList{t.CapForm,       t.CapSearch,      t.CapHelpDeviceNotFound,
                               t.CapChangeIP,   t.CapSelect,      t.CapCancel,
                               t.CapIPAddress,  t.CapMACAddress,  t.CapFirmware,
                               t.CapDeviceType, t.CapDescription, t.CapChangeIPDialog,
                               t.CapChange,     t.CapARPOnly};
        };
        QCOMPARE(search(RelynSearchTexts()), search(TRelynSearchLangSupport()));
    }

    // The Change button: hidden while the procedure runs, the outcome in a box of its kind, the
    // result OK only for success.
    void changeRunsTheProcedureWithTheTypedValues() {
        auto dialog = MakeDialog();
        dialog->show();
        dialog->IPEdtAddress->SetText(QStringLiteral("192.168.1.50"));
        dialog->EdtMac->setText(QStringLiteral("02-00-00-12-34-5f"));
        QTest::mouseClick(dialog->BBChange, Qt::LeftButton);

        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QVERIFY(!dialog->isVisible());
        QCOMPARE(Net.Echoes, 3);
        QVERIFY(!DialogVisibleDuringChange);
        QVERIFY(WaitCursorDuringChange);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(Net.Broadcasts.size(), 1);
        QCOMPARE(Net.Broadcasts[0].first.toHex(), QByteArray("000000fc49502d5345545550000034"
                                                             "5fc0a80132"));
        QCOMPARE(Boxes.size(), 1);
        QCOMPARE(Boxes[0].Kind, qint32(rmInformation));
        // Typed in, the MAC address names no interface: the box says where the change went.
        QCOMPARE(Boxes[0].Text, QStringLiteral("IP address was successfuly changed\r\nThe change "
                                               "went out of every interface of this computer."));
        QVERIFY(Net.Commands.isEmpty());
    }

    // After the change the dialog stays, responsive, and looks for the device at its new
    // address until it answers there; the box then says so under the change's own message.
    void changedDeviceIsLookedForAtItsNewAddress() {
        QSemaphore answer;
        std::atomic<int> searches = 0;
        TRelynIPChangeEnvironment environment = Net.Environment();
        environment.Search = [&answer, &searches](const QString &) {
            // The first search finds the device still at its old address.
            if (++searches == 1)
                return QList<TRelynPar>{Device("192.0.2.12", "02-00-00-12-34-5F")};
            answer.acquire();
            return QList<TRelynPar>{Device("192.0.2.11", "02-00-00-12-34-5F"),
                                    Device("192.0.2.50", "02-00-00-12-34-5F")};
        };
        TfRelynIPChangeGUI dialog(nullptr, environment, RecordBox());
        dialog.SetChangeObserver(RecordChange());
        OnModalDialog([&](TfRelynIPChangeGUI *shown) {
            shown->IPEdtAddress->SetText(QStringLiteral("192.0.2.050"));
            shown->EdtMac->setText(QStringLiteral("02-00-00-12-34-5f"));
            QTest::mouseClick(shown->BBChange, Qt::LeftButton);
            QCOMPARE(Net.Broadcasts.size(), 1);
            QVERIFY(shown->isVisible());
            QVERIFY(shown->WaitingForAnswer());
            QVERIFY(!shown->BBChange->isEnabled());
            QVERIFY(shown->BBCancel->isEnabled());
            QVERIFY(shown->LabAnswer->isVisible());
            QVERIFY(!shown->ChBARPOnly->isVisible());
            QCOMPARE(shown->LabAnswer->text(),
                     QStringLiteral("Looking for the device at 192.0.2.50 ..."));
            // The window's events go on meanwhile.
            QTRY_COMPARE(searches.load(), 2);
            QVERIFY(!QApplication::overrideCursor());
            QVERIFY(Boxes.isEmpty());
            // Told once the outcome is known, not when the datagram left.
            QVERIFY(Told.isEmpty());
            answer.release();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(Boxes.size(), 1);
        QCOMPARE(Boxes[0].Kind, qint32(rmInformation));
        QCOMPARE(Boxes[0].Text, QStringLiteral("IP address was successfuly changed\r\nThe change "
                                               "went out of every interface of this computer.\r\n"
                                               "The device answers at 192.0.2.50."));
        QVERIFY(!dialog.WaitingForAnswer());
        // Another device than the one the dialog started with: the old address is not known.
        QCOMPARE(Told, QStringList{QStringLiteral("02-00-00-12-34-5F >192.0.2.50: done")});
    }

    // A device that does not answer in time is never reported as moved; Cancel ends the wait
    // at once, and says that nothing was checked.
    void silentDeviceIsReportedAndTheWaitCanBeCancelled() {
        std::atomic<int> searches = 0;
        TRelynIPChangeEnvironment environment = Net.Environment();
        environment.Search = [&searches](const QString &) {
            ++searches;
            return QList<TRelynPar>{Device("192.0.2.12", "02-00-00-12-34-5F")};
        };
        environment.AnswerWaitMs = 700;
        QElapsedTimer clock;
        // Change, then what the test does while the dialog waits.
        const auto change = [&](TRelynIPChangeEnvironment env,
                                std::function<void(TfRelynIPChangeGUI *)> meanwhile) {
            TfRelynIPChangeGUI dialog(nullptr, env, RecordBox());
            dialog.SetChangeObserver(RecordChange());
            dialog.SetStartIPAddress(QStringLiteral("192.0.2.50"));
            dialog.SetStartMACAddress(QStringLiteral("02-00-00-12-34-5F"));
            OnModalDialog([meanwhile](TfRelynIPChangeGUI *shown) {
                QTest::mouseClick(shown->BBChange, Qt::LeftButton);
                meanwhile(shown);
            });
            clock.start();
            return dialog.exec();
        };
        QCOMPARE(change(environment, [](TfRelynIPChangeGUI *) {}), int(QDialog::Accepted));
        QVERIFY(clock.elapsed() >= 700);
        QVERIFY(clock.elapsed() < 3000);
        QVERIFY(searches.load() >= 2);
        QCOMPARE(Boxes.size(), 1);
        QCOMPARE(Boxes[0].Kind, qint32(rmWarning));
        QVERIFY2(Boxes[0].Text.startsWith(QStringLiteral("IP address was successfuly changed\r\n")),
                 qPrintable(Boxes[0].Text));
        QVERIFY2(Boxes[0].Text.endsWith(QStringLiteral(
                     "The device does not answer at 192.0.2.50 yet (looked for it for 0.7 s): it "
                     "may need longer, or the change did not reach it. Search again to see.")),
                 qPrintable(Boxes[0].Text));

        environment.AnswerWaitMs = 60000;
        const int before = searches.load();
        QCOMPARE(change(environment,
                        [&searches, before](TfRelynIPChangeGUI *shown) {
                            QTRY_VERIFY(searches.load() >= before + 2);
                            QVERIFY(shown->WaitingForAnswer());
                            QTest::keyClick(shown, Qt::Key_Escape);
                        }),
                 int(QDialog::Accepted));
        QVERIFY(clock.elapsed() < 3000);
        QCOMPARE(Boxes.size(), 2);
        QCOMPARE(Boxes[1].Kind, qint32(rmWarning));
        QVERIFY2(Boxes[1].Text.endsWith(QStringLiteral("Whether the device answers at 192.0.2.50 "
                                                       "was not checked: the wait was cancelled.")),
                 qPrintable(Boxes[1].Text));
        // The search under way ended with the dialog; no other follows.
        const int after = searches.load();
        QTest::qWait(400);
        QCOMPARE(searches.load(), after);
        QCOMPARE(Net.Broadcasts.size(), 2);

        // The neighbour table mode moves no device: nobody looks for one.
        searches = 0;
        auto arp = std::make_unique<TfRelynIPChangeGUI>(nullptr, environment, RecordBox());
        arp->SetChangeObserver(RecordChange());
        arp->show();
        arp->IPEdtAddress->SetText(QStringLiteral("192.0.2.60"));
        arp->EdtMac->setText(QStringLiteral("02-00-00-00-00-03"));
        arp->ChBARPOnly->setChecked(true);
        QTest::mouseClick(arp->BBChange, Qt::LeftButton);
        QVERIFY(!arp->WaitingForAnswer());
        QCOMPARE(Boxes.size(), 3);
        QCOMPARE(searches.load(), 0);
        QCOMPARE(Told,
                 (QStringList{QStringLiteral("02-00-00-12-34-5F 192.0.2.50>192.0.2.50: no answer "
                                             "at the new address"),
                              QStringLiteral("02-00-00-12-34-5F 192.0.2.50>192.0.2.50: sent, not "
                                             "checked"),
                              QStringLiteral("02-00-00-00-00-03 >192.0.2.60: neighbour table "
                                             "only")}));
    }

    void failedChangeComesBackWithWhatWasTyped() {
        Net.AddressAnswers = true;
        auto dialog = MakeDialog();
        dialog->SetChangeObserver(RecordChange());
        OnModalDialog([](TfRelynIPChangeGUI *shown) {
            shown->IPEdtAddress->SetText(QStringLiteral("192.0.2.11"));
            shown->EdtMac->setText(QStringLiteral("02:00:00:00:00:05"));
            QTest::mouseClick(shown->BBChange, Qt::LeftButton);
            // The box has been shown; the dialog is back, fields as typed, until Cancel.
            OnModalDialog([](TfRelynIPChangeGUI *again) {
                QCOMPARE(again->IPEdtAddress->Text(), QStringLiteral("192.0.2.11"));
                QCOMPARE(again->EdtMac->text(), QStringLiteral("02:00:00:00:00:05"));
                QVERIFY(again->IPEdtAddress->isAncestorOf(QApplication::focusWidget()));
                QTest::mouseClick(again->BBCancel, Qt::LeftButton);
            });
        });
        QCOMPARE(dialog->exec(), int(QDialog::Rejected));
        QCOMPARE(Boxes.size(), 1);
        QCOMPARE(Boxes[0].Kind, qint32(rmError));
        QCOMPARE(Boxes[0].Text, QStringLiteral("Selected IP address already exists."));
        QVERIFY(Net.Broadcasts.isEmpty());
        // A failure is told by its message's first line.
        QCOMPARE(Told, QStringList{QStringLiteral(
                           "02-00-00-00-00-05 >192.0.2.11: Selected IP address already exists.")});
        Told.clear();
        Net.AddressAnswers = false;
        OnModalDialog([](TfRelynIPChangeGUI *shown) {
            shown->IPEdtAddress->SetText(QStringLiteral("192.0.2.11"));
            shown->EdtMac->setText(QStringLiteral("02:00:00:00:00:05"));
            shown->ChBARPOnly->setChecked(true);
            QTest::mouseClick(shown->BBChange, Qt::LeftButton);
            OnModalDialog([](TfRelynIPChangeGUI *again) {
                QTest::mouseClick(again->BBCancel, Qt::LeftButton);
            });
        });
        Net.Privileged = false;
        Net.EntryAppears = false;
        QCOMPARE(dialog->exec(), int(QDialog::Rejected));
        QCOMPARE(Told, QStringList{QStringLiteral("02-00-00-00-00-05 >192.0.2.11: ") +
                                   RelynIPChangeMessages().MsgNeedsAdmin.section(
                                       QStringLiteral("\r\n"), 0, 0)});
    }

    void checkBoxSelectsTheArpMode() {
        auto dialog = MakeDialog();
        dialog->show();
        dialog->IPEdtAddress->SetText(QStringLiteral("192.0.2.60"));
        dialog->EdtMac->setText(QStringLiteral("02-00-00-00-00-03"));
        QTest::mouseClick(dialog->ChBARPOnly, Qt::LeftButton);
        QVERIFY(dialog->ChBARPOnly->isChecked());
        QTest::mouseClick(dialog->BBChange, Qt::LeftButton);

        QCOMPARE(Net.Commands,
                 QStringList{QStringLiteral("ip neigh replace 192.0.2.60 lladdr 02:00:00:00:00:03 "
                                            "dev lab0 nud permanent")});
        QVERIFY(Net.Broadcasts.isEmpty());
        QCOMPARE(Boxes.size(), 1);
        QCOMPARE(Boxes[0].Kind, qint32(rmWarning));
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
    }

    void cancelRunsNothing() {
        auto dialog = MakeDialog();
        OnModalDialog(
            [](TfRelynIPChangeGUI *shown) { QTest::mouseClick(shown->BBCancel, Qt::LeftButton); });
        QCOMPARE(dialog->exec(), int(QDialog::Rejected));
        QCOMPARE(Net.Echoes, 0);
        QVERIFY(Boxes.isEmpty());
    }

    // From "Help! My device wasn't found!": the dialog's own starting texts, no check box, and
    // the search window's texts without colons; its empty messages keep the dialog's.
    void openedForHelpWithTheSearchWindowsTexts() {
        TRelynIPChangeRequest request = RelynIPChangeRequest(TRelynSearchLangSupport());
        request.ShowARPOnly = false;
        OnModalDialog([this](TfRelynIPChangeGUI *shown) {
            QCOMPARE(shown->IPEdtAddress->Text(), QStringLiteral("0.0.0.0"));
            QCOMPARE(shown->EdtMac->text(), QStringLiteral("00-00-00-00-00-00"));
            QVERIFY(!shown->ChBARPOnly->isVisible());
            QCOMPARE(shown->LabIPAddress->text(), QStringLiteral("IP address"));
            QCOMPARE(shown->LabMacAddress->text(), QStringLiteral("MAC address"));
            QCOMPARE(shown->windowTitle(), QStringLiteral("Change IP address"));
            shown->EdtMac->setText(QStringLiteral("02-00-00-12-34"));
            QTest::mouseClick(shown->BBChange, Qt::LeftButton);
            OnModalDialog([](TfRelynIPChangeGUI *again) {
                QCOMPARE(again->EdtMac->text(), QStringLiteral("02-00-00-12-34"));
                QCOMPARE(QApplication::focusWidget(), again->EdtMac);
                QTest::mouseClick(again->BBCancel, Qt::LeftButton);
            });
        });
        QWidget owner;
        QVERIFY(
            !OpenRelynIPChange(&owner, request, Net.Environment(), RecordBox(), RecordChange()));
        // A text the procedure refused was never sent.
        QVERIFY(Told.isEmpty());
        QCOMPARE(Boxes.size(), 1);
        QCOMPARE(Boxes[0].Parent, &owner);
        QCOMPARE(Boxes[0].Text, QStringLiteral("MAC address syntax error."));
        QCOMPARE(Net.Echoes, 0);
    }

    // What the Devices window looks for after a change: the typed MAC address as a search
    // lists it, at the new address.
    void openerGivesBackTheMovedDevice() {
        OnModalDialog([](TfRelynIPChangeGUI *shown) {
            shown->IPEdtAddress->SetText(QStringLiteral("192.0.2.50"));
            shown->EdtMac->setText(QStringLiteral("02:00:00:12:34:5f"));
            QTest::mouseClick(shown->BBChange, Qt::LeftButton);
        });
        const auto moved = RelynIPChangeOpener(Net.Environment(), RecordBox(), RecordChange())(
            nullptr, RelynIPChangeRequest(TRelynSearchLangSupport()));
        // Nobody looked for the device.
        QCOMPARE(Told,
                 QStringList{QStringLiteral("02-00-00-12-34-5F >192.0.2.50: sent, not checked")});
        QVERIFY(moved);
        QCOMPARE(moved->MACAddress, QStringLiteral("02-00-00-12-34-5F"));
        QCOMPARE(moved->IPAddress, QStringLiteral("192.0.2.50"));
    }

    // The search window's two optional buttons open the dialog; OK searches again.
    void searchWindowOpensTheDialogAndSearchesAgainAfterOK() {
        int searches = 0;
        TfRelynSearchGUI window(nullptr, [&searches](const QString &) {
            ++searches;
            return QList<TRelynPar>{Device("192.0.2.12", "02-00-00-00-00-02")};
        });
        window.SetChangeIPOpener(RelynIPChangeOpener(Net.Environment(), RecordBox()));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(!window.Searching());
        QCOMPARE(searches, 1);
        QVERIFY(window.BBChangeIP->isVisible());
        QVERIFY(window.BBHelpDeviceNotFound->isVisible());

        OnModalDialog([](TfRelynIPChangeGUI *shown) {
            QCOMPARE(shown->IPEdtAddress->Text(), QStringLiteral("192.0.2.12"));
            QCOMPARE(shown->EdtMac->text(), QStringLiteral("02-00-00-00-00-02"));
            QVERIFY(shown->ChBARPOnly->isVisible());
            shown->IPEdtAddress->SetText(QStringLiteral("192.0.2.50"));
            QTest::mouseClick(shown->BBChange, Qt::LeftButton);
        });
        QTest::mouseClick(window.BBChangeIP, Qt::LeftButton);
        QCOMPARE(Boxes.size(), 1);
        QCOMPARE(Boxes[0].Kind, qint32(rmInformation));
        QCOMPARE(Net.Broadcasts.size(), 1);
        QCOMPARE(Net.Broadcasts[0].first.right(6).toHex(), QByteArray("0002c0000232"));
        QTRY_VERIFY(!window.Searching());
        QCOMPARE(searches, 2);

        // A cancelled dialog, and a failed change, leave the list as it is.
        OnModalDialog(
            [](TfRelynIPChangeGUI *shown) { QTest::mouseClick(shown->BBCancel, Qt::LeftButton); });
        QTest::mouseClick(window.BBHelpDeviceNotFound, Qt::LeftButton);
        Net.AddressAnswers = true;
        OnModalDialog([](TfRelynIPChangeGUI *shown) {
            QTest::mouseClick(shown->BBChange, Qt::LeftButton);
            OnModalDialog([](TfRelynIPChangeGUI *again) {
                QTest::mouseClick(again->BBCancel, Qt::LeftButton);
            });
        });
        QTest::mouseClick(window.BBChangeIP, Qt::LeftButton);
        QTRY_VERIFY(!window.Searching());
        QCOMPARE(searches, 2);
        QCOMPARE(Boxes.size(), 2);
        QCOMPARE(Boxes[1].Kind, qint32(rmError));
    }
};

QTEST_MAIN(RelynIPChangeGuiTest)
#include "relynipchangegui_test.moc"
