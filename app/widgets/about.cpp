#include "app/widgets/about.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

TfAbout::TfAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("fAbout"));
    setWindowTitle(tr("About"));
    QFont small(QStringLiteral("Sans Serif"), 8);
    small.setStyleHint(QFont::SansSerif);
    setFont(small);
    auto *background = new QWidget(this);
    background->setObjectName(QStringLiteral("PnlBackground"));
    background->setGeometry(0, 0, 425, 177);

    FImgLogo = new QLabel(background);
    FImgLogo->setObjectName(QStringLiteral("ImgLogo"));
    FImgLogo->setGeometry(40, 16, 121, 97);
    FImgLogo->setPixmap(QPixmap(QStringLiteral(":/logos/logo_brimo.png")));
    FImgLogoZarn = new QLabel(background);
    FImgLogoZarn->setObjectName(QStringLiteral("ImgLogoZarn"));
    FImgLogoZarn->setGeometry(40, 12, 122, 105);
    FImgLogoZarn->setPixmap(QPixmap(QStringLiteral(":/logos/logo_zarn.png")));

    FLabAppTitle = new QLabel(background);
    FLabAppTitle->setObjectName(QStringLiteral("LabAppTitle"));
    QFont titleFont = font();
    titleFont.setPointSize(14);
    titleFont.setBold(true);
    FLabAppTitle->setFont(titleFont);
    FLabAppTitle->setGeometry(200, 14, 217, 28);

    FLabAppVer = new QLabel(background);
    FLabAppVer->setObjectName(QStringLiteral("LabAppVer"));
    FLabAppVer->setGeometry(200, 46, 217, 16);

    FLabInfo = new QLabel(background);
    FLabInfo->setObjectName(QStringLiteral("LabInfo"));
    FLabInfo->setGeometry(200, 70, 217, 60);
    FLabInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FLabInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *bevel = new QFrame(background);
    bevel->setObjectName(QStringLiteral("BvlBtns"));
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    bevel->setGeometry(8, 132, 409, 2);

    auto *ok = new QPushButton(tr("OK"), background);
    ok->setObjectName(QStringLiteral("BtnOK"));
    ok->setGeometry(176, 144, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TfAbout::BtnOKClick);

    setFixedSize(425, 177);
}

void TfAbout::BtnOKClick() {
    accept();
}

#include "moc_about.cpp"
