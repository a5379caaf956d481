#include "site/pages/HtmlPages.h"

#include "site/forms/UploadName.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

using namespace Qt::StringLiterals;

// The resource's initializer is declared where it is named, so it is named outside the site's
// namespace.
static void loadSiteResources()
{
    Q_INIT_RESOURCE(site);
}

namespace Site {

namespace {

// The upload page and the message board live in small windows of their own: they add the
// compact style to the site's.
struct Styles
{
    QString site;
    QString compact;
};

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString absoluteTarget(const QString &target, const QString &root)
{
    return QUrl(target).scheme().isEmpty() ? root + target : target;
}

// Every arg() below fills all its placeholders in one pass, so a title holding "%1" stays as it is.
QString newsList(const QList<SiteResource> &resources, qsizetype count, const QString &link)
{
    QString items;
    for (const SiteResource &resource : resources.first(std::min(count, resources.size()))) {
        const QString name = escaped(resource.title);
        const QString title = link.isEmpty()
            ? u"<span class=\"name\">%1</span>"_s.arg(name)
            : u"<a class=\"name\" href=\"%1%2\">%3</a>"_s.arg(link, QString::number(resource.id), name);
        // Month and day only: the titles need the room more than the year.
        items += u"<li>%1<span class=\"when\">%2 · %3</span></li>"_s.arg(title, escaped(resource.category),
                                                                         escaped(resource.collectedAt.mid(5, 5)));
    }
    return items.isEmpty() ? u"<p class=\"empty\">暂无</p>"_s : u"<ul class=\"news\">"_s + items + u"</ul>"_s;
}

// A path below the site root as a link: each segment percent-encoded, the separators kept.
QString linkTo(const QString &root, const QString &path)
{
    return escaped(root + QString::fromLatin1(QUrl::toPercentEncoding(path, "/")));
}

QString errorBox(const QString &message, const QString &id = QString())
{
    const QString idAttribute = id.isEmpty() ? QString() : u" id=\"%1\""_s.arg(id);
    return u"<p class=\"error\"%1%2>%3</p>"_s.arg(idAttribute, message.isEmpty() ? u" hidden"_s : QString(),
                                                  escaped(message));
}

}  // namespace

static const Styles &styles()
{
    static const Styles loaded = [] {
        loadSiteResources();
        const auto read = [](const QString &path) {
            QFile file(path);
            const bool opened = file.open(QIODevice::ReadOnly);
            Q_ASSERT(opened);
            return QString::fromUtf8(file.readAll());
        };
        return Styles{read(u":/site/styles/site.css"_s), read(u":/site/styles/compact.css"_s)};
    }();
    return loaded;
}

QString HtmlPages::errorText(UserUpload::Error error)
{
    switch (error) {
    case UserUpload::Error::Malformed:
        return u"上传的内容不完整或格式不对，请重新选择文件再试一次。"_s;
    case UserUpload::Error::NoCategory:
        return u"请选择一个分类。"_s;
    case UserUpload::Error::EmptyTitle:
        return u"请填写标题。"_s;
    case UserUpload::Error::TitleTooLong:
        return u"标题不能超过 %1 个字。"_s.arg(UserUpload::MaxTitleLength);
    case UserUpload::Error::RemarkTooLong:
        return u"备注不能超过 %1 个字。"_s.arg(UserUpload::MaxRemarkLength);
    case UserUpload::Error::NoFile:
        return u"请选择要上传的文件。"_s;
    case UserUpload::Error::UnsafeFileName:
        return u"文件名不安全：不能含有路径、斜杠或控制字符，也不能只由点组成。请改名后再上传。"_s;
    case UserUpload::Error::FileNameTooLong:
        return u"文件名太长，不能超过 %1 个字。"_s.arg(UploadName::MaxClientLength);
    case UserUpload::Error::EmptyFile:
        return u"这个文件是空的，不能上传。"_s;
    case UserUpload::Error::FileTooLarge:
        return u"文件太大：单个文件不能超过 %1 MB。"_s.arg(UserUpload::MaxFileBytes / (1024 * 1024));
    case UserUpload::Error::TooFrequent:
        return u"上传过于频繁，请稍后再试。"_s;
    case UserUpload::Error::Blocked:
        return u"您已被禁止发言。"_s;
    case UserUpload::Error::QuotaSpent:
        return u"今天上传的文件已达上限，请明天再试。"_s;
    case UserUpload::Error::NoSpace:
        return u"服务器空间不足，请稍后再试"_s;
    case UserUpload::Error::Infected:
        return u"文件未通过病毒扫描"_s;
    case UserUpload::Error::ScanUnavailable:
        return u"暂时无法检查文件是否安全，请稍后再试。"_s;
    case UserUpload::Error::StoreFailed:
        return u"服务器保存文件失败，请稍后再试。"_s;
    }
    return QString();
}

QString HtmlPages::errorText(MessagePost::Error error)
{
    switch (error) {
    case MessagePost::Error::Malformed:
        return u"提交的内容格式不对，请重新填写。"_s;
    case MessagePost::Error::EmptyName:
        return u"请填写昵称。"_s;
    case MessagePost::Error::NameTooLong:
        return u"昵称不能超过 %1 个字。"_s.arg(MessagePost::MaxNameLength);
    case MessagePost::Error::EmptyText:
        return u"请填写留言内容。"_s;
    case MessagePost::Error::TextTooLong:
        return u"留言不能超过 %1 个字。"_s.arg(MessagePost::MaxTextLength);
    case MessagePost::Error::TooFrequent:
        return u"发言过于频繁，请稍后再试。"_s;
    case MessagePost::Error::Blocked:
        return u"您已被禁止发言。"_s;
    case MessagePost::Error::StoreFailed:
        return u"服务器保存留言失败，请稍后再试。"_s;
    }
    return QString();
}

QByteArray HtmlPages::document(const QString &title, const QString &root, const QString &trail, const QString &main,
                               const QString &extraStyle)
{
    return uR"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>%1</title>
<style>%2</style>
</head>
<body>
<header><a class="brand" href="%3zorvik/">Quillmere</a><span class="trail">%4</span></header>
<main>%5</main>
</body>
</html>
)"_s.arg(escaped(title), styles().site + extraStyle, escaped(root), trail, main)
        .toUtf8();
}

QByteArray HtmlPages::startPage(const SiteStore::Page &official, const SiteStore::Page &user, const QString &root)
{
    const QString main = uR"(<div class="columns">
<section class="intro">
<h2>欢迎来到 Quillmere</h2>
<p>这里是大家分享好用软件、电子书、音乐和教程的地方。官方资源由管理员整理校验，网友资源来自社区成员的分享。</p>
<p>在上方按标题或分类搜索，点击列表中的资源即可在这里查看介绍和下载地址。</p>
<div class="stats"><div><b>%1</b>官方资源</div><div><b>%2</b>网友分享</div></div>
</section>
<section><h2>最新收录</h2>%3</section>
<section><h2>网友新分享</h2>%4</section>
</div>)"_s.arg(QString::number(official.total), QString::number(user.total),
               newsList(official.resources, 5, escaped(root) + u"guanfang/view.php?id="_s),
               newsList(user.resources, 5, QString()));
    return document(u"Quillmere 资源共享社区"_s, root, u"资源共享社区"_s, main);
}

QByteArray HtmlPages::resourcePage(const SiteResource &resource, const QString &root)
{
    QString links;
    for (const ResourceLink &link : resource.links)
        links += u"<li><a href=\"%1\">%2</a></li>"_s.arg(escaped(absoluteTarget(link.target, root)), escaped(link.label));
    links = links.isEmpty() ? u"<p class=\"empty\">下载地址整理中，请稍后再来。</p>"_s
                            : u"<ul class=\"links\">"_s + links + u"</ul>"_s;

    const QString main = uR"(<h1>%1</h1>
<p class="meta"><span>分类：%2</span><span>收录时间：%3</span><span>编号：%4</span></p>
<p class="remark">%5</p>
<h2>下载地址</h2>
%6)"_s.arg(escaped(resource.title), escaped(resource.category), escaped(resource.collectedAt),
           QString::number(resource.id), escaped(resource.remark), links);
    return document(resource.title + u" - Quillmere"_s, root, u"官方资源 › "_s + escaped(resource.category), main);
}

QByteArray HtmlPages::notFoundPage(const QString &root)
{
    const QString main = uR"(<div class="notice">
<h1>404</h1>
<p>您要找的页面不存在，可能已被删除或地址有误。</p>
<p><a href="%1zorvik/">返回首页</a></p>
</div>)"_s.arg(escaped(root));
    return document(u"页面不存在 - Quillmere"_s, root, u"页面不存在"_s, main);
}

QByteArray HtmlPages::uploadPage(const QStringList &categories, const std::optional<UserUpload::Rejection> &rejection,
                                 const QString &root)
{
    const SiteResource entered = rejection ? rejection->entered : SiteResource();
    const QString error = rejection ? errorText(rejection->reason) : QString();
    QString options;
    for (const QString &category : categories) {
        const QString selected = category == entered.category ? u" selected"_s : QString();
        options += u"<option%1>%2</option>"_s.arg(selected, escaped(category));
    }
    // The page checks what it can before sending, so that a file too large never travels.
    const QJsonObject messages{
        {u"EmptyTitle"_s, errorText(UserUpload::Error::EmptyTitle)},
        {u"NoFile"_s, errorText(UserUpload::Error::NoFile)},
        {u"FileTooLarge"_s, errorText(UserUpload::Error::FileTooLarge)},
    };
    const QString main = uR"(<p class="lead">分享好用的资源，上传后会出现在“网友资源”中。</p>
%1
<form class="grid" id="upload" method="post" action="%2wangyou/" enctype="multipart/form-data">
<label for="category">分类</label><select id="category" name="category">%3</select>
<label for="title">标题</label><input id="title" name="title" type="text" maxlength="%4" value="%5" placeholder="资源的名字">
<label for="remark">备注</label><textarea id="remark" name="remark" rows="3" maxlength="%6" placeholder="简单介绍一下（可不填）">%7</textarea>
<label for="file">文件</label><input id="file" name="file" type="file">
<span></span><p class="hint">单个文件不超过 %8 MB，文件名中不能有路径或控制字符。</p>
<span></span><div><button type="submit">上传分享</button></div>
</form>
<script>
(function () {
    var messages = %9, limit = %10;
    var form = document.getElementById('upload'), box = document.getElementById('error');
    form.addEventListener('submit', function (event) {
        var file = form.file.files[0], message = '';
        if (!form.title.value.trim())
            message = messages.EmptyTitle;
        else if (!file)
            message = messages.NoFile;
        else if (file.size > limit)
            message = messages.FileTooLarge;
        box.textContent = message;
        box.hidden = !message;
        if (message) {
            event.preventDefault();
            return;
        }
        var button = form.querySelector('button');
        button.disabled = true;
        button.textContent = '正在上传…';
    });
})();
</script>)"_s.arg(errorBox(error, u"error"_s), escaped(root), options, QString::number(UserUpload::MaxTitleLength),
                  escaped(entered.title), QString::number(UserUpload::MaxRemarkLength), escaped(entered.remark),
                  QString::number(UserUpload::MaxFileBytes / (1024 * 1024)),
                  QString::fromUtf8(QJsonDocument(messages).toJson(QJsonDocument::Compact)),
                  QString::number(UserUpload::MaxFileBytes));
    return document(u"资源分享 - Quillmere"_s, root, u"资源分享"_s, main, styles().compact);
}

QByteArray HtmlPages::uploadDonePage(const SiteResource &resource, const QString &root)
{
    const QString fileName = resource.filePath.section(u'/', -1);
    const QString main = uR"(<p class="done"><b>上传成功！</b>谢谢你的分享。</p>
<dl class="facts">
<dt>分类</dt><dd>%1</dd>
<dt>标题</dt><dd>%2</dd>
<dt>备注</dt><dd>%3</dd>
<dt>文件</dt><dd><a href="%4">%5</a></dd>
<dt>时间</dt><dd>%6</dd>
</dl>
<p>它已加入“网友资源”。关闭本窗口，在主窗口点“网友资源”就能找到并下载。</p>
<p><a class="button" href="%7wangyou/">继续上传</a></p>)"_s.arg(
        escaped(resource.category), escaped(resource.title),
        resource.remark.isEmpty() ? u"无"_s : escaped(resource.remark),
        linkTo(root, u"wangyou/up/"_s + resource.filePath), escaped(fileName), escaped(resource.collectedAt),
        escaped(root));
    return document(u"上传成功 - Quillmere"_s, root, u"资源分享"_s, main, styles().compact);
}

QByteArray HtmlPages::uploadHeldPage(const QString &root)
{
    const QString main = uR"(<p class="done"><b>文件已收到。</b>谢谢你的分享。</p>
<p>文件正在等待病毒扫描，扫描通过后就会加入“网友资源”。</p>
<p><a class="button" href="%1wangyou/">继续上传</a></p>)"_s.arg(escaped(root));
    return document(u"等待扫描 - Quillmere"_s, root, u"资源分享"_s, main, styles().compact);
}

QByteArray HtmlPages::messageBoardPage(const SiteStore::MessagePage &messages, qint64 page,
                                       const std::optional<MessagePost::Rejection> &rejection, bool posted,
                                       const QString &root)
{
    const SiteMessage entered = rejection ? rejection->entered : SiteMessage();
    QString notice = errorBox(rejection ? errorText(rejection->reason) : QString());
    if (posted && !rejection)
        notice = u"<p class=\"done\">留言成功，谢谢你的留言！</p>"_s;

    QString items;
    for (const SiteMessage &message : messages.messages) {
        items += u"<li><div class=\"who\"><b>%1</b><span class=\"when\">%2</span></div><div class=\"text\">%3</div></li>\n"_s
                     .arg(escaped(message.name), escaped(message.postedAt), escaped(message.text));
    }
    const QString list = items.isEmpty() ? u"<p class=\"empty\">还没有留言，来写下第一条吧。</p>"_s
                                         : u"<ol class=\"messages\">\n"_s + items + u"</ol>"_s;

    const qint64 lastPage = std::max<qint64>(
        1, (messages.total + SiteStore::MessagesPerPage - 1) / SiteStore::MessagesPerPage);
    QString pager;
    if (lastPage > 1) {
        const QString board = escaped(root) + u"nds_wd-nds_wd.html?page="_s;
        const QString newer = page > 1 ? u"<a href=\"%1%2\">‹ 较新的留言</a>"_s.arg(board, QString::number(page - 1))
                                       : u"<span></span>"_s;
        const QString older = page < lastPage
            ? u"<a href=\"%1%2\">较早的留言 ›</a>"_s.arg(board, QString::number(page + 1))
            : u"<span></span>"_s;
        pager = u"<nav class=\"pager\">%1<span>第 %2 / %3 页</span>%4</nav>"_s.arg(newer, QString::number(page),
                                                                                   QString::number(lastPage), older);
    }

    const QString main = uR"(%1
<form class="post" method="post" action="%2nds_wd-nds_wd.html">
<div class="row"><input name="name" type="text" maxlength="%3" value="%4" placeholder="你的昵称"><button type="submit">发表留言</button></div>
<textarea name="text" rows="3" maxlength="%5" placeholder="说点什么吧（不超过 %5 字）">%6</textarea>
</form>
<h2>大家的留言<small>共 %7 条</small></h2>
%8
%9)"_s.arg(notice, escaped(root), QString::number(MessagePost::MaxNameLength), escaped(entered.name),
           QString::number(MessagePost::MaxTextLength), escaped(entered.text), QString::number(messages.total), list,
           pager);
    return document(u"留言板 - Quillmere"_s, root, u"留言板"_s, main, styles().compact);
}

QByteArray HtmlPages::refusalPage(const QString &message, const QString &root)
{
    const QString main = uR"(%1
<p><a class="button" href="%2wangyou/">返回上传页</a></p>)"_s.arg(errorBox(message), escaped(root));
    return document(u"无法处理 - Quillmere"_s, root, u"无法处理"_s, main, styles().compact);
}

}  // namespace Site
