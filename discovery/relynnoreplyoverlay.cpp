#include "discovery/relynnoreplyoverlay.h"

#include "discovery/relynnoreply.h"

#include <QAbstractItemView>
#include <QVBoxLayout>

TRelynNoReplyOverlay::TRelynNoReplyOverlay(QAbstractItemView *view)
    : QLabel(view->viewport()) {
    setObjectName(QStringLiteral("LbNoReply"));
    setWordWrap(true);
    // The firewall command in the hint is there to be copied.
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto *layout = new QVBoxLayout(view->viewport());
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(this);
    hide();
}

void TRelynNoReplyOverlay::ShowHint(const QStringList &hint) {
    setText(RelynNoReplyText(hint));
    show();
}

#include "moc_relynnoreplyoverlay.cpp"
