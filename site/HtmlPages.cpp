#include "site/HtmlPages.h"

#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

const QString StyleSheet = uR"(
* { box-sizing: border-box; }
html, body { margin: 0; height: 100%; }
body { font: 13px/1.6 "Microsoft YaHei", "PingFang SC", "Noto Sans CJK SC", "WenQuanYi Micro Hei", sans-serif;
       color: #2b3440; background: #f3f6f9; }
a { color: #1f6fb2; text-decoration: none; }
a:hover { text-decoration: underline; }
header { display: flex; align-items: baseline; gap: 12px; padding: 10px 20px;
         background: linear-gradient(90deg, #1d5f99, #2f8fc9); color: #fff; }
header .brand { font-size: 20px; font-weight: bold; color: #fff; letter-spacing: 1px; }
header .trail { color: #d8ebf8; font-size: 13px; }
header .trail a { color: #fff; }
main { padding: 12px 20px; }
h1 { font-size: 18px; margin: 0 0 4px; }
h2 { font-size: 14px; margin: 0 0 6px; padding-bottom: 4px; border-bottom: 2px solid #2f8fc9; color: #1d5f99; }
.columns { display: flex; gap: 16px; }
.columns section { flex: 1; min-width: 0; background: #fff; border: 1px solid #dde5ec; border-radius: 6px; padding: 10px 12px; }
.columns section.intro { flex: 1.15; }
.intro p { margin: 0 0 8px; }
.stats { display: flex; gap: 10px; margin-top: 6px; }
.stats div { flex: 1; text-align: center; background: #eef5fb; border-radius: 5px; padding: 4px 0; color: #52606d; }
.stats b { display: block; font-size: 20px; color: #d9480f; line-height: 1.3; }
ul.news { list-style: none; margin: 0; padding: 0; }
ul.news li { display: flex; justify-content: space-between; gap: 8px; padding: 3px 0; border-bottom: 1px dashed #e3e9ef; }
ul.news li:last-child { border-bottom: none; }
ul.news .name { overflow: hidden; white-space: nowrap; text-overflow: ellipsis; }
ul.news .when { color: #8a96a3; white-space: nowrap; font-size: 12px; }
.meta { color: #6b7785; margin: 0 0 8px; }
.meta span + span::before { content: "·"; margin: 0 8px; color: #b0bac5; }
.remark { background: #fff; border-left: 4px solid #2f8fc9; padding: 6px 10px; margin: 0 0 12px; }
ul.links { list-style: none; margin: 0; padding: 0; display: flex; flex-wrap: wrap; gap: 8px; }
ul.links a { display: inline-block; padding: 4px 14px; border-radius: 4px; background: #2f8fc9; color: #fff; }
ul.links a:hover { background: #1d5f99; text-decoration: none; }
.empty { color: #8a96a3; }
.notice { text-align: center; padding-top: 40px; }
.notice h1 { font-size: 40px; color: #2f8fc9; margin: 0; }
)"_s;

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

} // namespace

QByteArray HtmlPages::document(const QString &title, const QString &root, const QString &trail, const QString &main)
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
)"_s.arg(escaped(title), StyleSheet, escaped(root), trail, main)
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
