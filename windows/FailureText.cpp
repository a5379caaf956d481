#include "windows/FailureText.h"

using namespace Qt::StringLiterals;

namespace Quillmere {

namespace {

QString statusMeaning(qint32 status)
{
    switch (status) {
    case 400:
        return u"请求无效"_s;
    case 401:
        return u"需要登录"_s;
    case 403:
        return u"禁止访问"_s;
    case 404:
        return u"文件不存在"_s;
    case 408:
        return u"请求超时"_s;
    case 410:
        return u"文件已被删除"_s;
    case 416:
        return u"请求的范围无效"_s;
    case 429:
        return u"请求过于频繁"_s;
    case 500:
        return u"服务器内部错误"_s;
    case 502:
        return u"网关错误"_s;
    case 503:
        return u"服务器暂时不可用"_s;
    case 504:
        return u"网关超时"_s;
    default:
        break;
    }
    if (status >= 400 && status <= 499)
        return u"请求被拒绝"_s;
    if (status >= 500 && status <= 599)
        return u"服务器出错"_s;
    return {};
}

}  // namespace

namespace FailureText {

QString reason(const TransferError &error)
{
    using Kind = TransferError::Kind;
    switch (error.kind) {
    case Kind::ConnectionRefused:
        return u"连接被拒绝"_s;
    case Kind::HostNotFound:
        return u"找不到服务器 "_s + error.host;
    case Kind::TimedOut:
        return u"连接超时"_s;
    case Kind::ConnectionCut:
        return u"连接中断"_s;
    case Kind::NetworkUnreachable:
        return u"网络不通"_s;
    case Kind::UntrustedCertificate:
        return u"证书不受信任：签发者不是本机信任的证书机构"_s;
    case Kind::CertificateNameMismatch:
        return u"证书不受信任：证书不属于 "_s + error.host;
    case Kind::CertificateExpired:
        return u"证书不受信任：证书已过期或尚未生效"_s;
    case Kind::SecureConnectionFailed:
        return u"无法建立安全连接"_s;
    case Kind::ProxyFailed:
        return u"代理服务器连接失败"_s;
    case Kind::HttpStatus: {
        const QString meaning = statusMeaning(error.httpStatus);
        const QString answered = u"服务器回答 "_s + QString::number(error.httpStatus);
        return meaning.isEmpty() ? answered : answered + u"："_s + meaning;
    }
    case Kind::AnswerTooLarge:
        return u"服务器的回答太大"_s;
    case Kind::AnswerTooSlow:
        return u"服务器回答太慢"_s;
    case Kind::UnusableAnswer:
        return u"服务器的回答无法使用"_s;
    // The system's words and the file's path are in the log.
    case Kind::FileNotWritten:
        return u"无法保存文件"_s;
    case Kind::DigestMismatch:
        return u"文件校验失败"_s;
    case Kind::Other:
        break;
    }
    // The library's words, where nothing else says what went wrong.
    return error.detail.isEmpty() ? u"网络错误"_s : u"网络错误："_s + error.detail;
}

}  // namespace FailureText

}  // namespace Quillmere
