// The Devices window's size and column widths, kept in a section of their own in "qlt.ini".
#pragma once

#include <QList>
#include <QRect>
#include <QString>

struct TDevicesWindowState {
    int Width = 0; // 0: the window's own size
    int Height = 0;
    QList<int> ColumnWidths; // empty: the window's own widths

    friend bool operator==(const TDevicesWindowState &, const TDevicesWindowState &) = default;
};

// Column widths that are not all numbers, or one too narrow to read, give the window its own.
TDevicesWindowState LoadDevicesWindowState(const QString &iniPath);
// Keeps everything else in the file; a file that cannot be read whole is left as it is.
bool SaveDevicesWindowState(const QString &iniPath, const TDevicesWindowState &state);

// Where the Devices window's frame goes beside the main window's frame on the screen's free
// area: to its right when there is room, else to its left, else a little below and right of its
// corner; always wholly on the area, smaller than asked when the area is smaller.
QRect DevicesWindowPlace(const QRect &mainFrame, const QSize &frame, const QRect &available);
