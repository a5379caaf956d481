#include "site/scan/ScanPool.h"

#include <QFile>
#include <QThread>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Site {

ScanPool::ScanPool(const ClamdClient &client, QObject *parent)
    : QObject(parent)
    , m_client(client)
{
    m_threads.setMaxThreadCount(QThread::idealThreadCount());
}

ScanPool::~ScanPool()
{
    m_threads.waitForDone();
}

void ScanPool::scan(int descriptor, Done done)
{
    m_threads.start([this, descriptor, done = std::move(done)] {
        Result<ScanVerdict, ScanError> result = Failure(ScanError{u"cannot read the file to scan"_s});
        QFile file;
        if (file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            result = m_client.scan(file);
            // Written out here, the file is kept without the loop waiting for the disk.
            ::fdatasync(descriptor);
        } else if (descriptor >= 0)
            ::close(descriptor);
        QMetaObject::invokeMethod(
            this, [done, result] { done(result); }, Qt::QueuedConnection);
    });
}

}  // namespace Site
