// The device search window: searches when shown, lists the devices, sorts by column and hands the
// chosen address back to its caller.
#pragma once

#include "discovery/relyndevicelist.h"
#include "discovery/relyndevicemodel.h"
#include "discovery/relynnoreplyoverlay.h"
#include "discovery/relynsearchlangsupport.h"

#include <QDialog>
#include <QFlags>
#include <functional>
#include <optional>

class QFrame;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

enum TRelynSearchOption {
    soAll = 1,
    soHelp = 2,
    soChangeIP = 4,
};
Q_DECLARE_FLAGS(TRelynSearchOptions, TRelynSearchOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TRelynSearchOptions)

class TfRelynSearchGUI : public QDialog {
    Q_OBJECT
public:
    using ErrorReporter = std::function<void(QWidget *parent, const QString &text)>;
    // The lines that say why no device answered; the real search's default asks the system.
    using NoReplyHint = std::function<QStringList()>;

    static constexpr int ClientWidth = 521;
    static constexpr int ClientHeight = 297;
    static constexpr int ButtonPanelHeight = 73;

    // Without a search function the window runs the real discovery on the network. The search
    // and the hint run on a thread of their own and may touch nothing of the window.
    explicit TfRelynSearchGUI(QWidget *owner = nullptr, TRelynSearchFunction search = {});
    ~TfRelynSearchGUI() override;

    TRelynSearchOptions SearchOptions() const { return Options; }
    void SetSearchOptions(TRelynSearchOptions options) { Options = options; }
    QString TypesFile() const { return NamesFile; }
    void SetTypesFile(const QString &path) { NamesFile = path; }

    // Non-empty texts of the record replace the window's own.
    void SetTexts(const TRelynSearchLangSupport &texts) { Texts.Apply(texts); }
    const TRelynSearchLangSupport &LangSupport() const { return Texts; }

    // The optional buttons exist only when an opener is given, whatever the options say.
    void SetChangeIPOpener(TRelynIPChangeOpener opener) { OpenChangeIP = std::move(opener); }
    void SetErrorReporter(ErrorReporter reporter) { ReportError = std::move(reporter); }
    void SetNoReplyHint(NoReplyHint hint);

    // The address of the selected row; empty while no row is selected.
    QString SelectedIP() const;
    int SortColumn() const { return SortedColumn; }
    int RememberedColumn() const { return ClickedColumn; }
    // The devices in the order the table shows them.
    const QList<TRelynPar> &Rows() const { return Devices->Devices(); }
    const TRelynDeviceModel &Model() const { return *Devices; }

    // Starts a search and returns at once; when it ends the table shows its devices sorted by
    // the remembered column, and errors go to the user. Nothing while a search runs.
    void Search();
    bool Searching() const { return Searcher && Searcher->Running(); }

    QFrame *PnlRySearchBackground;
    QFrame *PnlList;
    QTableView *LvDeviceList;
    TRelynNoReplyOverlay *LbNoReply;
    QFrame *PnlButtons;
    QPushButton *BBSearch;
    QPushButton *BBHelpDeviceNotFound;
    QPushButton *BBSelect;
    QPushButton *BBCancel;
    QPushButton *BBChangeIP;

signals:
    // A search has ended and the table shows its result.
    void SearchEnded();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The first four columns as wide as their texts and captions, never narrower than designed;
    // the description, last, as wide as its texts and the rest of the table.
    void FitColumns();
    void SearchFinished(const TRelynDevicesResult &result);
    void SetWaitCursor(bool wait);
    void ApplyOptions();
    void ApplyTexts();
    void SortBy(int column);
    void SelectRow(int row);
    int SelectedRow() const;
    void UpdateSelectionButtons();
    void LvDeviceListColumnClick(int column);
    void BBChangeIPClick();
    void BBHelpDeviceNotFoundClick();
    void OpenIPChange(const TRelynIPChangeRequest &request);

    TRelynBackgroundSearch *Searcher;
    TRelynDeviceModel *Devices;
    QSortFilterProxyModel *Shown;
    TRelynIPChangeOpener OpenChangeIP;
    ErrorReporter ReportError;
    bool ExplainsNoReply = false;
    TRelynSearchOptions Options = soAll;
    QString NamesFile;
    TRelynSearchLangSupport Texts = RelynSearchTexts();
    int SortedColumn = 0;
    int ClickedColumn = 0;
    bool WaitCursorShown = false;
};

// Sets the window up as the main window's Search button does: no optional buttons, and the
// settings file's type names only for the brand "ZARN".
void ConfigureRelynSearchForMainWindow(TfRelynSearchGUI &window, const QString &brand,
                                       const QString &settingsFile);

// The main window's Search button: shows the window modally and returns the chosen address,
// or nothing when the window closed otherwise than with Select.
std::optional<QString> FindRelynDevice(QWidget *owner, const QString &brand,
                                       const QString &settingsFile,
                                       TRelynSearchFunction search = {});
