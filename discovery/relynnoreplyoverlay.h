// The note over an empty device table after a search that found nothing: why, and what to do.
#pragma once

#include <QLabel>
#include <QStringList>

class QAbstractItemView;

class TRelynNoReplyOverlay : public QLabel {
    Q_OBJECT
public:
    // Lies in the view's viewport, hidden until a search finds nothing.
    explicit TRelynNoReplyOverlay(QAbstractItemView *view);

    void ShowHint(const QStringList &hint);
};
