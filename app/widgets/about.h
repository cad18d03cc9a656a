// The about window: application name, version, the brand's logo and credit text.
#pragma once

#include <QDialog>

class QLabel;

class TfAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfAbout(QWidget *parent = nullptr);

    QLabel *LabAppTitle() const { return FLabAppTitle; }
    QLabel *LabAppVer() const { return FLabAppVer; }
    QLabel *LabInfo() const { return FLabInfo; }
    QLabel *ImgLogo() const { return FImgLogo; }
    QLabel *ImgLogoZarn() const { return FImgLogoZarn; }

public slots:
    void BtnOKClick();

private:
    QLabel *FImgLogo = nullptr;
    QLabel *FImgLogoZarn = nullptr;
    QLabel *FLabAppTitle = nullptr;
    QLabel *FLabAppVer = nullptr;
    QLabel *FLabInfo = nullptr;
};
