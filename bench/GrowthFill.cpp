#include "GrowthFill.h"

#include "site/store/SiteStore.h"
#include "site/store/Transaction.h"

#include <QDateTime>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;
using namespace Site;

const QString GrowthFill::CommonWord = u"合集"_s;
const QString GrowthFill::RareWord = u"麒麟"_s;
const QString GrowthFill::AbsentWord = u"鲲鹏"_s;

namespace {

// None of these holds, or ends and begins so as to make, the three words above.
const QStringList Subjects = {
    u"电影"_s,   u"动画"_s,   u"纪录片"_s, u"音乐"_s, u"钢琴"_s, u"吉他"_s,   u"小说"_s,   u"散文"_s,   u"诗词"_s,
    u"历史"_s,   u"地理"_s,   u"物理"_s,   u"化学"_s, u"数学"_s, u"英语"_s,   u"日语"_s,   u"编程"_s,   u"网络"_s,
    u"系统"_s,   u"驱动"_s,   u"办公"_s,   u"表格"_s, u"文档"_s, u"图片"_s,   u"照片"_s,   u"壁纸"_s,   u"字体"_s,
    u"图标"_s,   u"素材"_s,   u"模板"_s,   u"简历"_s, u"考研"_s, u"考试"_s,   u"真题"_s,   u"笔记"_s,   u"课件"_s,
    u"讲义"_s,   u"习题"_s,   u"答案"_s,   u"菜谱"_s, u"烹饪"_s, u"健身"_s,   u"瑜伽"_s,   u"旅行"_s,   u"摄影"_s,
    u"剪辑"_s,   u"配音"_s,   u"字幕"_s,   u"存档"_s, u"地图"_s, u"补丁"_s,   u"攻略"_s,   u"工具"_s,   u"脚本"_s,
    u"插件"_s,   u"主题"_s,   u"皮肤"_s,   u"相册"_s, u"歌曲"_s, u"专辑"_s,   u"戏曲"_s,   u"相声"_s,   u"评书"_s,
    u"京剧"_s,   u"民谣"_s,   u"摇滚"_s,   u"古典"_s, u"儿歌"_s, u"童话"_s,   u"绘本"_s,   u"漫画"_s,   u"科幻"_s,
    u"武侠"_s,   u"言情"_s,   u"悬疑"_s,   u"推理"_s, u"传记"_s, u"哲学"_s,   u"心理"_s,   u"经济"_s,   u"管理"_s,
    u"法律"_s,   u"医学"_s,   u"中医"_s,   u"养生"_s, u"园艺"_s, u"宠物"_s,   u"手工"_s,   u"书法"_s,   u"国画"_s,
    u"油画"_s,   u"设计"_s,   u"建筑"_s,   u"机械"_s, u"电路"_s, u"单片机"_s, u"数据"_s,   u"算法"_s,   u"安全"_s,
    u"服务器"_s, u"数据库"_s, u"天文"_s,   u"生物"_s, u"围棋"_s, u"象棋"_s,   u"桥牌"_s,   u"乐理"_s,   u"声乐"_s,
    u"舞蹈"_s,   u"话剧"_s,   u"播客"_s,   u"访谈"_s, u"演讲"_s, u"公开课"_s, u"讲座"_s,   u"口语"_s,   u"听力"_s,
    u"阅读"_s,   u"写作"_s,   u"作文"_s,   u"高考"_s, u"中考"_s, u"公务员"_s, u"会计"_s,   u"金融"_s,   u"股票"_s,
    u"理财"_s,   u"投资"_s,   u"创业"_s,   u"营销"_s, u"电商"_s, u"运营"_s,   u"剪纸"_s,   u"刺绣"_s,   u"陶艺"_s,
    u"茶道"_s,   u"咖啡"_s,   u"烘焙"_s,   u"面点"_s, u"川菜"_s, u"粤菜"_s,   u"家常菜"_s, u"Python"_s, u"Linux"_s,
};
const QStringList Modifiers = {
    u"高清"_s, u"中文版"_s, u"完整版"_s, u"精选"_s, u"全集"_s, u"入门"_s,   u"进阶"_s,   u"实战"_s,     u"速查"_s,
    u"大全"_s, u"精讲"_s,   u"整理"_s,   u"无损"_s, u"原版"_s, u"修订版"_s, u"注释"_s,   u"图解"_s,     u"手册"_s,
    u"教材"_s, u"汇总"_s,   u"珍藏"_s,   u"经典"_s, u"最新"_s, u"绿色版"_s, u"便携版"_s, u"中英双语"_s,
};
const QStringList Formats = {u"MP3"_s, u"FLAC"_s, u"PDF"_s, u"EPUB"_s, u"1080P"_s, u"4K"_s, u"720P"_s, u"ZIP"_s};
const QStringList Tags = {u"【分享】"_s, u"【自制】"_s, u"【转载】"_s, u"【整理】"_s};
const QStringList Remarks = {
    u"自己整理的，亲测可用"_s,
    u"转自网络，侵删"_s,
    u"分享给需要的朋友"_s,
    u"资源来自网络，仅供学习交流"_s,
    u"压缩包内附说明"_s,
    u"解压即用，无需安装"_s,
    u"画质一般，将就看"_s,
    u"有问题请留言"_s,
    u"按章节分好了文件夹"_s,
    u"扫描版，字迹清楚"_s,
    u"第一次上传，多多指教"_s,
    u"附带练习和答案"_s,
    u""_s,
    u""_s,
};
// The user catalogue's categories, as the sample data made them.
const QStringList Categories = {u"软件"_s, u"教程"_s, u"工具"_s, u"电子书"_s, u"音乐"_s, u"游戏"_s, u"视频"_s};
const QStringList Names = {u"小明"_s,   u"阿杰"_s, u"老王"_s, u"晓雨"_s, u"路人甲"_s, u"书虫"_s,
                           u"夜猫子"_s, u"学霸"_s, u"小鱼"_s, u"大白"_s, u"walker"_s, u"匿名"_s};
const QStringList Sayings = {
    u"谢谢分享，下载很快"_s, u"链接失效了，能补一下吗"_s, u"收藏了，慢慢看"_s,
    u"这个版本好用"_s,       u"请问有没有高清的"_s,       u"楼主辛苦了"_s,
    u"解压密码是多少？"_s,   u"正好需要，感谢"_s,         u"已下载，没问题"_s,
    u"希望多传一些教程"_s,   u"网站越来越好了"_s,         u"顶一下"_s,
};

// A well-mixed number for each row and purpose, so that every run fills the same rows.
quint64 mix(quint64 value)
{
    value += 0x9e3779b97f4a7c15ULL;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

const QString &pick(const QStringList &list, quint64 random)
{
    return list.at(qsizetype(random % quint64(list.size())));
}

// Six years up to the start of 2025, spread evenly over the rows, oldest first.
QDateTime timeOf(qint64 row, qint64 rows)
{
    static const QDateTime start(QDate(2019, 1, 1), QTime(8, 0), Qt::UTC);
    constexpr qint64 Span = 6LL * 365 * 24 * 3600;
    return start.addSecs(Span * row / std::max<qint64>(rows, 1));
}

QString address(quint64 random)
{
    return u"10.%1.%2.%3"_s.arg(random % 256).arg((random >> 8) % 256).arg(1 + (random >> 16) % 254);
}

// A PostgreSQL array of texts, as unnest() takes it.
QString arrayOf(const QStringList &values)
{
    QStringList quoted;
    quoted.reserve(values.size());
    for (QString value : values)
        quoted.append(u'"' + value.replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s) + u'"');
    return u'{' + quoted.join(u',') + u'}';
}

Result<void, StoreError> failed(const QSqlQuery &query)
{
    return Failure(StoreError{query.lastError().text()});
}

}  // namespace

QString GrowthFill::title(qint64 row) const
{
    const quint64 r = mix(quint64(row) * 4 + 1);
    QString title;
    if (r % 10 == 0)
        title += pick(Tags, r >> 4);
    // Words apart or run together, as people type them.
    const QString joint = (r >> 8) % 3 == 0 ? u""_s : u" "_s;
    const int words = 1 + int((r >> 10) % 3);
    for (int i = 0; i < words; ++i) {
        if (i > 0)
            title += joint;
        title += pick(Subjects, mix(r + quint64(i)));
    }
    if (m_rows >= RareRows && row % (m_rows / RareRows) == m_rows / RareRows / 2)
        title += u' ' + RareWord;
    if ((r >> 20) % 100 < 12)
        title += u' ' + CommonWord;
    title += u' ' + pick(Modifiers, r >> 24);
    switch ((r >> 32) % 5) {
    case 0:
        title += u" %1年"_s.arg(2015 + (r >> 36) % 10);
        break;
    case 1:
        title += u" v%1.%2"_s.arg((r >> 36) % 9 + 1).arg((r >> 40) % 20);
        break;
    case 2:
        title += u' ' + pick(Formats, r >> 36);
        break;
    case 3:
        title += u" 第%1讲"_s.arg((r >> 36) % 40 + 1);
        break;
    default:
        break;
    }
    return title;
}

GrowthFill::Upload GrowthFill::upload(qint64 row) const
{
    const quint64 r = mix(quint64(row) * 4 + 2);
    const QDateTime at = timeOf(row, m_rows);
    Upload upload;
    upload.category = pick(Categories, r);
    upload.title = title(row);
    upload.remark = pick(Remarks, r >> 8);
    if (!upload.remark.isEmpty() && (r >> 12) % 2 == 0)
        upload.remark += u"，"_s + pick(Subjects, r >> 16) + pick(Modifiers, r >> 24);
    upload.collectedAt = at.toString(u"yyyy-MM-dd HH:mm"_s);
    upload.filePath = u"%1/share-%2.zip"_s.arg(at.toString(u"yyyy/MM"_s)).arg(row);
    upload.address = address(r >> 32);
    for (int i = 0; i < 4; ++i)
        upload.sha256 += u"%1"_s.arg(qulonglong(mix(r + quint64(i))), 16, 16, QLatin1Char('0'));
    return upload;
}

GrowthFill::Message GrowthFill::message(qint64 row) const
{
    const quint64 r = mix(quint64(row) * 4 + 3);
    Message message;
    message.name = pick(Names, r) + QString::number(r % 1000);
    message.text = pick(Sayings, r >> 16) + u"，"_s + pick(Sayings, r >> 24);
    message.postedAt = timeOf(row, m_rows).toString(u"yyyy-MM-dd HH:mm"_s);
    message.address = address(r >> 32);
    return message;
}

QStringList GrowthFill::distinctKeywords(int count) const
{
    QStringList keywords;
    QSet<QString> seen = {CommonWord, RareWord, AbsentWord};
    for (quint64 attempt = 0; keywords.size() < count && attempt < quint64(count) * 20; ++attempt) {
        const quint64 r = mix(attempt * 7 + 5);
        const QString text = title(qint64(r % quint64(m_rows)));
        const int length = 2 + int((r >> 32) % 3);
        if (text.size() < length)
            continue;
        const QString keyword = text.mid(qsizetype((r >> 40) % quint64(text.size() - length + 1)), length);
        if (keyword.contains(u' ') || seen.contains(keyword))
            continue;
        seen.insert(keyword);
        keywords.append(keyword);
    }
    return keywords;
}

Result<void, StoreError> GrowthFill::fill(SiteStore &store) const
{
    Transaction transaction(store.connection());
    if (const auto begun = transaction.begun(); !begun)
        return begun;
    const auto filled = store.connection().dialect().isPostgres() ? fillPostgres(store) : fillSqlite(store);
    if (!filled)
        return filled;
    return transaction.commit();
}

Result<void, StoreError> GrowthFill::fillSqlite(SiteStore &store) const
{
    const QSqlDatabase db = store.connection().database();
    QSqlQuery resources(db);
    QSqlQuery digests(db);
    QSqlQuery messages(db);
    if (!resources.prepare(u"INSERT INTO resources (catalogue, category, title, remark, collected_at, file_path,"
                           " address) VALUES ('user', ?, ?, ?, ?, ?, ?)"_s))
        return failed(resources);
    if (!digests.prepare(u"INSERT INTO file_digests (file_path, sha256, version) VALUES (?, ?, ?)"_s))
        return failed(digests);
    if (!messages.prepare(u"INSERT INTO messages (name, text, posted_at, address) VALUES (?, ?, ?, ?)"_s))
        return failed(messages);
    for (qint64 row = 0; row < m_rows; ++row) {
        const Upload made = upload(row);
        const QVariantList values = {made.category,    made.title,    made.remark,
                                     made.collectedAt, made.filePath, made.address};
        for (int i = 0; i < values.size(); ++i)
            resources.bindValue(i, values.at(i));
        if (!resources.exec())
            return failed(resources);
        digests.bindValue(0, u"wangyou/up/"_s + made.filePath);
        digests.bindValue(1, made.sha256);
        digests.bindValue(2, u"%1 %2"_s.arg(4096 + row % 50'000'000).arg(timeOf(row, m_rows).toMSecsSinceEpoch()));
        if (!digests.exec())
            return failed(digests);
        const Message said = message(row);
        const QVariantList fields = {said.name, said.text, said.postedAt, said.address};
        for (int i = 0; i < fields.size(); ++i)
            messages.bindValue(i, fields.at(i));
        if (!messages.exec())
            return failed(messages);
    }
    return {};
}

// In statements of many rows each, handed over as arrays: a statement a row would be a round
// trip a row.
Result<void, StoreError> GrowthFill::fillPostgres(SiteStore &store) const
{
    constexpr qint64 Chunk = 10'000;
    const QSqlDatabase db = store.connection().database();
    for (qint64 first = 0; first < m_rows; first += Chunk) {
        QList<QStringList> resources(6);
        QList<QStringList> digests(3);
        QList<QStringList> messages(4);
        for (qint64 row = first; row < std::min(first + Chunk, m_rows); ++row) {
            const Upload made = upload(row);
            const QStringList values = {made.category,    made.title,    made.remark,
                                        made.collectedAt, made.filePath, made.address};
            for (int i = 0; i < values.size(); ++i)
                resources[i].append(values.at(i));
            digests[0].append(u"wangyou/up/"_s + made.filePath);
            digests[1].append(made.sha256);
            digests[2].append(u"%1 %2"_s.arg(4096 + row % 50'000'000).arg(timeOf(row, m_rows).toMSecsSinceEpoch()));
            const Message said = message(row);
            const QStringList fields = {said.name, said.text, said.postedAt, said.address};
            for (int i = 0; i < fields.size(); ++i)
                messages[i].append(fields.at(i));
        }
        const QList<std::pair<QString, QList<QStringList>>> statements = {
            {u"INSERT INTO resources (catalogue, category, title, remark, collected_at, file_path, address)"
             " SELECT 'user', * FROM unnest(?::TEXT[], ?::TEXT[], ?::TEXT[], ?::TEXT[], ?::TEXT[], ?::TEXT[])"_s,
             resources},
            {u"INSERT INTO file_digests (file_path, sha256, version) SELECT * FROM unnest(?::TEXT[], ?::TEXT[],"
             " ?::TEXT[])"_s,
             digests},
            {u"INSERT INTO messages (name, text, posted_at, address) SELECT * FROM unnest(?::TEXT[], ?::TEXT[],"
             " ?::TEXT[], ?::TEXT[])"_s,
             messages},
        };
        for (const auto &[statement, columns] : statements) {
            QSqlQuery query(db);
            if (!query.prepare(statement))
                return failed(query);
            for (int i = 0; i < columns.size(); ++i)
                query.bindValue(i, arrayOf(columns.at(i)));
            if (!query.exec())
                return failed(query);
        }
    }
    return {};
}
