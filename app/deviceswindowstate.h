// The Devices window's size and column widths, kept in a section of their own in "qlt.ini".
#pragma once

#include <QList>
#include <QString>

struct TDevicesWindowState {
    int Width = 0; // 0: the window's own size
    int Height = 0;
    QList<int> ColumnWidths; // empty: the window's own widths

    friend bool operator==(const TDevicesWindowState &, const TDevicesWindowState &) = default;
};

TDevicesWindowState LoadDevicesWindowState(const QString &iniPath);
// Keeps everything else in the file; a file that cannot be read whole is left as it is.
bool SaveDevicesWindowState(const QString &iniPath, const TDevicesWindowState &state);
