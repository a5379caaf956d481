#include "site/admin/AdminCommand.h"

#include "site/admin/SiteBackup.h"
#include "site/admin/TerminalText.h"
#include "site/admin/UploadRescan.h"
#include "site/store/NetworkAddress.h"
#include "site/store/SiteStore.h"
#include "site/store/StoredPath.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFileInfo>
#include <QTextStream>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// The one address or network that block and unblock take, in its normal form.
Result<QString, QString> networkIn(const QStringList &words, const QString &command)
{
    if (words.size() != 1)
        return Failure(command + u" takes one address or network"_s);
    const auto network = NetworkAddress::normalNetwork(words.first());
    if (!network)
        return Failure(u"not an address or network: %1"_s.arg(words.first()));
    return *network;
}

const QStringList Commands = {u"list"_s, u"hide"_s,   u"unhide"_s,  u"remove"_s,  u"block"_s, u"unblock"_s,
                              u"log"_s,  u"backup"_s, u"restore"_s, u"migrate"_s, u"scan"_s};
// Where Debian's clamav-daemon listens.
const QString DefaultScanner = u"clamd:/run/clamav/clamd.ctl"_s;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

int fail(const QString &message)
{
    QTextStream(stderr) << "quillmere-site: " << message << Qt::endl;
    return 1;
}

void warnOutside(const SiteResource &resource)
{
    QTextStream(stderr) << "quillmere-site: resource " << resource.id << " names a file outside the upload folder, "
                        << "not read: " << TerminalText::escaped(resource.filePath) << Qt::endl;
}

// Who runs the command: under sudo the person behind it, not root. Only root's word for it
// is taken; anyone else could name anybody.
QString operatorName()
{
    const QString sudoUser = qEnvironmentVariable("SUDO_USER");
    if (::getuid() == 0 && !sudoUser.isEmpty())
        return sudoUser;
    if (const passwd *user = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(user->pw_name);
    return QString::number(::getuid());
}

QString utcNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

ModerationEntry entryFor(const QString &action)
{
    return {utcNow(), operatorName(), action};
}

// "203.0.113.7/32" reads better as the address alone.
QString shownNetwork(const QString &network)
{
    const QString address = network.section(u'/', 0, 0);
    const QString bits = network.section(u'/', 1);
    const bool single = bits == (address.contains(u':') ? u"128"_s : u"32"_s);
    return single ? address : network;
}

// A field of a record, as the terminal may safely be given it.
QString shown(const QString &text)
{
    return text.isEmpty() ? u"-"_s : TerminalText::escaped(text);
}

// The ids after the kind of entry, all of them whole positive numbers; else the first word that is not.
Result<QList<qint64>, QString> idsFrom(const QStringList &words)
{
    QList<qint64> ids;
    for (const QString &word : words) {
        bool ok = false;
        const qint64 id = word.toLongLong(&ok);
        if (!ok || id <= 0)
            return Failure(word);
        ids.append(id);
    }
    return ids;
}

// A remove that nobody confirmed does nothing.
bool confirmed(const QString &question)
{
    if (!::isatty(STDIN_FILENO))
        return false;
    out() << question << " [y/N] " << Qt::flush;
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    return answer == u"y"_s || answer == u"yes"_s;
}

class Run
{
public:
    Run(const QCommandLineParser &parser, const QString &dataPath, const StoreLocation &location)
        : m_parser(parser)
        , m_dataPath(dataPath)
        , m_store(dataPath, location)
    {
        if (parser.isSet(u"files"_s))
            m_store.setFilesFolder(parser.value(u"files"_s));
    }

    int list(const QStringList &words);
    int hide(const QStringList &words, bool hidden);
    int remove(const QStringList &words);
    int block(const QStringList &words);
    int unblock(const QStringList &words);
    int log(const QStringList &words);
    int backup(const QStringList &words);
    int restore(const QStringList &words);
    int migrate(const QStringList &words);
    int scan(const QStringList &words);

private:
    // The hash and what the last scan found of an upload's file, for the listing.
    QString scanState(const SiteResource &resource) const;
    // Opens the site's store, never a new one: a mistyped folder must not become a fresh site.
    std::optional<QString> openStore();

    const QCommandLineParser &m_parser;
    QString m_dataPath;
    SiteStore m_store;
};

std::optional<QString> Run::openStore()
{
    if (const auto opened = m_store.open(SiteStore::Opening::Existing); !opened) {
        return u"cannot open the site's store: %1 (give the site's data folder with --data, its database with "
               "--database)"_s.arg(opened.error().text);
    }
    return std::nullopt;
}

int Run::list(const QStringList &words)
{
    if (words.size() != 1 || !QStringList{u"resources"_s, u"messages"_s, u"held"_s}.contains(words.first()))
        return fail(u"list takes resources or messages, or held"_s);
    SiteStore::Selection selection;
    if (m_parser.isSet(u"recent"_s)) {
        bool ok = false;
        selection.recent = m_parser.value(u"recent"_s).toLongLong(&ok);
        if (!ok || selection.recent <= 0)
            return fail(u"not a number of entries: %1"_s.arg(m_parser.value(u"recent"_s)));
    }
    if (m_parser.isSet(u"address"_s)) {
        const auto network = NetworkAddress::normalNetwork(m_parser.value(u"address"_s));
        if (!network)
            return fail(u"not an address or network: %1"_s.arg(m_parser.value(u"address"_s)));
        selection.network = *network;
    }
    selection.word = m_parser.value(u"search"_s);
    if (const auto error = openStore())
        return fail(*error);

    if (words.first() == u"resources"_s) {
        const auto resources = m_store.selectResources(selection);
        if (!resources)
            return fail(resources.error().text);
        for (const SiteResource &resource : *resources) {
            QString size = u"-"_s;
            if (resource.catalogue == Catalogue::User) {
                if (const auto path = StoredPath::inside(m_store.uploadFolder(), resource.filePath))
                    size = QString::number(QFileInfo(*path).size());
                else
                    warnOutside(resource);
            }
            out() << resource.id << '\t' << shown(resource.collectedAt) << '\t' << shown(resource.address) << '\t'
                  << shown(resource.title) << '\t' << size << '\t' << scanState(resource)
                  << (resource.hidden ? "\thidden" : "") << '\n';
        }
    } else if (words.first() == u"held"_s) {
        const auto held = m_store.heldUploads();
        if (!held)
            return fail(held.error().text);
        for (const HeldUpload &upload : *held) {
            if (!selection.network.isEmpty()
                && !NetworkAddress::inNetwork(upload.entry.address, QHostAddress::parseSubnet(selection.network)))
                continue;
            out() << upload.id << '\t' << shown(upload.heldAt) << '\t' << shown(upload.entry.address) << '\t'
                  << shown(upload.entry.title) << '\t' << upload.size << '\t' << upload.sha256.toHex() << '\n';
        }
    } else {
        const auto messages = m_store.selectMessages(selection);
        if (!messages)
            return fail(messages.error().text);
        for (const SiteMessage &message : *messages) {
            out() << message.id << '\t' << shown(message.postedAt) << '\t' << shown(message.address) << '\t'
                  << shown(message.name) << '\t' << message.text.size() << (message.hidden ? "\thidden" : "") << '\n';
        }
    }
    out().flush();
    return 0;
}

QString Run::scanState(const SiteResource &resource) const
{
    if (resource.catalogue != Catalogue::User || !StoredPath::locate(m_store.uploadFolder(), resource.filePath))
        return u"-\t-"_s;
    const auto sha256 = m_store.fileDigest(u"wangyou/up/"_s + resource.filePath);
    if (!sha256 || !*sha256)
        return u"-\tunscanned"_s;
    const auto verdict = m_store.scanVerdict(**sha256);
    QString state = u"unscanned"_s;
    if (verdict && *verdict)
        state = verdict->value().found() ? u"found:"_s + shown(verdict->value().signature) : u"clean"_s;
    return QString::fromLatin1(sha256->value().toHex()) + u'\t' + state;
}

int Run::hide(const QStringList &words, bool hidden)
{
    const QString command = hidden ? u"hide"_s : u"unhide"_s;
    if (words.size() < 2 || (words.first() != u"resource"_s && words.first() != u"message"_s))
        return fail(u"%1 takes resource or message and one or more ids"_s.arg(command));
    const auto ids = idsFrom(words.sliced(1));
    if (!ids)
        return fail(u"not an id: %1"_s.arg(ids.error()));
    if (const auto error = openStore())
        return fail(*error);
    const ModerationEntry entry = entryFor(command + u' ' + words.join(u' '));
    const auto done = words.first() == u"resource"_s ? m_store.setResourcesHidden(*ids, hidden, entry)
                                                     : m_store.setMessagesHidden(*ids, hidden, entry);
    if (!done)
        return fail(done.error().text);
    return 0;
}

int Run::remove(const QStringList &words)
{
    if (words.size() < 2 || words.first() != u"resource"_s)
        return fail(u"remove takes resource and one or more ids"_s);
    const auto ids = idsFrom(words.sliced(1));
    if (!ids)
        return fail(u"not an id: %1"_s.arg(ids.error()));
    if (const auto error = openStore())
        return fail(*error);

    // What goes, shown before the question, and an unknown id found before it is asked.
    const auto all = m_store.selectResources({});
    if (!all)
        return fail(all.error().text);
    QString listed;
    for (const qint64 id : *ids) {
        const auto found = std::find_if(all->cbegin(), all->cend(), [id](const SiteResource &r) { return r.id == id; });
        if (found == all->cend())
            return fail(u"there is no resource %1"_s.arg(id));
        listed += u"%1\t%2\t%3\n"_s.arg(QString::number(id), shown(found->title), shown(found->filePath));
    }
    if (!m_parser.isSet(u"yes"_s)) {
        out() << listed;
        if (!confirmed(u"Remove these resources and their files for good?"_s))
            return fail(u"nothing removed: not confirmed (on a terminal, or with --yes)"_s);
    }
    const auto kept = m_store.removeResources(*ids, entryFor(u"remove "_s + words.join(u' ')));
    if (!kept)
        return fail(kept.error().text);
    if (!kept->isEmpty()) {
        QStringList files;
        for (const QString &file : std::as_const(*kept))
            files.append(TerminalText::escaped(file));
        return fail(u"removed, but these files are still there (outside the upload folder, or not deletable): %1"_s.arg(
            files.join(u", "_s)));
    }
    return 0;
}

int Run::block(const QStringList &words)
{
    const auto network = networkIn(words, u"block"_s);
    if (!network)
        return fail(network.error());
    const QDateTime now = QDateTime::currentDateTimeUtc();
    SiteBlock block{*network, now.toString(Qt::ISODate), QString()};
    QString action = u"block "_s + shownNetwork(*network);
    if (m_parser.isSet(u"for"_s)) {
        const auto seconds = AdminCommand::parseDuration(m_parser.value(u"for"_s));
        if (!seconds)
            return fail(u"not a duration such as 30m, 12h or 7d: %1"_s.arg(m_parser.value(u"for"_s)));
        block.until = now.addSecs(*seconds).toString(Qt::ISODate);
        action += u" until "_s + block.until;
    }
    if (const auto error = openStore())
        return fail(*error);
    if (const auto done = m_store.block(block, {block.blockedAt, operatorName(), action}); !done)
        return fail(done.error().text);
    out() << action << Qt::endl;
    return 0;
}

int Run::unblock(const QStringList &words)
{
    const auto network = networkIn(words, u"unblock"_s);
    if (!network)
        return fail(network.error());
    if (const auto error = openStore())
        return fail(*error);
    if (const auto done = m_store.unblock(*network, entryFor(u"unblock "_s + shownNetwork(*network))); !done)
        return fail(done.error().text);
    return 0;
}

int Run::log(const QStringList &words)
{
    if (!words.isEmpty())
        return fail(u"log takes no more words"_s);
    if (const auto error = openStore())
        return fail(*error);
    const auto entries = m_store.moderationLog();
    if (!entries)
        return fail(entries.error().text);
    for (const ModerationEntry &entry : *entries)
        out() << shown(entry.at) << '\t' << shown(entry.who) << '\t' << shown(entry.action) << '\n';
    out().flush();
    return 0;
}

int Run::backup(const QStringList &words)
{
    if (words.size() != 1)
        return fail(u"backup takes the folder to write the backup into"_s);
    if (!SiteBackup::isEmptyFolder(words.first()))
        return fail(u"%1 is not empty: a backup goes into a new or empty folder"_s.arg(words.first()));
    if (const auto error = openStore())
        return fail(*error);
    const auto copied = SiteBackup::backup(m_store, m_dataPath, words.first());
    if (!copied)
        return fail(copied.error().text);
    if (const auto recorded = m_store.record(entryFor(u"backup to "_s + QFileInfo(words.first()).absoluteFilePath()));
        !recorded)
        return fail(recorded.error().text);
    out() << "backed up the database and " << *copied << " files to " << words.first() << Qt::endl;
    return 0;
}

int Run::restore(const QStringList &words)
{
    if (words.size() != 1)
        return fail(u"restore takes the folder of a backup"_s);
    if (m_store.location().kind() != StoreLocation::Kind::Sqlite)
        return fail(u"restore fills a data folder's SQLite store; a PostgreSQL store comes back with pg_restore"_s);
    const auto copied = SiteBackup::restore(words.first(), m_dataPath);
    if (!copied)
        return fail(copied.error().text);
    if (const auto error = openStore())
        return fail(*error);
    if (const auto recorded = m_store.record(entryFor(u"restore from "_s + QFileInfo(words.first()).absoluteFilePath()));
        !recorded)
        return fail(recorded.error().text);
    out() << "restored the database and " << *copied << " files into " << m_dataPath << Qt::endl;
    return 0;
}

int Run::migrate(const QStringList &words)
{
    if (!words.isEmpty() || !m_parser.isSet(u"from"_s) || !m_parser.isSet(u"to"_s))
        return fail(u"migrate takes --from and --to, each a database address"_s);
    const auto from = StoreLocation::parse(m_parser.value(u"from"_s));
    if (!from)
        return fail(from.error().text);
    const auto to = StoreLocation::parse(m_parser.value(u"to"_s));
    if (!to)
        return fail(to.error().text);
    SiteStore source(m_dataPath, *from);
    if (const auto opened = source.open(SiteStore::Opening::Existing); !opened)
        return fail(u"cannot open %1: %2"_s.arg(from->displayName(), opened.error().text));
    SiteStore target(m_dataPath, *to);
    if (const auto opened = target.open(SiteStore::Opening::Empty); !opened)
        return fail(u"cannot copy into %1: %2"_s.arg(to->displayName(), opened.error().text));
    const auto copied = source.copyInto(target);
    if (!copied)
        return fail(u"nothing copied into %1: %2"_s.arg(to->displayName(), copied.error().text));
    out() << "copied " << *copied << " records from " << from->displayName() << " to " << to->displayName() << Qt::endl;
    return 0;
}

int Run::scan(const QStringList &words)
{
    if (!words.isEmpty())
        return fail(u"scan takes no more words"_s);
    const auto socket = ClamdClient::socketIn(m_parser.value(u"scan"_s));
    if (!socket)
        return fail(u"not a scanner such as %1: %2"_s.arg(DefaultScanner, m_parser.value(u"scan"_s)));
    if (const auto error = openStore())
        return fail(*error);
    UploadRescan rescan(
        m_store, ClamdClient(*socket),
        [](const QString &line) { QTextStream(stderr) << "quillmere-site: " << line << Qt::endl; }, entryFor);
    const auto done = rescan.run();
    if (!done)
        return fail(done.error());
    out() << "scanned " << done->files << " files: " << done->found << " found, " << done->hidden
          << " entries hidden; held uploads: " << done->published << " published, " << done->dropped << " dropped"
          << Qt::endl;
    return 0;
}

}  // namespace

QString AdminCommand::commandIn(const QStringList &arguments)
{
    // Options of the site and of the commands that take a value as the next argument.
    static const QStringList TakeValues = {u"--data"_s,
                                           u"--files"_s,
                                           u"--host"_s,
                                           u"--port"_s,
                                           u"--rate"_s,
                                           u"--message-interval"_s,
                                           u"--uploads-per-minute"_s,
                                           u"--upload-quota"_s,
                                           u"--free-space-reserve"_s,
                                           u"--scan"_s,
                                           u"--scan-unavailable"_s,
                                           u"--origin"_s,
                                           u"--trusted-proxy"_s,
                                           u"--accel-redirect"_s,
                                           u"--max-connections"_s,
                                           u"--client-connections"_s,
                                           u"--recent"_s,
                                           u"--address"_s,
                                           u"--search"_s,
                                           u"--for"_s};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == u"--"_s)
            return Commands.contains(arguments.value(i + 1)) ? arguments.value(i + 1) : QString();
        if (argument.startsWith(u'-')) {
            if (TakeValues.contains(argument))
                ++i;
            continue;
        }
        return Commands.contains(argument) ? argument : QString();
    }
    return {};
}

QString AdminCommand::usage()
{
    return u"Operator's commands, on the site's data folder (--data), its store (--database) and, when its\n"
           "files are kept apart, their folder (--files):\n"
           "  list resources|messages [--recent N] [--address A] [--search WORD]\n"
           "                          id, time, address, title or name, size; for uploads also\n"
           "                          their SHA-256 and what the last scan found; one line each\n"
           "  list held [--address A]        uploads held until a scan passes them\n"
           "  hide resource|message ID...    take entries off every page and catalogue\n"
           "  unhide resource|message ID...  bring them back\n"
           "  remove resource ID... [--yes]  delete resources and their files for good\n"
           "  block ADDRESS [--for DURATION] refuse posts from an address or network (30m, 12h, 7d)\n"
           "  unblock ADDRESS                lift a block\n"
           "  log                            what was done with these commands, by whom\n"
           "  backup DIR                     copy the running site's database and files\n"
           "  restore DIR                    put a backup into an empty data folder\n"
           "  migrate --from sqlite:PATH --to postgresql://USER@HOST/DATABASE\n"
           "                                 copy a site's records into an empty database, ids and times kept\n"
           "  scan [--scan clamd:SOCKET]     scan held uploads and publish those that pass, then every stored\n"
           "                                 upload again, hiding what is found (clamd:/run/clamav/clamd.ctl)"_s;
}

std::optional<qint64> AdminCommand::parseDuration(const QString &text)
{
    static const QHash<QChar, qint64> Units = {{u's', 1}, {u'm', 60}, {u'h', 3600}, {u'd', 86400}};
    if (text.size() < 2 || !Units.contains(text.back()))
        return std::nullopt;
    bool ok = false;
    const qint64 count = text.chopped(1).toLongLong(&ok);
    // Ten years is longer than any block an operator means to lift.
    if (!ok || count <= 0 || !text.front().isDigit() || count > 3650 * 86400 / Units.value(text.back()))
        return std::nullopt;
    return count * Units.value(text.back());
}

int AdminCommand::run(const QStringList &arguments, const QString &defaultDataPath)
{
    QCommandLineParser parser;
    const QCommandLineOption data(u"data"_s, u"The site's data folder."_s, u"folder"_s, defaultDataPath);
    const QCommandLineOption files(u"files"_s, u"The site's files folder, when not in its data folder."_s, u"folder"_s);
    const QCommandLineOption recent(u"recent"_s, u"The newest N only."_s, u"N"_s);
    const QCommandLineOption address(u"address"_s, u"From this address or network only."_s, u"address"_s);
    const QCommandLineOption search(u"search"_s, u"With this word only."_s, u"word"_s);
    const QCommandLineOption duration(u"for"_s, u"For this long only."_s, u"duration"_s);
    const QCommandLineOption yes(u"yes"_s, u"Without asking."_s);
    const QCommandLineOption database(u"database"_s, u"The site's database, as the site takes it."_s, u"address"_s);
    const QCommandLineOption from(u"from"_s, u"The database to copy from."_s, u"address"_s);
    const QCommandLineOption to(u"to"_s, u"The empty database to copy into."_s, u"address"_s);
    const QCommandLineOption scanner(u"scan"_s, u"The clamd to scan with."_s, u"clamd:socket"_s, DefaultScanner);
    parser.addOptions({data, files, recent, address, search, duration, yes, database, from, to, scanner});
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    const QStringList words = parser.positionalArguments();
    const QString command = words.value(0);
    const QStringList rest = words.mid(1);

    // A backup is of the data folder; a shared files folder is copied with the tools of its own
    // file system.
    if (parser.isSet(files) && (command == u"backup"_s || command == u"restore"_s))
        return fail(u"%1 takes the data folder only, without --files"_s.arg(command));
    // Each option belongs to one command; anywhere else it is a mistake worth saying.
    const QHash<QString, QString> owners = {
        {u"recent"_s, u"list"_s}, {u"address"_s, u"list"_s}, {u"search"_s, u"list"_s}, {u"for"_s, u"block"_s},
        {u"yes"_s, u"remove"_s},  {u"from"_s, u"migrate"_s}, {u"to"_s, u"migrate"_s},  {u"scan"_s, u"scan"_s}};
    for (const QString &name : parser.optionNames()) {
        if (owners.contains(name) && owners.value(name) != command)
            return fail(u"--%1 does not go with %2"_s.arg(name, command));
    }

    const QString dataPath = parser.value(data);
    const auto location = StoreLocation::choose(parser.value(database),
                                                QDir(dataPath).filePath(SiteStore::DatabaseFileName));
    if (!location)
        return fail(location.error().text);
    Run run(parser, dataPath, *location);
    if (command == u"list"_s)
        return run.list(rest);
    if (command == u"hide"_s || command == u"unhide"_s)
        return run.hide(rest, command == u"hide"_s);
    if (command == u"remove"_s)
        return run.remove(rest);
    if (command == u"block"_s)
        return run.block(rest);
    if (command == u"unblock"_s)
        return run.unblock(rest);
    if (command == u"log"_s)
        return run.log(rest);
    if (command == u"backup"_s)
        return run.backup(rest);
    if (command == u"restore"_s)
        return run.restore(rest);
    if (command == u"migrate"_s)
        return run.migrate(rest);
    if (command == u"scan"_s)
        return run.scan(rest);
    return fail(u"unknown command: %1"_s.arg(command));
}

}  // namespace Site
