#include "site/store/SiteStore.h"
#include "site/store/StorePool.h"

#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;
using namespace Site;

using Work = StorePool::Work;
Q_DECLARE_METATYPE(QList<Work>)

// Jobs held on their workers until the test lets them go, so that what the pool starts at once
// can be counted.
class TstStorePool : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void startsWhatItMay_data();
    void startsWhatItMay();
    void jobsReadTheirWorkersStore();

private:
    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<SiteStore> m_store;
};

void TstStorePool::init()
{
    m_data = std::make_unique<QTemporaryDir>();
    m_store = std::make_unique<SiteStore>(m_data->path());
    QVERIFY(m_store->open());
}

void TstStorePool::startsWhatItMay_data()
{
    QTest::addColumn<QList<Work>>("jobs");
    QTest::addColumn<int>("atOnce");
    QTest::newRow("lookups take every worker") << QList{Work::Lookup, Work::Lookup, Work::Lookup, Work::Lookup} << 3;
    QTest::newRow("searches leave a worker") << QList{Work::Search, Work::Search, Work::Search} << 2;
    QTest::newRow("a lookup takes the worker searches leave")
        << QList{Work::Search, Work::Search, Work::Search, Work::Lookup} << 3;
    QTest::newRow("writes one at a time") << QList{Work::Write, Work::Write} << 1;
    QTest::newRow("a lookup beside a write") << QList{Work::Write, Work::Write, Work::Lookup} << 2;
    QTest::newRow("a write beside searches") << QList{Work::Search, Work::Search, Work::Write} << 3;
}

void TstStorePool::startsWhatItMay()
{
    QFETCH(QList<Work>, jobs);
    QFETCH(int, atOnce);
    StorePool pool(m_data->path(), m_data->path(), m_store->location(), 3);
    QVERIFY(pool.start());
    std::atomic<int> started = 0;
    QSemaphore held;
    int done = 0;
    for (const Work work : std::as_const(jobs)) {
        pool.run(work, [&](SiteStore &) -> StorePool::Done {
            ++started;
            held.acquire();
            return [&] {
                QCOMPARE(QThread::currentThread(), thread());
                ++done;
            };
        });
    }
    // Work is handed out only as it is queued or as a job ends, so while those are held the rest
    // wait in the queue.
    QCOMPARE(pool.running(), atOnce);
    QCOMPARE(pool.queued(), jobs.size() - atOnce);
    QTRY_COMPARE(started.load(), atOnce);
    held.release(int(jobs.size()));
    QTRY_COMPARE(done, int(jobs.size()));
    QCOMPARE(started.load(), int(jobs.size()));
    QCOMPARE(pool.running(), 0);
}

// Each worker has a connection of its own, on its own thread, and sees what others wrote.
void TstStorePool::jobsReadTheirWorkersStore()
{
    StorePool pool(m_data->path(), m_data->path(), m_store->location(), 2);
    QVERIFY(pool.start());
    SiteResource resource;
    resource.catalogue = Catalogue::User;
    resource.category = u"软件"_s;
    resource.title = u"池中所见"_s;
    resource.collectedAt = u"2024-01-01 00:00"_s;
    resource.filePath = u"2024/01/a.bin"_s;
    QVERIFY(m_store->addResource(resource));
    QList<QThread *> threads;
    QStringList titles;
    for (int i = 0; i < 2; ++i) {
        pool.run(Work::Lookup, [&](SiteStore &store) -> StorePool::Done {
            QThread *thread = QThread::currentThread();
            const auto page = store.findResources(Catalogue::User, u"池中"_s, SearchField::Anywhere, 1);
            const QString title = page && !page->resources.isEmpty() ? page->resources.first().title : QString();
            return [&threads, &titles, thread, title] {
                threads.append(thread);
                titles.append(title);
            };
        });
    }
    QTRY_COMPARE(titles.size(), 2);
    QCOMPARE(titles, QStringList({u"池中所见"_s, u"池中所见"_s}));
    QVERIFY(!threads.contains(thread()));
}

QTEST_GUILESS_MAIN(TstStorePool)
#include "tst_storepool.moc"
