// Rules shared by every export of texts that came from devices (CSV, TSV, JSON), which end up
// in spreadsheets and on terminals.
#pragma once

#include <QString>

class QJsonDocument;

namespace exporttext {

// C0, DEL and C1: a terminal acts on them (0x9B alone starts an escape sequence).
bool IsControl(QChar c);

// Descriptions and names come from whoever owns a device: never let a spreadsheet run one as a
// formula (some also start one after a line break or a ";").
QString FormulaSafe(QString cell);

// The document indented, with C1 controls as \u escapes: Qt escapes C0 itself but writes C1
// raw. Escaped, they reach a terminal harmlessly and a JSON reader unchanged.
QString Json(const QJsonDocument &document);

} // namespace exporttext
