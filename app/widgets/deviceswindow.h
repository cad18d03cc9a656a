// The Devices window: a device list that stays open beside the main window, searched off the
// user interface thread, with IP change, copy, export, a browser and uploads to the selection.
#pragma once

#include "app/core/deviceswindowstate.h"
#include "discovery/relyndevicemodel.h"
#include "discovery/relynnoreplyoverlay.h"
#include "discovery/relynsearchlangsupport.h"

#include "ipassign/freeaddress.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class TDialogs;
class TDocumentOpener;
class TfJournalHistory;
class TJournalColumns;
class TJournalRecorder;

class TfDevices : public QWidget {
    Q_OBJECT
public:
    using DevicesAction = std::function<void(const QList<TRelynPar> &devices)>;
    using AddressAction = std::function<void(const QString &address)>;

    // The search runs on its own thread; nothing in it may touch this window.
    TfDevices(TDialogs &dialogs, TRelynBackgroundSearch::Search search = {},
              TRelynBackgroundSearch::NoReplyHint hint = {}, QWidget *parent = nullptr);

    void SetTypesFile(const QString &path) { TypesFile = path; }
    // The site journal: a name, a note, the last upload and the change since the previous
    // search per device, the devices gone since then, and History. None: the plain list.
    void SetJournal(std::shared_ptr<TJournalRecorder> journal);
    // The history of the selected devices, or of all with none selected; nullptr without a
    // journal. The caller shows it; it deletes itself when closed.
    TfJournalHistory *OpenHistory();
    // The IP change dialog; without one the two buttons and the menu item stay hidden.
    void SetChangeIPOpener(TRelynIPChangeOpener opener);
    // Use this address: fills the main window's field.
    void SetUseAddress(AddressAction action) { UseAddress = std::move(action); }
    // Open in browser: the desktop's opener program by default.
    void SetOpenUrl(AddressAction action) { OpenUrl = std::move(action); }
    // Upload web / Upload FW to selected; an action not given is not offered.
    void SetUploadWeb(DevicesAction action) { UploadWeb = std::move(action); }
    void SetUploadFirmware(DevicesAction action) { UploadFirmware = std::move(action); }
    // A free address on the network of the interface a device answered on; the system's
    // (neighbour table, routes, echo) unless a test sets its own.
    using AddressProposer = std::function<TFreeAddressProposal(const TRelynPar &device)>;
    void SetAddressProposer(AddressProposer proposer) { ProposeAddress = std::move(proposer); }
    // "Give it an address here...": for one device outside its interface's networks, the IP
    // change dialog with a free address of that network, then the device selected there.
    void Rescue();

    TDevicesWindowState State() const;
    void ApplyState(const TDevicesWindowState &state);

    // Starts a search of the range field's range, or a broadcast when it is empty; false while
    // one runs or when the range is no range (the status line says why).
    bool Search();
    bool Searching() const { return Searcher->Running(); }
    // The selected devices in the order the table shows them.
    QList<TRelynPar> SelectedDevices() const;
    // All devices in the order the table shows them.
    QList<TRelynPar> ShownDevices() const;
    QString SelectedText() const;
    void CopySelection();
    // Asks for a file and writes the list as CSV or JSON, by the name's extension.
    void Export();
    // Writes the list to the path; false with the reason when it could not be written.
    bool ExportTo(const QString &path, QString *error = nullptr) const;
    // The context menu for the selection; nullptr when nothing is selected.
    QMenu *MakeContextMenu();

    QLineEdit *EdtRange;
    QPushButton *BtnSearch;
    QTableView *TvDevices;
    TRelynNoReplyOverlay *LbNoReply;
    QLabel *LbStatus;
    QPushButton *BtnChangeIP;
    QPushButton *BtnHelp;
    QPushButton *BtnExport;
    QPushButton *BtnHistory;
    const TRelynDeviceModel &Model() const { return *Devices; }
    // The table's rows: the devices, then those gone since the previous search.
    TJournalColumns &Table() const { return *Columns; }

signals:
    // A search has ended and the table shows its result.
    void SearchEnded();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SearchFinished(const TRelynDevicesResult &result);
    void UpdateButtons();
    void ChangeIP();
    void HelpNotFound();
    void OpenIPChange(const TRelynIPChangeRequest &request);
    void ShowContextMenu(const QPoint &position);

    TDialogs &Dialogs;
    TRelynBackgroundSearch *Searcher;
    TRelynDeviceModel *Devices;
    TJournalColumns *Columns;
    QSortFilterProxyModel *Sorted;
    std::shared_ptr<TJournalRecorder> Journal;
    QString SearchScope; // of the search running or last run
    QString TypesFile;
    TRelynIPChangeOpener OpenChangeIP;
    AddressAction UseAddress;
    AddressAction OpenUrl;
    AddressProposer ProposeAddress;
    TDocumentOpener *Browser;
    DevicesAction UploadWeb;
    DevicesAction UploadFirmware;
    std::optional<TRelynIPChangeResult> Moved; // selected after the next search
    bool MovedSearchedAgain = false;
    bool SearchedOnce = false;
};
