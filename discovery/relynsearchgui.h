// The device search window: searches when shown, lists the devices, sorts by column and hands the
// chosen address back to its caller.
#pragma once

#include "discovery/relyndevicelist.h"
#include "discovery/relynsearchlangsupport.h"

#include <QDialog>
#include <QFlags>
#include <functional>
#include <optional>
#include <vector>

class QFrame;
class QLabel;
class QPushButton;
class QTableWidget;

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
    // Opens the IP change dialog for a request; true when the dialog closed with OK.
    using ChangeIPOpener = std::function<bool(QWidget *parent, const TRelynIPChangeRequest &)>;
    using ErrorReporter = std::function<void(QWidget *parent, const QString &text)>;
    // The lines that say why no device answered; the real search's default asks the system.
    using NoReplyHint = std::function<QStringList()>;

    static constexpr int ClientWidth = 521;
    static constexpr int ClientHeight = 297;
    static constexpr int ButtonPanelHeight = 73;

    // Without a search function the window runs the real discovery on the network.
    explicit TfRelynSearchGUI(QWidget *owner = nullptr, TRelynSearchFunction search = {});

    TRelynSearchOptions SearchOptions() const { return Options; }
    void SetSearchOptions(TRelynSearchOptions options) { Options = options; }
    QString TypesFile() const { return NamesFile; }
    void SetTypesFile(const QString &path) { NamesFile = path; }

    // Non-empty texts of the record replace the window's own.
    void SetTexts(const TRelynSearchLangSupport &texts) { Texts.Apply(texts); }
    const TRelynSearchLangSupport &LangSupport() const { return Texts; }

    // The optional buttons exist only when an opener is given, whatever the options say.
    void SetChangeIPOpener(ChangeIPOpener opener) { OpenChangeIP = std::move(opener); }
    void SetErrorReporter(ErrorReporter reporter) { ReportError = std::move(reporter); }
    void SetNoReplyHint(NoReplyHint hint) { ExplainNoReply = std::move(hint); }

    // The address of the selected row; empty while no row is selected.
    QString SelectedIP() const;
    int SortColumn() const { return SortedColumn; }
    int RememberedColumn() const { return ClickedColumn; }
    const QList<TRelynPar> &Rows() const { return Devices.Records(); }

    // Searches, fills the table and sorts it by the remembered column; errors go to the user.
    void Search();

    QFrame *PnlRySearchBackground;
    QFrame *PnlList;
    QTableWidget *LvDeviceList;
    // Over the empty table after a search that found nothing: why, and what to do.
    QLabel *LbNoReply;
    QFrame *PnlButtons;
    QPushButton *BBSearch;
    QPushButton *BBHelpDeviceNotFound;
    QPushButton *BBSelect;
    QPushButton *BBCancel;
    QPushButton *BBChangeIP;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ApplyOptions();
    void ApplyTexts();
    void SortBy(int column);
    void ShowRows(qsizetype selectedRow);
    qsizetype SelectedRow() const;
    void UpdateSelectionButtons();
    void LvDeviceListColumnClick(int column);
    void BBChangeIPClick();
    void BBHelpDeviceNotFoundClick();
    void OpenIPChange(TRelynIPChangeRequest request);

    TRelynSearchFunction RunSearch;
    ChangeIPOpener OpenChangeIP;
    ErrorReporter ReportError;
    NoReplyHint ExplainNoReply;
    TRelynSearchOptions Options = soAll;
    QString NamesFile;
    TRelynSearchLangSupport Texts;
    TRelynDeviceList Devices;
    int SortedColumn = 0;
    int ClickedColumn = 0;
    bool Searching = false;
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
