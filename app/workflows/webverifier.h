// Whether a device serves the web file that was sent to it: every page fetched over HTTP and
// compared with the reply stored for it in the web file.
#pragma once

#include "packer/webfile.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// One entry of a web file: its name bytes and its stored reply (head and body).
struct TWebPage {
    QByteArray Name;
    QByteArray Stored;
};

struct TWebVerifySettings {
    quint16 Port = 80;
    // One request, from its start to the reply's last byte.
    int RequestLimitMs = 5000;
    // What a reply may bring beyond the stored body before reading stops.
    int ReplyMargin = 1024;
};

struct TWebVerification {
    enum TWord {
        vwVerified,    // every page identical
        vwDiffers,     // some page differs or is missing
        vwNotVerified, // nothing proves either: no HTTP at all, or it stopped answering
        vwCancelled
    };
    TWord Word = vwNotVerified;
    int Pages = 0;     // pages a request can reach
    int Answered = 0;  // of them, answered before the check ended
    int Identical = 0; // of them, byte for byte the stored body
    // Entries no request can check: stored without a reply head (a device sends those bytes
    // bare, which is no HTTP reply), or behind an earlier entry of the same name.
    int Unchecked = 0;
    QStringList Differing; // names of pages answered with other bytes or another status
    QStringList Missing;   // names of pages the device does not have (404)
    QStringList Details;   // "logo.gif: 98 bytes served, 100 stored", one per page not identical
    QString Summary;       // the line for the window, after "Web upload successful."

    // "verified", "differs", "not verified", "cancelled".
    static QString WordText(TWord word);
    // The summary for the word and the counts and names above.
    static QString SummaryText(const TWebVerification &outcome);
};

// Fetches the pages one request at a time, from the event loop. What is compared: a stored
// reply is "HTTP/1.0 200", a head line with the MIME type and the file. The device must answer
// 200 and send the file byte for byte. The head line is left out: it begins with a blank, so
// Qt's reply parser does not read it, and its MIME type follows from the name anyway.
class TWebVerifier : public QObject {
    Q_OBJECT
public:
    explicit TWebVerifier(TWebVerifySettings settings = {}, QObject *parent = nullptr);
    // Stops a check still going, without signals.
    ~TWebVerifier() override;

    // The entries of a parsed web file (webfile::parse, as "webfile list" reads it).
    static QList<TWebPage> PagesOf(const webfile::ParseResult &parsed);

    // Ignored while a check runs. Finished follows in every case, possibly before Start
    // returns. No proxy, no redirect followed, at most RequestLimitMs per page.
    void Start(const QString &address, const QList<TWebPage> &pages);
    // Aborts the request under way; Finished(vwCancelled) follows before it returns.
    void Cancel();
    bool Running() const { return FRunning; }
    const TWebVerification &Outcome() const { return FOutcome; }

signals:
    // When the request for page `page` (1-based) of `pages` starts. A listener may Cancel here.
    void Progress(int page, int pages);
    // The verifier's last act: a listener may deleteLater() it here.
    void Finished(const TWebVerification &outcome);

private:
    struct TTarget {
        QString Name;
        QByteArray Path; // percent-encoded, with its leading '/'
        QByteArray Body; // the stored reply without its head
    };

    void Fetch();
    void ReadReply();
    void ReplyEnded();
    void DropReply();
    void End(TWebVerification::TWord word);

    TWebVerifySettings FSettings;
    QString FAddress;
    QList<TTarget> FTargets;
    int FNext = 0;
    bool FRunning = false;
    TWebVerification FOutcome;
    std::unique_ptr<QNetworkAccessManager> FManager;
    QNetworkReply *FReply = nullptr;
    QByteArray FBody;
    bool FTooLong = false;
    bool FTimedOut = false;
    QTimer *FLimit = nullptr;
};

Q_DECLARE_METATYPE(TWebVerification)
