#include "site/store/SampleData.h"

#include "common/Sha256.h"
#include "site/store/SiteStore.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

enum LinkKind : unsigned {
    Local = 1,   // the file on this site
    Mirror = 2,  // the same file through a second address
    Magnet = 4,
    Ed2k = 8,
};

struct OfficialSeed
{
    const char16_t *category;
    const char16_t *title;
    const char16_t *remark;
    const char16_t *file;  // in the official files folder; empty when the site holds no copy
    unsigned links;
};

struct UserSeed
{
    const char16_t *category;
    const char16_t *title;
    const char16_t *remark;
    const char16_t *address;  // below the upload folder
    int sizeKiB;
};

// Oldest first: the catalogue lists the newest at the top.
constexpr OfficialSeed OfficialSeeds[] = {
    {u"软件", u"VLC 媒体播放器 3.0.20", u"开源全能播放器，几乎什么格式都能放", u"vlc-3.0.20-portable.zip",
     Local | Mirror | Magnet},
    {u"电子书", u"西游记 全本", u"吴承恩原著，一百回完整版", u"xiyouji.txt", Local},
    {u"游戏", u"中国象棋 单机版", u"经典象棋，带残局练习", u"xiangqi.zip", Local},
    {u"工具", u"Everything 1.4 文件秒搜", u"按文件名瞬间搜遍全盘", u"everything-1.4.zip", Local | Mirror},
    {u"教程", u"Linux 命令行 速查手册", u"常用命令整理成一页纸", u"linux-cheatsheet.txt", Local},
    {u"音乐", u"古筝名曲 精选 20 首", u"高山流水、渔舟唱晚等，320k MP3", u"", Magnet | Ed2k},
    {u"软件", u"7-Zip 23.01 中文版", u"免费压缩软件，压缩率高", u"7zip-23.01.zip", Local | Magnet},
    {u"视频", u"舌尖上的中国 第一季", u"1080P 全七集", u"", Magnet | Ed2k},
    {u"电子书", u"三国演义 毛宗岗评本", u"含回目索引", u"sanguo.txt", Local},
    {u"游戏", u"俄罗斯方块 怀旧版", u"还原掌机手感，支持双人对战", u"tetris-classic.zip", Local | Mirror},
    {u"工具", u"Rufus 4.3 启动盘制作", u"制作 U 盘启动盘，小巧快速", u"rufus-4.3.zip", Local},
    {u"教程", u"重装系统 图文教程", u"U 盘启动、分区、装驱动一条龙", u"reinstall-guide.txt", Local},
    {u"软件", u"Notepad++ 8.6 绿色版", u"轻量代码编辑器，解压即用", u"notepadpp-8.6.zip", Local | Mirror},
    {u"音乐", u"贝多芬 钢琴奏鸣曲 全集", u"无损 FLAC，附曲目表", u"", Magnet},
    {u"电子书", u"水浒传 容与堂本", u"一百回本，繁体竖排转横排", u"shuihu.txt", Local},
    {u"游戏", u"扫雷 增强版", u"自定义雷区大小，记录最佳成绩", u"minesweeper-plus.zip", Local},
    {u"视频", u"宇宙的奇迹 纪录片", u"中英双字幕", u"", Magnet | Ed2k},
    {u"工具", u"CrystalDiskInfo 硬盘检测", u"查看硬盘健康度和温度", u"crystaldiskinfo.zip", Local},
    {u"软件", u"GIMP 2.10 图像编辑器", u"开源修图软件，常用功能不输 PS", u"gimp-2.10.zip", Local | Mirror | Magnet},
    {u"教程", u"Excel 函数 大全", u"VLOOKUP、透视表、条件格式实例", u"excel-functions.zip", Local},
    {u"电子书", u"红楼梦 脂评汇校本", u"繁简对照，带注释", u"hongloumeng.txt", Local | Mirror},
    {u"游戏", u"星露谷物语 1.6 中文版", u"种田养成，已整合汉化补丁", u"", Magnet | Ed2k},
    {u"音乐", u"轻音乐 学习专注 歌单", u"适合自习时听，时长两小时", u"study-music-list.txt", Local},
    {u"软件", u"LibreOffice 7.6 办公套件", u"能打开 Word、Excel 文档的免费办公软件", u"libreoffice-7.6.zip",
     Local | Mirror},
    {u"工具", u"Snipaste 截图贴图", u"截图后可以贴在桌面上对照", u"snipaste.zip", Local},
    {u"视频", u"航拍中国 第二季", u"4K 画质，共六集", u"", Magnet},
    {u"教程", u"家用路由器 设置图解", u"宽带拨号、Wi-Fi 加密、端口转发", u"router-setup.txt", Local},
    {u"电子书", u"鲁迅全集 精校版", u"小说、杂文、书信分卷整理", u"luxun.txt", Local | Magnet},
    {u"游戏", u"泰拉瑞亚 1.4.4", u"沙盒冒险，附联机说明", u"", Magnet},
    {u"软件", u"Office_2019 精简版", u"只保留 Word、Excel、PowerPoint 三件套", u"office2019-lite.zip", Local | Mirror},
    {u"音乐", u"二胡独奏 经典曲目", u"二泉映月、赛马等", u"", 0},
    {u"工具", u"TrafficMonitor 网速悬浮窗", u"任务栏显示网速、CPU 和内存", u"trafficmonitor.zip", Local},
    {u"教程", u"Photoshop 修图 30 讲", u"人像、风景、商品图，下载地址整理中", u"", 0},
    {u"电子书", u"唐诗三百首 注音版", u"适合孩子背诵，带拼音", u"tangshi300.txt", Local},
    {u"软件", u"OBS Studio 30 录屏直播", u"录屏和直播推流都能用", u"obs-studio-30.zip", Local | Magnet},
    {u"游戏", u"五子棋大师", u"人机对战，三档难度", u"gomoku-master.zip", Local},
    {u"视频", u"大学公开课 线性代数", u"全 34 讲，配套讲义", u"linear-algebra-notes.zip", Local | Magnet | Ed2k},
    {u"工具", u"WinSCP 6.1 文件传输", u"SFTP/FTP 图形客户端", u"winscp-6.1.zip", Local | Mirror},
    {u"电子书", u"C++ Primer 中文版 第5版", u"C++ 入门经典，附书中例程", u"cpp-primer-5e-examples.zip", Local | Mirror},
    {u"教程", u"Git 从入门到 100% 熟练", u"分支、合并、变基一步步讲清楚", u"git-guide.txt", Local},
    {u"音乐", u"肖邦 夜曲集", u"钢琴夜曲 21 首", u"", Magnet | Ed2k},
    {u"软件", u"KeePassXC 密码管理器", u"本地加密保存密码，跨平台", u"keepassxc-2.7.zip", Local},
    {u"游戏", u"魔兽争霸 III 冰封王座 1.27", u"对战平台常用版本，含地图包", u"", Magnet},
    {u"工具", u"HashCalc 校验工具", u"计算 MD5/SHA1/SHA256，核对下载的文件", u"hashcalc.zip", Local},
    {u"电子书", u"史记 白话对照", u"原文与译文逐段对照", u"shiji.txt", Local},
    {u"视频", u"Blender 4.0 建模入门 视频课", u"从界面讲起，共 20 节", u"", Magnet},
    {u"教程", u"Python 爬虫实战", u"requests 加正则，二十个小例子", u"python-crawler.zip", Local | Mirror},
    {u"软件", u"Thunderbird 邮件客户端 115", u"多账户收发邮件，自带日历", u"thunderbird-115.zip", Local},
    {u"音乐", u"粤语老歌 100 首", u"八九十年代经典，歌词已整理", u"", Magnet | Ed2k},
    {u"游戏", u"植物大战僵尸 年度版", u"经典塔防，已汉化", u"pvz-goty.zip", Local | Magnet},
    {u"工具", u"电脑越用越慢? 系统清理工具包", u"清理垃圾、管理启动项", u"cleanup-kit.zip", Local},
    {u"电子书", u"深入理解计算机系统 读书笔记", u"章节要点与习题思路", u"csapp-notes.txt", Local},
    {u"教程", u"Qt 6 入门", u"信号槽、布局、模型视图，附示例工程", u"qt6-intro.zip", Local | Mirror},
    {u"软件", u"Audacity 3.4 音频编辑", u"剪辑、降噪、格式转换一站搞定", u"audacity-3.4.zip", Local},
    {u"视频", u"中国古代建筑 纪录片", u"斗拱、榫卯与园林", u"", Magnet},
    {u"游戏", u"围棋入门 对弈练习", u"从九路盘开始学围棋", u"weiqi-starter.zip", Local},
    {u"音乐", u"民谣吉他 弹唱曲谱合集", u"六线谱加和弦图，新手友好", u"folk-guitar-tabs.zip", Local},
    {u"工具", u"Ventoy 1.0.96 多系统启动盘", u"把 ISO 拷进 U 盘就能启动", u"ventoy-1.0.96.zip", Local | Mirror | Magnet},
    {u"电子书", u"Effective Modern C++ 中文笔记", u"42 条建议逐条整理", u"emcpp-notes.txt", Local},
    {u"教程", u"SQL 入门 五十题", u"建表、连接、分组、子查询练习", u"sql-50.txt", Local},
    {u"软件", u"Inkscape 1.3 矢量绘图", u"开源矢量图软件，做图标很顺手", u"inkscape-1.3.zip", Local},
    {u"游戏", u"仙剑奇侠传 98 柔情版", u"怀旧经典，支持高分辨率", u"", Magnet | Ed2k},
    {u"教程", u"C++ 模板元编程 讲义", u"从 SFINAE 讲到 concepts", u"cpp-templates.zip", Local},
    {u"软件", u"PotPlayer 播放器 绿色版", u"解码全，界面简洁", u"potplayer-portable.zip", Local | Mirror},
    {u"视频", u"如何学习 纪录短片", u"讲记忆与练习的科学方法", u"", Magnet},
};

constexpr UserSeed UserSeeds[] = {
    {u"软件", u"自用 输入法 词库", u"攒了三年的词库，导入即可", u"2024/01/ciku.txt", 180},
    {u"教程", u"考研 数学 笔记 手写扫描", u"高数加线代，字丑勿怪", u"2024/01/kaoyan-math.zip", 260},
    {u"工具", u"批量重命名 小工具", u"自己写的，按规则改文件名", u"2024/01/rename-tool.zip", 48},
    {u"电子书", u"Qt 6 入门 读书笔记", u"边看边记，附代码片段", u"2024/01/qt6-notes.txt", 36},
    {u"音乐", u"吉他 练习 伴奏", u"慢速 60、80、100 三个版本", u"2024/01/guitar-backing.zip", 300},
    {u"游戏", u"我的世界 存档 空岛生存", u"第 200 天存档，附地图种子", u"2024/01/skyblock-save.zip", 220},
    {u"教程", u"python_scripts 常用脚本合集", u"整理文件、批量下载、表格处理", u"2024/01/python_scripts.zip", 64},
    {u"软件", u"C++ 小项目 学生管理系统", u"课程设计，控制台版本", u"2024/01/student-manager.zip", 90},
    {u"电子书", u"高中 文言文 译注", u"必修加选修全部篇目", u"2024/02/wenyanwen.txt", 140},
    {u"工具", u"Excel 记账模板", u"家庭收支一目了然", u"2024/02/jizhang.zip", 24},
    {u"视频", u"包饺子 教学 短片", u"和面、调馅、包法三种", u"2024/02/dumplings.zip", 280},
    {u"音乐", u"钢琴 练习曲 谱子", u"车尔尼 599 扫描版", u"2024/02/czerny-599.zip", 240},
    {u"教程", u"新手 摄影 构图 十讲", u"手机也能拍好看", u"2024/02/photo-composition.txt", 52},
    {u"游戏", u"红警 2 自制地图包", u"二十张，含四人对战图", u"2024/02/ra2-maps.zip", 160},
    {u"软件", u"番茄钟 桌面小工具", u"专注 25 分钟，休息 5 分钟", u"2024/02/tomato-timer.zip", 40},
    {u"电子书", u"英语 四级 高频词汇", u"按词频排序，带例句", u"2024/02/cet4-words.txt", 120},
    {u"工具", u"图片 批量压缩 脚本", u"一键把照片压到 1MB 以内", u"2024/02/image-shrink.zip", 16},
    {u"教程", u"Git 常用命令 备忘", u"工作中最常用的三十条", u"2024/02/git-memo.txt", 8},
    {u"视频", u"校园 运动会 剪辑", u"三班加油！", u"2024/03/sports-day.zip", 300},
    {u"音乐", u"自己录的 民谣 翻唱", u"第一次录，音质一般", u"2024/03/folk-cover.zip", 200},
    {u"软件", u"简易 记事本 源码", u"Qt 写的，适合初学者参考", u"2024/03/simple-notepad.zip", 72},
    {u"电子书", u"中医 养生 小常识", u"家里老人爱看", u"2024/03/yangsheng.txt", 60},
    {u"游戏", u"象棋 残局 一百例", u"从易到难，附解法", u"2024/03/xiangqi-endgames.txt", 44},
    {u"工具", u"网速测试 批处理", u"定时测速写进日志", u"2024/03/speedtest.zip", 4},
    {u"教程", u"Word 排版 论文格式", u"目录、页眉、参考文献自动编号", u"2024/03/thesis-format.zip", 110},
    {u"视频", u"猫咪 日常 合集", u"家里两只猫的日常", u"2024/03/cats.zip", 290},
    {u"音乐", u"雨声 白噪音", u"助眠，循环播放", u"2024/03/rain-noise.zip", 250},
    {u"软件", u"课程表 小程序", u"可导入教务系统的课表", u"2024/03/timetable.zip", 56},
    {u"电子书", u"数据结构 课后 答案", u"严蔚敏版，部分习题", u"2024/03/ds-answers.txt", 96},
    {u"工具", u"文件 对比 工具", u"比较两个文件夹的差异", u"2024/04/folder-diff.zip", 84},
    {u"教程", u"手机 备份 照片 到电脑", u"不用数据线的三种办法", u"2024/04/photo-backup.txt", 12},
    {u"游戏", u"植物大战僵尸 修改器", u"单机自娱，请勿联网使用", u"2024/04/pvz-trainer.zip", 28},
    {u"视频", u"春游 vlog", u"油菜花开了", u"2024/04/spring-vlog.zip", 270},
    {u"音乐", u"二胡 入门 练习曲", u"空弦、音阶、简单乐曲", u"2024/04/erhu-etudes.zip", 150},
    {u"软件", u"局域网 文件 互传", u"手机电脑互传，不走流量", u"2024/04/lan-share.zip", 68},
    {u"电子书", u"唐宋 八大家 散文选", u"精选六十篇", u"2024/04/bada-jia.txt", 130},
    {u"工具", u"批量 改 后缀名", u"右键菜单集成", u"2024/04/ext-changer.zip", 10},
    {u"教程", u"家用 NAS 搭建 笔记", u"旧电脑改造，省电设置", u"2024/04/nas-notes.txt", 70},
    {u"游戏", u"贪吃蛇 网页版", u"纯 HTML 写的，双击打开", u"2024/04/snake.zip", 6},
    {u"视频", u"毕业 晚会 节目", u"小品加合唱", u"2024/05/graduation.zip", 300},
    {u"音乐", u"古风 纯音乐 合集", u"适合做视频背景", u"2024/05/guofeng.zip", 280},
    {u"软件", u"Markdown 编辑器 主题", u"仿纸质书排版的主题", u"2024/05/md-theme.zip", 20},
    {u"电子书", u"年终总结 模板", u"改改就能用", u"2024/05/年终总结模板.txt", 14},
    {u"工具", u"C++ 代码 格式化 配置", u"团队统一的风格文件", u"2024/05/clang-format-config.zip", 3},
    {u"教程", u"Qt 6 信号槽 入门 示例", u"十个可运行的小例子", u"2024/05/qt6-signals.zip", 88},
    {u"游戏", u"扫雷 高手 录像", u"高级 60 秒内通关录像", u"2024/05/minesweeper-replay.zip", 190},
    {u"视频", u"家乡 航拍 小片", u"无人机拍的，欢迎指点", u"2024/06/hometown-aerial.mp4", 8192},
    {u"音乐", u"口琴 入门 教程 伴奏", u"二十首儿歌伴奏", u"2024/06/harmonica.zip", 170},
    {u"软件", u"桌面 整理 小工具", u"自动按类型归档桌面文件", u"2024/06/desk-tidy.zip", 32},
    {u"电子书", u"周易 白话 解读", u"逐卦解释", u"2024/06/zhouyi.txt", 100},
    {u"工具", u"U 盘 修复 工具", u"量产工具合集，慎用", u"2024/06/usb-repair.zip", 210},
    {u"教程", u"新手 开店 经验", u"开淘宝店一年的心得", u"2024/06/shop-notes.txt", 26},
    {u"游戏", u"麻将 单机版", u"四川、广东两种规则", u"2024/06/mahjong.zip", 230},
    {u"视频", u"做菜 合集 家常菜", u"二十道快手菜", u"2024/06/home-cooking.zip", 260},
    {u"音乐", u"儿歌 100 首", u"带拼音歌词", u"2024/06/children-songs.zip", 240},
    {u"软件", u"键盘 连点器", u"游戏挂机用，可设间隔", u"2024/07/auto-clicker.zip", 18},
    {u"电子书", u"考公 申论 范文", u"历年高分范文整理", u"2024/07/shenlun.txt", 150},
    {u"工具", u"二维码 生成器", u"离线生成，支持批量", u"2024/07/qrcode-maker.zip", 42},
    {u"教程", u"Linux 服务器 入门 笔记", u"SSH、防火墙、定时任务", u"2024/07/linux-server.txt", 58},
    {u"游戏", u"俄罗斯方块 源码 C++", u"控制台版本，三百行", u"2024/07/tetris-cpp.zip", 22},
    {u"视频", u"暑假 旅行 剪辑", u"云南十日", u"2024/07/yunnan-trip.zip", 300},
    {u"音乐", u"自制 电子音乐 小样", u"FL Studio 做的，求建议", u"2024/07/edm-demo.zip", 180},
    {u"软件", u"读书 笔记 模板", u"Obsidian 用的模板", u"读书笔记模板.zip", 9},
    {u"教程", u"先看我 新人 必读", u"本区规矩和分享方法", u"readme-first.txt", 5},
};

// Deterministic timestamps: each resource collected some hours after the one before it.
QString collectedAt(const QDateTime &start, qsizetype index, int hoursApart)
{
    const qint64 minutes = index * hoursApart * 60 + (index * 137) % 600;
    return start.addSecs(minutes * 60).toString(u"yyyy-MM-dd HH:mm"_s);
}

QByteArray textContent(const QString &title, qint64 size)
{
    QByteArray content;
    content.reserve(size + 256);
    for (int line = 1; content.size() < size; ++line)
        content += u"第 %1 行：%2 —— Quillmere 社区分享\n"_s.arg(QString::number(line), title).toUtf8();
    content.truncate(size);
    return content;
}

// Zip-like bytes: the signature a file manager recognises, then fixed pseudo-random data.
QByteArray binaryContent(const QString &name, qint64 size)
{
    QByteArray content(size, '\0');
    QRandomGenerator generator(qChecksum(name.toUtf8()));  // qHash varies between machines
    generator.fillRange(reinterpret_cast<quint32 *>(content.data()), size / sizeof(quint32));
    content.replace(0, 4, "PK\x03\x04");
    return content;
}

// Returns the SHA-256 of what it wrote.
Result<QByteArray, StoreError> writeSampleFile(const QString &path, const QString &title, qint64 size)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return Failure(StoreError{u"cannot create the folder of %1"_s.arg(path)});
    QSaveFile file(path);
    const QByteArray content = path.endsWith(u".txt"_s) ? textContent(title, size)
                                                        : binaryContent(path.section(u'/', -1), size);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != size || !file.commit())
        return Failure(StoreError{u"cannot write %1: %2"_s.arg(path, file.errorString())});
    Sha256 digest;
    digest.addData(content);
    return digest.result();
}

QList<ResourceLink> officialLinks(const OfficialSeed &seed)
{
    const QString filePath = u"guanfang/files/"_s + QString::fromUtf16(seed.file);
    const QByteArray title = QString::fromUtf16(seed.title).toUtf8();
    const QString encodedTitle = QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(title)));
    QList<ResourceLink> links;
    if (seed.links & Local)
        links.append({u"本地下载"_s, filePath});
    if (seed.links & Mirror)
        links.append({u"镜像下载"_s, filePath + u"?from=mirror&v=2"_s});
    if (seed.links & Magnet) {
        const QByteArray infoHash = QCryptographicHash::hash(title, QCryptographicHash::Sha1).toHex();
        links.append({u"磁力链接"_s, u"magnet:?xt=urn:btih:%1&dn=%2"_s.arg(QString::fromLatin1(infoHash), encodedTitle)});
    }
    if (seed.links & Ed2k) {
        const QByteArray fileHash = QCryptographicHash::hash(title, QCryptographicHash::Md4).toHex().toUpper();
        // A plausible size of a few hundred MiB that stays the same for the same title.
        const qint64 size = fileHash.left(5).toLongLong(nullptr, 16) * 512;
        links.append(
            {u"电驴链接"_s,
             u"ed2k://|file|%1|%2|%3|/"_s.arg(encodedTitle, QString::number(size), QString::fromLatin1(fileHash))});
    }
    return links;
}

Result<void, StoreError> addSample(SiteStore &store, const SiteResource &resource, const QString &filePath, qint64 size)
{
    if (!filePath.isEmpty()) {
        const auto written = writeSampleFile(filePath, resource.title, size);
        if (!written)
            return Failure(written.error());
        if (const auto noted = store.setFileDigest(QDir(store.filesFolder()).relativeFilePath(filePath), *written); !noted)
            return noted;
    }
    if (!store.addResource(resource))
        return Failure(StoreError{u"cannot add the sample resource %1"_s.arg(resource.title)});
    return {};
}

template<typename Seed> SiteResource sampleResource(Catalogue catalogue, const Seed &seed)
{
    SiteResource resource;
    resource.catalogue = catalogue;
    resource.category = QString::fromUtf16(seed.category);
    resource.title = QString::fromUtf16(seed.title);
    resource.remark = QString::fromUtf16(seed.remark);
    return resource;
}

}  // namespace

Result<void, StoreError> SampleData::seed(SiteStore &store)
{
    const QDateTime officialStart(QDate(2023, 10, 8), QTime(9, 12));
    const QDir officialFiles(store.officialFilesFolder());
    for (qsizetype i = 0; i < qsizetype(std::size(OfficialSeeds)); ++i) {
        const OfficialSeed &seed = OfficialSeeds[i];
        SiteResource resource = sampleResource(Catalogue::Official, seed);
        resource.collectedAt = collectedAt(officialStart, i, 26);
        resource.links = officialLinks(seed);
        const QString filePath = *seed.file ? officialFiles.filePath(QString::fromUtf16(seed.file)) : QString();
        const qint64 size = (1 + (i * 13) % 24) * 1024 + i * 37;
        if (const auto added = addSample(store, resource, filePath, size); !added)
            return added;
    }

    const QDateTime userStart(QDate(2024, 1, 3), QTime(20, 15));
    const QDir uploads(store.uploadFolder());
    for (qsizetype i = 0; i < qsizetype(std::size(UserSeeds)); ++i) {
        const UserSeed &seed = UserSeeds[i];
        SiteResource resource = sampleResource(Catalogue::User, seed);
        resource.collectedAt = collectedAt(userStart, i, 79);
        resource.filePath = QString::fromUtf16(seed.address);
        const qint64 size = seed.sizeKiB * 1024 + i * 7;
        if (const auto added = addSample(store, resource, uploads.filePath(resource.filePath), size); !added)
            return added;
    }
    return {};
}

}  // namespace Site
