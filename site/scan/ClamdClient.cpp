#include "site/scan/ClamdClient.h"

#include <QDeadlineTimer>
#include <QIODevice>
#include <QLocalSocket>
#include <QtEndian>

using namespace Qt::StringLiterals;

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

} // namespace

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
        return Failure(ScanError{u"clamd at %1 did not answer within %2 s"_s.arg(
            m_socketPath, QString::number(m_timeout.count() / 1000.0))});
    };
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return Failure(ScanError{u"cannot reach clamd at %1: %2"_s.arg(m_socketPath, socket.errorString())});

    // Each chunk waits until the one before has left, so at most one is held here. clamd may
    // stop reading early and answer (a stream longer than it takes): the answer is read below.
    bool sending = socket.write(command + '\0') > 0;
    if (data) {
        QByteArray chunk(4 + ChunkBytes, Qt::Uninitialized);
        for (;;) {
            const qint64 got = data->read(chunk.data() + 4, ChunkBytes);
            if (got < 0)
                return Failure(ScanError{u"cannot read the file to scan: %1"_s.arg(data->errorString())});
            qToBigEndian<quint32>(quint32(got), chunk.data());
            sending = sending && socket.write(chunk.constData(), 4 + got) == 4 + got;
            while (sending && socket.bytesToWrite() > 0) {
                if (deadline.hasExpired())
                    return late();
                sending = socket.waitForBytesWritten(int(deadline.remainingTime()));
            }
            if (got == 0 || !sending)
                break;
        }
    }
    while (sending && socket.bytesToWrite() > 0 && socket.waitForBytesWritten(int(deadline.remainingTime()))) {
    }

    QByteArray answer;
    while (!answer.contains('\0')) {
        if (answer.size() > MaxAnswerBytes)
            return Failure(ScanError{u"clamd's answer is longer than %1 bytes"_s.arg(MaxAnswerBytes)});
        if (socket.bytesAvailable() > 0)
            answer += socket.read(MaxAnswerBytes + 1 - answer.size());
        else if (socket.state() != QLocalSocket::ConnectedState)
            return Failure(ScanError{u"clamd at %1 closed the connection without an answer: %2"_s.arg(
                m_socketPath, socket.errorString())});
        else if (!socket.waitForReadyRead(int(deadline.remainingTime())) && deadline.hasExpired())
            return late();
    }
    return answer.left(answer.indexOf('\0'));
}
