// After an IP change: whether the device answers a search at its new address. The datagram is
// sent blind, so only the device itself can tell whether it moved.
#pragma once

#include "discovery/relyndevicelist.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QThread;

// Searches again and again until a device with the MAC address answers at the address, for at
// most waitMs; the device's record, or nothing. A search that fails counts as one without it.
// Nothing either once `stop` says so; it is asked between searches and during the pauses.
std::optional<TRelynPar> RelynFindDeviceAt(const TRelynSearchFunction &search, const QString &mac,
                                           const QString &address, int waitMs,
                                           const std::function<bool()> &stop = {});

// The same on a thread of its own, reporting on the owner's thread, so that a window waits
// without blocking its event loop. One wait at a time.
class TRelynAnswerWait : public QObject {
    Q_OBJECT
public:
    explicit TRelynAnswerWait(TRelynSearchFunction search, QObject *parent = nullptr);
    // Cancels, then waits for the search under way: its thread uses nothing of the caller's.
    ~TRelynAnswerWait() override;

    // From Start until Finished, or until Cancel.
    bool Waiting() const { return FWaiting; }
    // False while a wait, or the last search of a cancelled one, still runs.
    bool Start(const QString &mac, const QString &address, int waitMs);
    // Ends the wait at once: no Finished comes for it.
    void Cancel();

signals:
    void Finished(bool answered);

private:
    void WorkerEnded();

    TRelynSearchFunction FSearch;
    QThread *FWorker = nullptr;
    std::shared_ptr<std::atomic<bool>> FStop;
    std::shared_ptr<std::atomic<bool>> FAnswered;
    bool FWaiting = false;
};
