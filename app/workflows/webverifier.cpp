#include "app/workflows/webverifier.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSet>
#include <QTimer>
#include <QUrl>

namespace {

// "a", "a and b", "a, b and c", "a, b and 3 more".
QString NameList(const QStringList &names) {
    if (names.size() <= 1)
        return names.value(0);
    if (names.size() <= 3)
        return QCoreApplication::translate("TWebVerification", "%1 and %2")
            .arg(names.mid(0, names.size() - 1).join(QStringLiteral(", ")), names.last());
    return QCoreApplication::translate("TWebVerification", "%1 and %2 more")
        .arg(names.mid(0, 2).join(QStringLiteral(", ")), QString::number(names.size() - 2));
}

QString Seconds(int milliseconds) {
    return QString::number(milliseconds / 1000.0);
}

} // namespace

QString TWebVerification::WordText(TWord word) {
    switch (word) {
    case vwVerified:
        return QStringLiteral("verified");
    case vwDiffers:
        return QStringLiteral("differs");
    case vwNotVerified:
        return QStringLiteral("not verified");
    case vwCancelled:
        return QStringLiteral("cancelled");
    }
    return {};
}

QString TWebVerification::SummaryText(const TWebVerification &o) {
    switch (o.Word) {
    case vwVerified: {
        QString text =
            QCoreApplication::translate(
                "TWebVerification", "The device serves the new web file: %1 of %2 pages identical")
                .arg(o.Identical)
                .arg(o.Pages);
        if (o.Unchecked > 0)
            text += o.Unchecked == 1
                        ? QCoreApplication::translate("TWebVerification",
                                                      ", 1 file of unknown extension not checked")
                        : QCoreApplication::translate("TWebVerification",
                                                      ", %1 files of unknown extension not checked")
                              .arg(o.Unchecked);
        return text + QLatin1Char('.');
    }
    case vwDiffers: {
        QStringList parts;
        if (!o.Differing.isEmpty())
            parts << NameList(o.Differing) +
                         (o.Differing.size() == 1
                              ? QCoreApplication::translate("TWebVerification", " differs")
                              : QCoreApplication::translate("TWebVerification", " differ"));
        if (!o.Missing.isEmpty())
            parts << NameList(o.Missing) +
                         (o.Missing.size() == 1
                              ? QCoreApplication::translate("TWebVerification", " is missing")
                              : QCoreApplication::translate("TWebVerification", " are missing"));
        QString text = QCoreApplication::translate("TWebVerification",
                                                   "The device does not serve the new web file: ") +
                       parts.join(QStringLiteral("; ")) + QLatin1Char('.');
        if (o.Answered < o.Pages)
            text += QCoreApplication::translate("TWebVerification",
                                                " It stopped answering after %1 of %2 pages.")
                        .arg(o.Answered)
                        .arg(o.Pages);
        return text;
    }
    case vwNotVerified:
        if (o.Pages == 0)
            return QCoreApplication::translate(
                "TWebVerification", "The web file holds no page that can be checked over HTTP.");
        if (o.Answered == 0)
            return QCoreApplication::translate(
                "TWebVerification",
                "The device serves no web pages over HTTP: the new web file could not be checked.");
        return QCoreApplication::translate(
                   "TWebVerification",
                   "The device stopped answering over HTTP after %1 of %2 pages: the "
                   "new web file could not be checked.")
            .arg(o.Answered)
            .arg(o.Pages);
    case vwCancelled:
        return QCoreApplication::translate("TWebVerification",
                                           "The check of the new web file was cancelled.");
    }
    return {};
}

TWebVerifier::TWebVerifier(TWebVerifySettings settings, QObject *parent)
    : QObject(parent)
    , FSettings(settings)
    , FLimit(new QTimer(this)) {
    FLimit->setSingleShot(true);
    connect(FLimit, &QTimer::timeout, this, [this] {
        FTimedOut = true;
        FReply->abort();
    });
}

TWebVerifier::~TWebVerifier() {
    FRunning = false;
    DropReply();
}

QList<TWebPage> TWebVerifier::PagesOf(const webfile::ParseResult &parsed) {
    QList<TWebPage> pages;
    for (const webfile::ParsedEntry &entry : parsed.entries)
        pages.append(
            {QByteArray(entry.name.data(), static_cast<qsizetype>(entry.name.size())),
             QByteArray(entry.stored.data(), static_cast<qsizetype>(entry.stored.size()))});
    return pages;
}

void TWebVerifier::Start(const QString &address, const QList<TWebPage> &pages) {
    if (FRunning)
        return;
    FRunning = true;
    FAddress = address;
    FOutcome = TWebVerification();
    FTargets.clear();
    FNext = 0;
    QSet<QByteArray> names;
    for (const TWebPage &page : pages) {
        const std::string_view stored(page.Stored.constData(),
                                      static_cast<std::size_t>(page.Stored.size()));
        const std::optional<std::string_view> mime = webfile::headMimeType(stored);
        // A device serves the first entry of a name; a later one no request can reach.
        if (!mime || names.contains(page.Name)) {
            ++FOutcome.Unchecked;
            continue;
        }
        names.insert(page.Name);
        const qsizetype head = static_cast<qsizetype>(webfile::kHeadFixedLength + mime->size());
        FTargets.append({QString::fromLatin1(page.Name), '/' + page.Name.toPercentEncoding(),
                         page.Stored.mid(head)});
    }
    FOutcome.Pages = static_cast<int>(FTargets.size());
    if (FTargets.isEmpty()) {
        End(TWebVerification::vwNotVerified);
        return;
    }
    FManager = std::make_unique<QNetworkAccessManager>();
    FManager->setProxy(QNetworkProxy::NoProxy);
    Fetch();
}

void TWebVerifier::Cancel() {
    if (!FRunning)
        return;
    DropReply();
    End(TWebVerification::vwCancelled);
}

void TWebVerifier::Fetch() {
    emit Progress(FNext + 1, static_cast<int>(FTargets.size()));
    if (!FRunning)
        return; // cancelled from the progress signal
    const TTarget &target = FTargets.at(FNext);
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(FAddress);
    url.setPort(FSettings.Port);
    url.setPath(QString::fromLatin1(target.Path), QUrl::StrictMode);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // The bytes as sent, not unpacked; and a device answers one request per connection.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setRawHeader("Connection", "close");
    FBody.clear();
    FTooLong = false;
    FTimedOut = false;
    FReply = FManager->get(request);
    FReply->setReadBufferSize(target.Body.size() + FSettings.ReplyMargin + 1);
    connect(FReply, &QNetworkReply::readyRead, this, &TWebVerifier::ReadReply);
    // Queued: the reply is dropped and Finished emitted outside the reply's own signal. A call
    // still queued for a reply dropped meanwhile is ignored.
    connect(
        FReply, &QNetworkReply::finished, this,
        [this, reply = FReply] {
            if (reply == FReply)
                ReplyEnded();
        },
        Qt::QueuedConnection);
    FLimit->start(FSettings.RequestLimitMs);
}

void TWebVerifier::ReadReply() {
    const qsizetype cap = FTargets.at(FNext).Body.size() + FSettings.ReplyMargin;
    FBody += FReply->read(cap + 1 - FBody.size());
    if (FBody.size() > cap && !FTooLong) {
        FTooLong = true;
        FReply->abort();
    }
}

void TWebVerifier::ReplyEnded() {
    FLimit->stop();
    if (!FTooLong && FReply->isOpen())
        ReadReply();
    const QVariant status = FReply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QString error = FReply->errorString();
    DropReply();

    const TTarget &target = FTargets.at(FNext);
    const QString &name = target.Name;
    const qsizetype stored = target.Body.size();
    bool answered = true;
    if (FTimedOut) {
        answered = false;
        FOutcome.Details << QStringLiteral("%1: no complete reply within %2 s")
                                .arg(name, Seconds(FSettings.RequestLimitMs));
    } else if (FTooLong) {
        FOutcome.Differing << name;
        FOutcome.Details
            << QStringLiteral("%1: more than the %2 bytes stored").arg(name).arg(stored);
    } else if (!status.isValid()) {
        answered = false;
        FOutcome.Details << QStringLiteral("%1: no reply (%2)").arg(name, error);
    } else if (status.toInt() == 404) {
        FOutcome.Missing << name;
        FOutcome.Details << QStringLiteral("%1: not found (404)").arg(name);
    } else if (status.toInt() != 200) {
        FOutcome.Differing << name;
        FOutcome.Details
            << (status.toInt() / 100 == 3
                    ? QStringLiteral("%1: redirected (%2)").arg(name).arg(status.toInt())
                    : QStringLiteral("%1: answered %2").arg(name).arg(status.toInt()));
    } else if (FBody == target.Body) {
        ++FOutcome.Identical;
    } else {
        FOutcome.Differing << name;
        if (FBody.size() < stored && target.Body.startsWith(FBody))
            FOutcome.Details << QStringLiteral("%1: cut short, %2 of %3 bytes")
                                    .arg(name)
                                    .arg(FBody.size())
                                    .arg(stored);
        else if (FBody.size() != stored)
            FOutcome.Details << QStringLiteral("%1: %2 bytes served, %3 stored")
                                    .arg(name)
                                    .arg(FBody.size())
                                    .arg(stored);
        else
            FOutcome.Details << QStringLiteral("%1: other bytes").arg(name);
    }
    FBody.clear();

    if (!answered) {
        // A server that stopped answering would cost the whole limit for every page left.
        const bool found = !FOutcome.Differing.isEmpty() || !FOutcome.Missing.isEmpty();
        End(found ? TWebVerification::vwDiffers : TWebVerification::vwNotVerified);
        return;
    }
    ++FOutcome.Answered;
    if (++FNext < FTargets.size()) {
        Fetch();
        return;
    }
    End(FOutcome.Identical == FOutcome.Pages ? TWebVerification::vwVerified
                                             : TWebVerification::vwDiffers);
}

void TWebVerifier::DropReply() {
    FLimit->stop();
    if (FReply) {
        FReply->disconnect(this);
        FReply->abort();
        delete FReply;
        FReply = nullptr;
    }
    // Qt may keep a spare connection to the device ready; nothing stays open between pages.
    if (FManager)
        FManager->clearConnectionCache();
}

void TWebVerifier::End(TWebVerification::TWord word) {
    FRunning = false;
    FOutcome.Word = word;
    FOutcome.Summary = TWebVerification::SummaryText(FOutcome);
    emit Finished(FOutcome);
}
