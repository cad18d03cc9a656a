#include "dialogs.h"
#include "programfolder.h"
#include "quillet.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    TSystemDialogs dialogs;
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    TfQuillet fQuillet(TStartupInputs::FromSystem(ProgramFolder(), arguments), dialogs);
    fQuillet.show();
    return QApplication::exec();
}
