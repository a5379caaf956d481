#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"
#include "site/store/StoreLocation.h"

#include <QList>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

namespace Site {

class SiteStore;

// Runs the store's work on a few threads of its own, each with a connection of its own (Qt's
// connections belong to the thread that opened them), so that no query holds up the thread
// that serves HTTP. What a job returns is run back on the pool's own thread once it is done.
// Writes go one at a time, as SQLite takes them; searches, which may be long, leave one worker
// to everything else, so that a page or a post never waits behind a crowd of searches.
class StorePool : public QObject
{
    Q_OBJECT

public:
    enum class Work { Lookup, Search, Write };
    // Runs on the pool's thread with what the job found.
    using Done = std::function<void()>;
    // Runs on a worker with its store; a store that failed gives its failures to the job.
    using Job = std::function<Done(SiteStore &store)>;

    static constexpr int DefaultWorkers = 3;

    // Workers open the store of this data folder, files folder and database.
    StorePool(const QString &dataPath, const QString &filesPath, const StoreLocation &location,
              int workers = DefaultWorkers, QObject *parent = nullptr);
    // Waits for the jobs in progress; those not begun are dropped with what they would have done.
    ~StorePool() override;

    // Starts the workers and connects each to the store; fails as the first that cannot.
    Result<void, StoreError> start();
    void run(Work work, Job job);
    // Jobs waiting for a worker, and jobs in progress.
    qsizetype queued() const { return m_queue.size(); }
    int running() const;

private:
    class Worker;
    struct Queued
    {
        Work work;
        Job job;
    };

    void dispatch();
    bool mayStart(Work work) const;
    void finished(Worker *worker, const Done &done);

    QString m_dataPath;
    QString m_filesPath;
    StoreLocation m_location;
    std::vector<std::unique_ptr<Worker>> m_workers;
    std::deque<Queued> m_queue;
};

}  // namespace Site
