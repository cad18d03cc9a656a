#include "ipassign/relynipchangegui.h"

#include "discovery/macaddresstext.h"
#include "discovery/relynsearchlangsupport.h"
#include "ipassign/answerwait.h"
#include "ipassign/ipedit.h"
#include "support/nethelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int MainPanelHeight = 99;
constexpr int ButtonPanelHeight = 41;

QFrame *MakePanel(QWidget *parent, const QString &name) {
    auto *panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::NoFrame);
    return panel;
}

// Just wide enough for any MAC address with the caret after it, in the field's font: the designed
// width cuts the address off in today's fonts.
int MacEditWidth(const QLineEdit *edit) {
    QStyleOptionFrame frame;
    frame.initFrom(edit);
    frame.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, edit);
    frame.state |= QStyle::State_Sunken;
    const QMargins margins = edit->textMargins();
    // A line edit keeps 2 pixels on either side of its text; the caret takes one more.
    const int text =
        int(std::ceil(
            QFontMetricsF(edit->font()).horizontalAdvance(WidestMacAddressText(edit->font())))) +
        2 * 2 + 1 + margins.left() + margins.right();
    return edit->style()
        ->sizeFromContents(QStyle::CT_LineEdit, &frame, QSize(text, edit->height()), edit)
        .width();
}

void ShowMessageBox(QWidget *parent, qint32 kind, const QString &text) {
    // The messages carry line breaks as CR LF; a label would show the CR.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    switch (kind) {
    case rmWarning:
        QMessageBox::warning(parent, QObject::tr("Warning"), shown);
        break;
    case rmInformation:
        QMessageBox::information(parent, QObject::tr("Information"), shown);
        break;
    default:
        QMessageBox::critical(parent, QObject::tr("Error"), shown);
        break;
    }
}

} // namespace

void TRelynIPChangeLangSupport::Apply(const TRelynIPChangeLangSupport &replacement) {
    const auto take = [](QString &held, const QString &given) {
        if (!given.isEmpty())
            held = given;
    };
    take(CapDialog, replacement.CapDialog);
    take(CapChange, replacement.CapChange);
    take(CapCancel, replacement.CapCancel);
    take(CapIPAddress, replacement.CapIPAddress);
    take(CapMACAddress, replacement.CapMACAddress);
    take(CapARPOnly, replacement.CapARPOnly);
    take(Messages.MsgTemporary, replacement.Messages.MsgTemporary);
    take(Messages.MsgChanged, replacement.Messages.MsgChanged);
    take(Messages.MsgChangeError, replacement.Messages.MsgChangeError);
    take(Messages.MsgIPSyntax, replacement.Messages.MsgIPSyntax);
    take(Messages.MsgIPExists, replacement.Messages.MsgIPExists);
    take(Messages.MsgMACSyntax, replacement.Messages.MsgMACSyntax);
    take(Messages.MsgNeedsAdmin, replacement.Messages.MsgNeedsAdmin);
}

TRelynIPChangeLangSupport RelynIPChangeDialogTexts() {
    TRelynIPChangeLangSupport texts;
    texts.CapDialog = QCoreApplication::translate("TRelynIPChangeLangSupport", "Change IP address");
    texts.CapChange = QCoreApplication::translate("TRelynIPChangeLangSupport", "Change");
    texts.CapCancel = QCoreApplication::translate("TRelynIPChangeLangSupport", "Cancel");
    texts.CapIPAddress = QCoreApplication::translate("TRelynIPChangeLangSupport", "IP address:");
    texts.CapMACAddress = QCoreApplication::translate("TRelynIPChangeLangSupport", "MAC address");
    texts.CapARPOnly = QCoreApplication::translate("TRelynIPChangeLangSupport",
                                                   "Set IP address to ARP table only");
    texts.Messages = RelynIPChangeMessages();
    return texts;
}

TfRelynIPChangeGUI::TfRelynIPChangeGUI(QWidget *owner, TRelynIPChangeEnvironment environment,
                                       MessageBoxFunction messageBox)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , FEnvironment(std::move(environment))
    , FMessageBox(messageBox ? std::move(messageBox) : MessageBoxFunction(ShowMessageBox))
    , FAnswerWait(new TRelynAnswerWait(FEnvironment.Search, this)) {
    setObjectName(QStringLiteral("fRelynIPChangeGUI"));
    setFixedSize(ClientWidth, ClientHeight);
    setModal(true);

    PnlBackground = MakePanel(this, QStringLiteral("PnlBackground"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PnlBackground);

    PnlMain = MakePanel(PnlBackground, QStringLiteral("PnlMain"));
    PnlMain->setFixedHeight(MainPanelHeight);
    PnlButtons = MakePanel(PnlBackground, QStringLiteral("PnlButtons"));
    PnlButtons->setFixedHeight(ButtonPanelHeight);
    auto *panels = new QVBoxLayout(PnlBackground);
    panels->setContentsMargins(0, 0, 0, 0);
    panels->setSpacing(0);
    panels->addWidget(PnlMain, 1);
    panels->addWidget(PnlButtons);

    LabIPAddress = new QLabel(PnlMain);
    LabIPAddress->setObjectName(QStringLiteral("LabIPAddress"));
    LabIPAddress->move(32, 16);
    LabMacAddress = new QLabel(PnlMain);
    LabMacAddress->setObjectName(QStringLiteral("LabMacAddress"));
    LabMacAddress->move(216, 16);
    IPEdtAddress = new TIPEdit(PnlMain);
    IPEdtAddress->setObjectName(QStringLiteral("IPEdtAddress"));
    IPEdtAddress->setGeometry(32, 32, 125, 20);
    EdtMac = new QLineEdit(PnlMain);
    EdtMac->setObjectName(QStringLiteral("EdtMac"));
    EdtMac->setGeometry(216, 32, MacEditWidth(EdtMac), 21);
    EdtMac->setMaxLength(MacLength);
    ChBARPOnly = new QCheckBox(PnlMain);
    ChBARPOnly->setObjectName(QStringLiteral("ChBARPOnly"));
    ChBARPOnly->setGeometry(32, 64, 297, 17);
    ChBARPOnly->setChecked(false);
    LabAnswer = new QLabel(PnlMain);
    LabAnswer->setObjectName(QStringLiteral("LabAnswer"));
    LabAnswer->setGeometry(32, 62, ClientWidth - 2 * 32, 34);
    LabAnswer->setWordWrap(true);
    LabAnswer->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabAnswer->hide();

    Bevel1 = new QFrame(PnlButtons);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(0, 0, ClientWidth, 2);
    BBChange = new QPushButton(PnlButtons);
    BBChange->setObjectName(QStringLiteral("BBChange"));
    BBChange->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    BBChange->setGeometry(200, 8, 75, 25);
    BBChange->setDefault(true);
    BBCancel = new QPushButton(PnlButtons);
    BBCancel->setObjectName(QStringLiteral("BBCancel"));
    BBCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    BBCancel->setGeometry(280, 8, 75, 25);
    BBCancel->setAutoDefault(false);

    // The whole address control comes before EdtMac, so Tab from any of its fields goes there.
    setTabOrder(IPEdtAddress, EdtMac);
    setTabOrder(EdtMac, ChBARPOnly);
    setTabOrder(ChBARPOnly, BBChange);
    setTabOrder(BBChange, BBCancel);

    connect(BBChange, &QPushButton::clicked, this, &TfRelynIPChangeGUI::BBChangeClick);
    connect(BBCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(FAnswerWait, &TRelynAnswerWait::Finished, this, &TfRelynIPChangeGUI::AnswerFinished);
}

bool TfRelynIPChangeGUI::WaitingForAnswer() const {
    return FAnswerWait->Waiting();
}

void TfRelynIPChangeGUI::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (WaitingForAnswer()) {
        ShowWaiting();
        return;
    }
    if (FRetryFocus) {
        FRetryFocus->setFocus();
        FRetryFocus = nullptr;
        return;
    }
    if (QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    setWindowTitle(FTexts.CapDialog);
    BBChange->setText(FTexts.CapChange);
    BBCancel->setText(FTexts.CapCancel);
    LabIPAddress->setText(FTexts.CapIPAddress);
    LabIPAddress->adjustSize();
    LabMacAddress->setText(FTexts.CapMACAddress);
    LabMacAddress->adjustSize();
    ChBARPOnly->setText(FTexts.CapARPOnly);
    IPEdtAddress->SetText(FStartIPAddress);
    EdtMac->setText(FStartMACAddress);
    ChBARPOnly->setVisible(FShowARPOnly);
    IPEdtAddress->setFocus();
}

void TfRelynIPChangeGUI::BBChangeClick() {
    TRelynIPChange change(FEnvironment);
    // The box names the mode it offers; a hidden box offers nothing.
    change.SetArpOnly(FShowARPOnly && ChBARPOnly->isChecked());
    const QString macAddress = EdtMac->text();
    const QString ipAddress = IPEdtAddress->Text();
    // Another MAC address typed in names a device that may live on any interface.
    const QString interface = macAddress == FStartMACAddress ? FInterface : QString();
    change.SetInterface(interface);
    // The echo test takes up to about 3 s; the dialog is out of the way meanwhile.
    hide();
    change.SetMessages(FTexts.Messages);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TRelynIPChangeOutcome outcome = change.ChangeIP(macAddress, ipAddress);
    QApplication::restoreOverrideCursor();
    // A text that is no MAC address or no IP address names no change to record.
    const bool attempted = outcome.Success || (outcome.Message != FTexts.Messages.MsgMACSyntax &&
                                               outcome.Message != FTexts.Messages.MsgIPSyntax);
    QString newAddress = ipAddress;
    NormalizeIPText(newAddress);
    const int result = outcome.Success ? QDialog::Accepted : QDialog::Rejected;
    setResult(result);
    QString message = outcome.Message;
    // No search named the device's interface (it was not found, or another MAC was typed):
    // the datagram went out of all of them, and the technician should know.
    if (outcome.Success && interface.isEmpty() && !change.ArpOnly())
        message += tr("\r\nThe change went out of every interface of this "
                      "computer.");
    // The datagram is sent blind: only the device answering at its new address tells that it
    // moved. The neighbour table mode moves nothing.
    if (outcome.Success && !change.ArpOnly() && FEnvironment.Search) {
        FChangedMessage = message;
        FChangedMac = macAddress;
        FNewAddress = newAddress;
        FAnswerWait->Start(macAddress, FNewAddress, FEnvironment.AnswerWaitMs);
        // Hiding ended exec()'s loop; exec() runs it again around the shown dialog.
        show();
        return;
    }
    // The words quillet-cli's change-ip leaves in the journal.
    if (!outcome.Success && attempted)
        Tell(macAddress, newAddress, outcome.Message.section(QStringLiteral("\r\n"), 0, 0));
    else if (outcome.Success)
        Tell(macAddress, newAddress,
             change.ArpOnly() ? QStringLiteral("neighbour table only")
                              : QStringLiteral("sent, not checked"));
    FMessageBox(parentWidget(), outcome.Kind, message);
    if (!outcome.Success) {
        FRetryFocus = outcome.Message == FTexts.Messages.MsgMACSyntax
                          ? static_cast<QWidget *>(EdtMac)
                          : static_cast<QWidget *>(IPEdtAddress);
    }
    done(result);
}

void TfRelynIPChangeGUI::ShowWaiting() {
    for (QWidget *field : {static_cast<QWidget *>(IPEdtAddress), static_cast<QWidget *>(EdtMac),
                           static_cast<QWidget *>(BBChange)})
        field->setEnabled(false);
    ChBARPOnly->hide();
    LabAnswer->setText(tr("Looking for the device at %1 ...").arg(FNewAddress));
    LabAnswer->show();
    BBCancel->setFocus();
}

void TfRelynIPChangeGUI::AnswerFinished(bool answered) {
    Tell(FChangedMac, FNewAddress,
         answered ? QStringLiteral("done") : QStringLiteral("no answer at the new address"));
    if (answered) {
        EndWait(rmInformation, tr("The device answers at %1.").arg(FNewAddress));
        return;
    }
    EndWait(rmWarning, tr("The device does not answer at %1 yet (looked for it for %2 s): it may "
                          "need longer, or the change did not reach it. Search again to see.")
                           .arg(FNewAddress)
                           .arg(FEnvironment.AnswerWaitMs / 1000.0));
}

void TfRelynIPChangeGUI::reject() {
    if (!WaitingForAnswer()) {
        QDialog::reject();
        return;
    }
    FAnswerWait->Cancel();
    Tell(FChangedMac, FNewAddress, QStringLiteral("sent, not checked"));
    EndWait(rmWarning, tr("Whether the device answers at %1 was not checked: the wait was "
                          "cancelled.")
                           .arg(FNewAddress));
}

void TfRelynIPChangeGUI::EndWait(qint32 kind, const QString &line) {
    for (QWidget *field : {static_cast<QWidget *>(IPEdtAddress), static_cast<QWidget *>(EdtMac),
                           static_cast<QWidget *>(BBChange)})
        field->setEnabled(true);
    LabAnswer->hide();
    ChBARPOnly->setVisible(FShowARPOnly);
    hide();
    FMessageBox(parentWidget(), kind, FChangedMessage + QStringLiteral("\r\n") + line);
    done(QDialog::Accepted);
}

void TfRelynIPChangeGUI::Tell(const QString &mac, const QString &newAddress,
                              const QString &outcome) {
    if (!FObserver)
        return;
    const bool started =
        FStartKnown && RelynCanonicalMac(mac) == RelynCanonicalMac(FStartMACAddress);
    FObserver(RelynCanonicalMac(mac), started ? FStartIPAddress : QString(), newAddress, outcome);
}

int TfRelynIPChangeGUI::exec() {
    for (;;) {
        const int result = QDialog::exec();
        if (WaitingForAnswer())
            continue;
        if (result == QDialog::Accepted || !FRetryFocus)
            return result;
    }
}

TRelynIPChangeLangSupport RelynIPChangeTexts(const TRelynIPChangeRequest &request) {
    TRelynIPChangeLangSupport texts;
    texts.CapDialog = request.CapDialog;
    texts.CapChange = request.CapChange;
    texts.CapCancel = request.CapCancel;
    texts.CapIPAddress = request.CapIPAddress;
    texts.CapMACAddress = request.CapMACAddress;
    texts.CapARPOnly = request.CapARPOnly;
    texts.Messages.MsgTemporary = request.Messages[0];
    texts.Messages.MsgChanged = request.Messages[1];
    texts.Messages.MsgChangeError = request.Messages[2];
    texts.Messages.MsgIPSyntax = request.Messages[3];
    texts.Messages.MsgIPExists = request.Messages[4];
    texts.Messages.MsgMACSyntax = request.Messages[5];
    return texts;
}

std::optional<TRelynIPChangeResult>
OpenRelynIPChange(QWidget *parent, const TRelynIPChangeRequest &request,
                  const TRelynIPChangeEnvironment &environment,
                  const TfRelynIPChangeGUI::MessageBoxFunction &messageBox,
                  const TfRelynIPChangeGUI::ChangeObserver &observer) {
    TfRelynIPChangeGUI dialog(parent, environment, messageBox);
    dialog.SetChangeObserver(observer);
    if (request.HasStartAddress) {
        dialog.SetStartIPAddress(request.IPAddress);
        dialog.SetStartMACAddress(request.MACAddress);
        dialog.SetInterface(request.Interface);
    }
    dialog.SetShowARPOnly(request.ShowARPOnly);
    dialog.SetTexts(RelynIPChangeTexts(request));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    // The MAC address may have been typed in any of the forms the procedure takes.
    return TRelynIPChangeResult{RelynCanonicalMac(dialog.EdtMac->text()),
                                dialog.IPEdtAddress->Text()};
}

TRelynIPChangeOpener RelynIPChangeOpener(TRelynIPChangeEnvironment environment,
                                         TfRelynIPChangeGUI::MessageBoxFunction messageBox,
                                         TfRelynIPChangeGUI::ChangeObserver observer) {
    return [environment = std::move(environment), messageBox = std::move(messageBox),
            observer = std::move(observer)](QWidget *parent, const TRelynIPChangeRequest &request) {
        return OpenRelynIPChange(parent, request, environment, messageBox, observer);
    };
}

#include "moc_relynipchangegui.cpp"
