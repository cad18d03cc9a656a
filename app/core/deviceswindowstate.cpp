#include "app/core/deviceswindowstate.h"

#include "app/core/inifile.h"

#include <QStringList>

#include <algorithm>

namespace {
const QString Section = QStringLiteral("Devices");
// Narrower than this a column shows no text: a hand-edited or damaged width would hide it.
constexpr int MinColumnWidth = 16;
} // namespace

TDevicesWindowState LoadDevicesWindowState(const QString &iniPath) {
    TIniFile ini;
    ini.Load(iniPath);
    TDevicesWindowState state;
    state.Width = ini.ReadString(Section, QStringLiteral("Width"), QString()).toInt();
    state.Height = ini.ReadString(Section, QStringLiteral("Height"), QString()).toInt();
    const QStringList widths = ini.ReadString(Section, QStringLiteral("Columns"), QString())
                                   .split(u',', Qt::SkipEmptyParts);
    for (const QString &width : widths) {
        bool ok = false;
        const int value = width.trimmed().toInt(&ok);
        if (!ok || value < MinColumnWidth)
            return {state.Width, state.Height, {}};
        state.ColumnWidths << value;
    }
    return state;
}

bool SaveDevicesWindowState(const QString &iniPath, const TDevicesWindowState &state) {
    TIniFile ini;
    // Writing a file read in part would drop the rest of it.
    const TIniFile::TLoadResult loaded = ini.Load(iniPath);
    if (loaded != TIniFile::lrLoaded && loaded != TIniFile::lrMissing)
        return false;
    QStringList widths;
    for (const int width : state.ColumnWidths)
        widths << QString::number(width);
    ini.WriteString(Section, QStringLiteral("Width"), QString::number(state.Width));
    ini.WriteString(Section, QStringLiteral("Height"), QString::number(state.Height));
    ini.WriteString(Section, QStringLiteral("Columns"), widths.join(u','));
    return ini.Save(iniPath);
}

QRect DevicesWindowPlace(const QRect &mainFrame, const QSize &frame, const QRect &available) {
    constexpr int Gap = 8;
    constexpr int Offset = 32;
    const QSize size = frame.boundedTo(available.size());
    QPoint place = mainFrame.topLeft() + QPoint(Offset, Offset);
    if (mainFrame.right() + Gap + size.width() <= available.right())
        place = {mainFrame.right() + 1 + Gap, mainFrame.top()};
    else if (mainFrame.left() - Gap - size.width() >= available.left())
        place = {mainFrame.left() - Gap - size.width(), mainFrame.top()};
    place.setX(std::clamp(place.x(), available.left(), available.right() + 1 - size.width()));
    place.setY(std::clamp(place.y(), available.top(), available.bottom() + 1 - size.height()));
    return {place, size};
}
