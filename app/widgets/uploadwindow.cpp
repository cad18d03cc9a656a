#include "app/widgets/uploadwindow.h"

#include "app/widgets/dialogs.h"
#include "app/widgets/objectnames.h"
#include "app/workflows/journalrecorder.h"
#include "app/workflows/uploadmodel.h"
#include "app/workflows/verifiedupload.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {
// The progress column: a bar while the transfer runs (and full once it is done), the restart
// wait's text otherwise. The item's own panel is drawn first, so a selection still shows.
class TProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        const QVariant percent = index.data(TUploadModel::ProgressRole);
        if (!percent.isValid() || percent.toInt() < 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        QStyle *style = item.widget ? item.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &item, painter, item.widget);
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(2, 2, -2, -2);
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = percent.toInt();
        bar.text = QStringLiteral("%1 %").arg(bar.progress);
        bar.textVisible = true;
        bar.textAlignment = Qt::AlignCenter;
        bar.state = option.state | QStyle::State_Horizontal;
        bar.palette = option.palette;
        bar.fontMetrics = option.fontMetrics;
        style->drawControl(QStyle::CE_ProgressBar, &bar, painter, item.widget);
    }
};

} // namespace

TfUpload *TfUpload::Open(const TUploadRequest &request, TDialogs &dialogs, QWidget *parent) {
    const QString question =
        UploadQuestion(request.Targets, request.Kind == TFleetUpload::fkFirmware, request.File);
    if (!question.isEmpty() && !dialogs.Confirm(parent, tr("Upload"), question))
        return nullptr;
    auto *window = new TfUpload(request, dialogs, parent);
    window->show();
    window->Start();
    return window;
}

TfUpload::TfUpload(const TUploadRequest &request, TDialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , FRequest(request)
    , FDialogs(dialogs) {
    setObjectName(QStringLiteral("fUpload"));
    setAttribute(Qt::WA_DeleteOnClose);
    const bool web = request.Kind == TFleetUpload::fkWeb;
    setWindowTitle((web ? tr("Upload web") : tr("Upload FW")) +
                   tr(" to %1 devices").arg(request.Targets.size()));

    FFleet = new TFleetUpload(request.Settings, this);
    FFleet->SetVerification(request.Verify, request.VerifySettings);
    FFleet->SetParallel(request.Parallel);
    FModel = new TUploadModel(*FFleet, this);

    FLabFile = Named(new QLabel(tr("File: ") + request.File, this), "LabFile");
    FLabFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FLvDevices = Named(new QTableView(this), "LvDevices");
    FLvDevices->setModel(FModel);
    FLvDevices->setItemDelegateForColumn(TUploadModel::ucProgress, new TProgressDelegate(this));
    FLvDevices->setSelectionBehavior(QAbstractItemView::SelectRows);
    FLvDevices->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FLvDevices->verticalHeader()->hide();
    FLvDevices->setWordWrap(false);
    // The columns grow to the widest text they have shown, measured from the row that changed
    // (RowShown): a view that measured every row again at each change of a thousand would keep
    // the window from its turn for seconds. Reasons are whole sentences: that column grows to
    // the longest, with a scroll bar when the window is narrower, and fills the rest of the row
    // otherwise (FitReasons).
    QHeaderView *header = FLvDevices->horizontalHeader();
    header->setStretchLastSection(true);
    // Wide enough for the longest restart or check text.
    header->resizeSection(
        TUploadModel::ucProgress,
        std::max(fontMetrics().horizontalAdvance(TDeviceUpload::RestartText(599)),
                 fontMetrics().horizontalAdvance(TVerifiedUpload::VerifyText(99, 99))) +
            16);
    connect(FModel, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &first, const QModelIndex &last) {
                for (int row = first.row(); row <= last.row(); ++row)
                    RowShown(row);
            });

    FLabSummary = Named(new QLabel(this), "LabSummary");
    FBtnCopy = Named(new QPushButton(tr("&Copy"), this), "BtnCopy");
    FBtnCancel = Named(new QPushButton(tr("C&ancel"), this), "BtnCancel");
    FBtnRetry = Named(new QPushButton(tr("&Retry failed"), this), "BtnRetry");
    FBtnRetry->setEnabled(false);
    FBtnClose = Named(new QPushButton(tr("C&lose"), this), "BtnClose");
    for (QPushButton *button : {FBtnCopy, FBtnCancel, FBtnRetry, FBtnClose})
        button->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(FLabSummary, 1);
    buttons->addWidget(FBtnCopy);
    buttons->addWidget(FBtnCancel);
    buttons->addWidget(FBtnRetry);
    buttons->addWidget(FBtnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(FLabFile);
    layout->addWidget(FLvDevices, 1);
    layout->addLayout(buttons);

    connect(FBtnCopy, &QPushButton::clicked, this, &TfUpload::BtnCopyClick);
    connect(FBtnCancel, &QPushButton::clicked, this, &TfUpload::BtnCancelClick);
    connect(FBtnRetry, &QPushButton::clicked, this, &TfUpload::BtnRetryClick);
    connect(FBtnClose, &QPushButton::clicked, this, &QWidget::close);
    connect(FFleet, &TFleetUpload::DeviceFinished, this, &TfUpload::UpdateSummary);
    connect(FFleet, &TFleetUpload::AllFinished, this, [this] {
        UpdateSummary();
        FBtnCancel->setEnabled(false);
        bool failed = false;
        for (int row = 0; row < FModel->rowCount(); ++row)
            failed |= FModel->index(row, 0).data(TUploadModel::FailedRole).toBool();
        FBtnRetry->setEnabled(failed);
        (failed ? FBtnRetry : FBtnClose)->setFocus(Qt::OtherFocusReason);
    });

    const int rows = std::min<int>(static_cast<int>(request.Targets.size()), 12);
    resize(std::max(860, header->length() + 200),
           FLvDevices->verticalHeader()->defaultSectionSize() * (rows + 1) + 120);
}

int TfUpload::TextWidth(const QStringList &texts, int column) const {
    int width = FLvDevices->horizontalHeader()->sectionSizeHint(column);
    for (const QString &text : texts)
        width = std::max(width, FLvDevices->fontMetrics().horizontalAdvance(text) + 16);
    return width;
}

void TfUpload::FitColumns(const QStringList &addresses) {
    QHeaderView *header = FLvDevices->horizontalHeader();
    header->resizeSection(TUploadModel::ucAddress, TextWidth(addresses, TUploadModel::ucAddress));
    for (int column : {TUploadModel::ucOutcome, TUploadModel::ucVerified})
        header->resizeSection(column, TextWidth({}, column));
    FReasonWidth = TextWidth({}, TUploadModel::ucReason);
    header->resizeSection(TUploadModel::ucReason, FReasonWidth);
    if (FModel->rowCount() > 0)
        RowShown(0);
    FitReasons();
}

void TfUpload::RowShown(int row) {
    QHeaderView *header = FLvDevices->horizontalHeader();
    for (int column : {TUploadModel::ucOutcome, TUploadModel::ucVerified}) {
        const int width = TextWidth({FModel->index(row, column).data().toString()}, column);
        if (width > header->sectionSize(column))
            header->resizeSection(column, width);
    }
    const int width = TextWidth({FModel->index(row, TUploadModel::ucReason).data().toString()},
                                TUploadModel::ucReason);
    if (width <= FReasonWidth)
        return;
    FReasonWidth = width;
    FitReasons();
}

void TfUpload::FitReasons() {
    QHeaderView *header = FLvDevices->horizontalHeader();
    const int room =
        FLvDevices->viewport()->width() - header->sectionViewportPosition(TUploadModel::ucReason);
    // A stretched last section takes the room left even when its text needs more; one that
    // does not stretch keeps the width of its longest text.
    header->setStretchLastSection(FReasonWidth <= room);
    if (FReasonWidth > room)
        header->resizeSection(TUploadModel::ucReason, FReasonWidth);
}

void TfUpload::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    FitReasons();
}

void TfUpload::Start() {
    QStringList addresses;
    QHash<QString, QString> macs;
    for (const TUploadTarget &target : FRequest.Targets) {
        addresses << target.Address;
        macs.insert(target.Address, target.Mac);
    }
    TJournalRecorder::Watch(FRequest.Journal, *FFleet, FRequest.Kind, FRequest.File, macs);
    FModel->SetAddresses(addresses);
    FitColumns(addresses);
    FBtnCancel->setFocus(Qt::OtherFocusReason);
    FFleet->Start(FRequest.Kind, FRequest.File, addresses);
    // Once the run is under way: before, it would read as a run that ended with none done.
    UpdateSummary();
}

void TfUpload::UpdateSummary() {
    FLabSummary->setText(FModel->SummaryText());
}

void TfUpload::BtnCopyClick() {
    QApplication::clipboard()->setText(FModel->ResultsText());
}

void TfUpload::BtnCancelClick() {
    FFleet->Cancel();
}

TfUpload *TfUpload::BtnRetryClick() {
    if (FFleet->Running())
        return nullptr;
    TUploadRequest retry = FRequest;
    retry.Targets.clear();
    for (int row = 0; row < FModel->rowCount(); ++row)
        if (FModel->index(row, 0).data(TUploadModel::FailedRole).toBool())
            retry.Targets << FRequest.Targets.value(row);
    if (retry.Targets.isEmpty())
        return nullptr;
    TfUpload *window = Open(retry, FDialogs, parentWidget());
    if (window)
        window->move(pos() + QPoint(32, 32));
    return window;
}

void TfUpload::closeEvent(QCloseEvent *event) {
    if (FFleet->Running()) {
        if (!FDialogs.Confirm(this, windowTitle(),
                              tr("Uploads are still running. Stop them and close?"))) {
            event->ignore();
            return;
        }
        FFleet->Cancel();
    }
    event->accept();
}

#include "moc_uploadwindow.cpp"
