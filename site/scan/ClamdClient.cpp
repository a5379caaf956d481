#include "site/scan/ClamdClient.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QIODevice>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// Answers are a line: "stream: OK", "stream: <name> FOUND", "<reason> ERROR".
constexpr qsizetype MaxAnswerBytes = 4096;
const QByteArray StreamPrefix = "stream: ";
// What clamd reports, with AlertExceedsMax, for bytes past the limits it scans: it read only part.
const QByteArray LimitsHeuristic = "Heuristics.Limits.Exceeded";

QString answerText(const QByteArray &answer)
{
    return QString::fromUtf8(answer.left(200)).trimmed();
}

// clamd's answer to a scan, without its closing NUL.
Result<ScanVerdict, ScanError> verdictOf(const QByteArray &answer)
{
    if (answer == StreamPrefix + "OK")
        return ScanVerdict{};
    if (answer.startsWith(StreamPrefix) && answer.endsWith(" FOUND")) {
        const QByteArray name = answer.sliced(StreamPrefix.size(), answer.size() - StreamPrefix.size() - 6).trimmed();
        if (name.startsWith(LimitsHeuristic))
            return Failure(ScanError{u"clamd did not scan the file whole (%1): raise its limits"_s.arg(answerText(name))});
        if (!name.isEmpty())
            return ScanVerdict{QString::fromUtf8(name)};
    }
    return Failure(ScanError{u"clamd answered: %1"_s.arg(answerText(answer))});
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A connection to a unix socket, as the system gives it. (QLocalSocket drops what it read
// once a write fails, and clamd answers a stream longer than it takes and closes at once, so
// that the next chunk fails: its answer stays readable here.)
class UnixConnection
{
public:
    enum class Wait { Ready, Late, Closed };

    ~UnixConnection()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool connectTo(const QString &path, const QDeadlineTimer &deadline)
    {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (name.size() >= qsizetype(sizeof(address.sun_path))) {
            errno = ENAMETOOLONG;
            return false;
        }
        std::memcpy(address.sun_path, name.constData(), name.size());
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return false;
        // A server that takes no connections keeps one waiting while its queue is full.
        const qint64 ms = std::max<qint64>(deadline.remainingTime(), 1);
        const timeval wait{time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)};
        if (::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait) != 0
            || ::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
            return false;
        return ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK) == 0;
    }

    // Closed: the server will read no more, or the connection failed (errno says why).
    Wait send(const char *data, qint64 size, const QDeadlineTimer &deadline)
    {
        while (size > 0) {
            const ssize_t sent = ::send(m_fd, data, size_t(size), MSG_NOSIGNAL);
            if (sent > 0) {
                data += sent;
                size -= sent;
            } else if (errno == EAGAIN) {
                if (const Wait waited = waitFor(POLLOUT, deadline); waited != Wait::Ready)
                    return waited;
            } else if (errno != EINTR) {
                return Wait::Closed;
            }
        }
        return Wait::Ready;
    }

    // Appends what came to answer; Closed once the server closed and everything it sent was
    // read (errno 0), or when the connection failed.
    Wait receive(QByteArray &answer, qint64 most, const QDeadlineTimer &deadline)
    {
        for (;;) {
            char buffer[4096];
            const ssize_t got = ::recv(m_fd, buffer, size_t(std::min<qint64>(most, sizeof buffer)), 0);
            if (got > 0) {
                answer.append(buffer, got);
                return Wait::Ready;
            }
            if (got == 0)
                errno = 0;
            if (got == 0 || (errno != EAGAIN && errno != EINTR))
                return Wait::Closed;
            if (const Wait waited = waitFor(POLLIN, deadline); waited != Wait::Ready)
                return waited;
        }
    }

private:
    Wait waitFor(short events, const QDeadlineTimer &deadline)
    {
        pollfd watched{m_fd, events, 0};
        int ready;
        do {
            ready = ::poll(&watched, 1, int(std::max<qint64>(deadline.remainingTime(), 0)));
        } while (ready < 0 && errno == EINTR);
        if (ready == 0)
            return Wait::Late;
        return ready > 0 ? Wait::Ready : Wait::Closed;
    }

    int m_fd = -1;
};

}  // namespace

ClamdClient::ClamdClient(const QString &socketPath, std::chrono::milliseconds timeout)
    : m_socketPath(socketPath)
    , m_timeout(timeout)
{
}

std::optional<QString> ClamdClient::socketIn(const QString &address)
{
    static const QString Scheme = u"clamd:"_s;
    if (!address.startsWith(Scheme) || address.size() == Scheme.size())
        return std::nullopt;
    return address.sliced(Scheme.size());
}

Result<ScanVerdict, ScanError> ClamdClient::scan(QIODevice &data) const
{
    const auto answer = exchange("zINSTREAM", &data);
    if (!answer)
        return Failure(answer.error());
    return verdictOf(*answer);
}

Result<void, ScanError> ClamdClient::ping() const
{
    const auto answer = exchange("zPING", nullptr);
    if (!answer)
        return Failure(answer.error());
    if (*answer != "PONG")
        return Failure(ScanError{u"clamd answered PING with: %1"_s.arg(answerText(*answer))});
    return {};
}

Result<QByteArray, ScanError> ClamdClient::exchange(const QByteArray &command, QIODevice *data) const
{
    const QDeadlineTimer deadline(m_timeout);
    const auto late = [&] {
        return Failure(ScanError{
            u"clamd at %1 did not answer within %2 s"_s.arg(m_socketPath, QString::number(m_timeout.count() / 1000.0))});
    };
    UnixConnection socket;
    if (!socket.connectTo(m_socketPath, deadline)) {
        if (errno == EAGAIN && deadline.hasExpired())
            return late();
        return Failure(ScanError{u"cannot reach clamd at %1: %2"_s.arg(m_socketPath, systemError())});
    }

    // Each chunk is sent before the next is read, so at most one is held here. clamd may stop
    // reading early and answer (a stream longer than it takes): the answer is read below.
    const QByteArray line = command + '\0';
    UnixConnection::Wait sending = socket.send(line.constData(), line.size(), deadline);
    if (data) {
        QByteArray chunk(4 + ChunkBytes, Qt::Uninitialized);
        while (sending == UnixConnection::Wait::Ready) {
            const qint64 got = data->read(chunk.data() + 4, ChunkBytes);
            if (got < 0)
                return Failure(ScanError{u"cannot read the file to scan: %1"_s.arg(data->errorString())});
            qToBigEndian<quint32>(quint32(got), chunk.data());
            sending = socket.send(chunk.constData(), 4 + got, deadline);
            if (got == 0)
                break;
        }
    }
    if (sending == UnixConnection::Wait::Late)
        return late();

    QByteArray answer;
    while (!answer.contains('\0')) {
        if (answer.size() > MaxAnswerBytes)
            return Failure(ScanError{u"clamd's answer is longer than %1 bytes"_s.arg(MaxAnswerBytes)});
        const UnixConnection::Wait received = socket.receive(answer, MaxAnswerBytes + 1 - answer.size(), deadline);
        if (received == UnixConnection::Wait::Late)
            return late();
        if (received == UnixConnection::Wait::Closed)
            return Failure(ScanError{u"clamd at %1 closed the connection without an answer%2"_s.arg(
                m_socketPath, errno ? u": "_s + systemError() : QString())});
    }
    return answer.left(answer.indexOf('\0'));
}

}  // namespace Site
