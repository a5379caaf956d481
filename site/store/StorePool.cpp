#include "site/store/StorePool.h"

#include "site/store/SiteStore.h"

#include <QSemaphore>
#include <QThread>

#include <algorithm>

namespace Site {

// One thread with a store of its own, made and closed on that thread, and its own event loop,
// which takes the jobs one at a time.
class StorePool::Worker : public QThread
{
public:
    Worker(const QString &dataPath, const QString &filesPath, const StoreLocation &location)
        : m_dataPath(dataPath)
        , m_filesPath(filesPath)
        , m_location(location)
    {
    }

    // Starts the thread and waits until its store is open, or could not be.
    Result<void, StoreError> begin()
    {
        start();
        m_ready.acquire();
        return m_opened;
    }

    void post(const Job &job, StorePool *pool)
    {
        QMetaObject::invokeMethod(
            m_inbox,
            [this, job, pool] {
                const Done done = job(*m_store);
                QMetaObject::invokeMethod(
                    pool, [this, pool, done] { pool->finished(this, done); }, Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
    }

    bool busy = false;
    Work work = Work::Lookup;

protected:
    void run() override
    {
        SiteStore store(m_dataPath, m_location);
        store.setFilesFolder(m_filesPath);
        QObject inbox;
        m_opened = store.open(SiteStore::Opening::Beside);
        m_store = &store;
        m_inbox = &inbox;
        m_ready.release();
        exec();
    }

private:
    QString m_dataPath;
    QString m_filesPath;
    StoreLocation m_location;
    QSemaphore m_ready;
    Result<void, StoreError> m_opened;
    SiteStore *m_store = nullptr;
    QObject *m_inbox = nullptr;
};

StorePool::StorePool(const QString &dataPath, const QString &filesPath, const StoreLocation &location, int workers,
                     QObject *parent)
    : QObject(parent)
    , m_dataPath(dataPath)
    , m_filesPath(filesPath)
    , m_location(location)
{
    for (int i = 0; i < std::max(workers, 1); ++i)
        m_workers.push_back(std::make_unique<Worker>(dataPath, filesPath, location));
}

StorePool::~StorePool()
{
    for (const auto &worker : m_workers) {
        worker->quit();
        worker->wait();
    }
}

Result<void, StoreError> StorePool::start()
{
    for (const auto &worker : m_workers) {
        if (const auto opened = worker->begin(); !opened)
            return opened;
    }
    return {};
}

void StorePool::run(Work work, Job job)
{
    m_queue.push_back({work, std::move(job)});
    dispatch();
}

int StorePool::running() const
{
    return int(std::count_if(m_workers.begin(), m_workers.end(), [](const auto &worker) { return worker->busy; }));
}

bool StorePool::mayStart(Work work) const
{
    const auto inProgress = [this](Work kind) {
        return std::count_if(m_workers.begin(), m_workers.end(),
                             [kind](const auto &worker) { return worker->busy && worker->work == kind; });
    };
    if (work == Work::Write)
        return inProgress(Work::Write) == 0;
    if (work == Work::Search)
        return inProgress(Work::Search) < std::max<qsizetype>(qsizetype(m_workers.size()) - 1, 1);
    return true;
}

// Each free worker takes the oldest job it may start.
void StorePool::dispatch()
{
    for (const auto &worker : m_workers) {
        if (worker->busy || !worker->isRunning())
            continue;
        const auto next = std::find_if(m_queue.begin(), m_queue.end(),
                                       [this](const Queued &queued) { return mayStart(queued.work); });
        if (next == m_queue.end())
            return;
        worker->busy = true;
        worker->work = next->work;
        worker->post(next->job, this);
        m_queue.erase(next);
    }
}

void StorePool::finished(Worker *worker, const Done &done)
{
    worker->busy = false;
    done();
    dispatch();
}

}  // namespace Site
