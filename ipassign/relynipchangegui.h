// The IP change dialog: asks for a new address and the device's MAC address, runs the IP
// assignment procedure and shows its outcome.
#pragma once

#include "discovery/relynsearchlangsupport.h"
#include "ipassign/relynipchange.h"

#include <QDialog>
#include <functional>
#include <optional>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TIPEdit;
class TRelynAnswerWait;

// The dialog's twelve texts: six captions and the procedure's six messages.
struct TRelynIPChangeLangSupport {
    QString CapDialog = QStringLiteral("Change IP address");
    QString CapChange = QStringLiteral("Change");
    QString CapCancel = QStringLiteral("Cancel");
    QString CapIPAddress = QStringLiteral("IP address:");
    QString CapMACAddress = QStringLiteral("MAC address");
    QString CapARPOnly = QStringLiteral("Set IP address to ARP table only");
    TRelynIPChangeMsgLngSupport Messages;

    // Each non-empty text of the replacement takes the place of the text held.
    void Apply(const TRelynIPChangeLangSupport &replacement);
};

// The texts in the user interface's language: the defaults above when it is English.
TRelynIPChangeLangSupport RelynIPChangeDialogTexts();

class TfRelynIPChangeGUI : public QDialog {
    Q_OBJECT
public:
    // Shows an outcome: kind 0 warning, 1 error, 2 information, with a single OK button.
    using MessageBoxFunction =
        std::function<void(QWidget *parent, qint32 kind, const QString &text)>;
    // Told of every change tried, failed ones too, once its outcome is known, in quillet-cli
    // change-ip's words: "done", "no answer at the new address", "sent, not checked",
    // "neighbour table only" or the failure's first line. The old address is empty unless the
    // change was for the device the dialog started with.
    using ChangeObserver = std::function<void(const QString &mac, const QString &oldAddress,
                                              const QString &newAddress, const QString &outcome)>;

    static constexpr int ClientWidth = 359;
    static constexpr int ClientHeight = 140;
    static constexpr int MacLength = 17;

    // Each Change press creates one procedure on this environment.
    explicit TfRelynIPChangeGUI(
        QWidget *owner = nullptr,
        TRelynIPChangeEnvironment environment = TRelynIPChangeEnvironment::System(),
        MessageBoxFunction messageBox = {});

    QString StartIPAddress() const { return FStartIPAddress; }
    void SetStartIPAddress(const QString &text) {
        FStartIPAddress = text;
        FStartKnown = true;
    }
    QString StartMACAddress() const { return FStartMACAddress; }
    void SetStartMACAddress(const QString &text) { FStartMACAddress = text; }
    // False hides ChBARPOnly, and with it the ARP mode.
    bool ShowARPOnly() const { return FShowARPOnly; }
    void SetShowARPOnly(bool show) { FShowARPOnly = show; }
    // The interface the start MAC address's device answered on.
    void SetInterface(const QString &name) { FInterface = name; }
    void SetChangeObserver(ChangeObserver observer) { FObserver = std::move(observer); }

    // Non-empty texts of the record replace the dialog's own.
    void SetTexts(const TRelynIPChangeLangSupport &texts) { FTexts.Apply(texts); }
    const TRelynIPChangeLangSupport &Texts() const { return FTexts; }

    QFrame *PnlBackground;
    QFrame *PnlMain;
    QLabel *LabIPAddress;
    QLabel *LabMacAddress;
    TIPEdit *IPEdtAddress;
    QLineEdit *EdtMac;
    QCheckBox *ChBARPOnly;
    QFrame *PnlButtons;
    QFrame *Bevel1;
    QPushButton *BBChange;
    QPushButton *BBCancel;
    // In the place of ChBARPOnly while the dialog looks for the device at its new address.
    QLabel *LabAnswer;

    // After a change the dialog stays open, and Cancel ends the wait, until the device answers
    // at its new address or the environment's AnswerWaitMs are over; the box then says which.
    bool WaitingForAnswer() const;
    // While the dialog waits for the device: ends the wait, not the dialog's success.
    void reject() override;

    // A failed change shows the dialog again with what was typed, until Change succeeds or the
    // user cancels.
    int exec() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void BBChangeClick();
    void ShowWaiting();
    void AnswerFinished(bool answered);
    // Shows the change's message with the wait's line and closes the dialog with OK.
    void EndWait(qint32 kind, const QString &line);
    void Tell(const QString &mac, const QString &newAddress, const QString &outcome);

    TRelynIPChangeEnvironment FEnvironment;
    QString FInterface;
    MessageBoxFunction FMessageBox;
    QString FStartIPAddress = QStringLiteral("0.0.0.0");
    QString FStartMACAddress = QStringLiteral("00-00-00-00-00-00");
    bool FShowARPOnly = true;
    bool FStartKnown = false;
    ChangeObserver FObserver;
    TRelynIPChangeLangSupport FTexts = RelynIPChangeDialogTexts();
    // Set by a failed change: the dialog comes back with its fields as they were, the one at
    // fault focused.
    QWidget *FRetryFocus = nullptr;
    TRelynAnswerWait *FAnswerWait;
    // The change's own message, and the device looked for at its new address.
    QString FChangedMessage;
    QString FChangedMac;
    QString FNewAddress;
};

// The dialog's texts from what the search window hands over.
TRelynIPChangeLangSupport RelynIPChangeTexts(const TRelynIPChangeRequest &request);

// Opens the dialog modally as the search window asks for it ("Change IP" with the selected
// device, "Help! My device wasn't found!" without); what was changed, or nothing when the
// dialog was cancelled or the change failed.
std::optional<TRelynIPChangeResult> OpenRelynIPChange(
    QWidget *parent, const TRelynIPChangeRequest &request,
    const TRelynIPChangeEnvironment &environment = TRelynIPChangeEnvironment::System(),
    const TfRelynIPChangeGUI::MessageBoxFunction &messageBox = {},
    const TfRelynIPChangeGUI::ChangeObserver &observer = {});

// The opener a caller gives a device window (TfRelynSearchGUI and TfDevices SetChangeIPOpener)
// to offer "Change IP" and "Help! My device wasn't found!".
TRelynIPChangeOpener
RelynIPChangeOpener(TRelynIPChangeEnvironment environment = TRelynIPChangeEnvironment::System(),
                    TfRelynIPChangeGUI::MessageBoxFunction messageBox = {},
                    TfRelynIPChangeGUI::ChangeObserver observer = {});
