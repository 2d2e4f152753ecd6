#include "LinkUnwrapper.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QUrlQuery>

#include <optional>

namespace {

using namespace Qt::StringLiterals;

// Gateways wrap links more than once (a Safe Link around a Proofpoint link);
// beyond a few layers it is no longer a mail gateway at work.
constexpr int maxLayers = 4;

std::optional<QUrl> parsed(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    return url;
}

bool hostIs(const QString &host, QLatin1StringView name)
{
    return host == name;
}

bool hostUnder(const QString &host, QLatin1StringView suffix)
{
    return host.size() > suffix.size() && host.endsWith(suffix)
        && host.at(host.size() - suffix.size() - 1) == u'.';
}

// Outlook Safe Links: https://<region>.safelinks.protection.outlook.com/?url=<percent-encoded>&data=…
std::optional<QUrl> safeLinkTarget(const QUrl &url)
{
    const QString host = url.host();
    if (!hostUnder(host, "safelinks.protection.outlook.com"_L1)
        && !hostUnder(host, "safelinks.protection.office365.us"_L1))
        return std::nullopt;
    return parsed(QUrlQuery(url).queryItemValue(u"url"_s, QUrl::FullyDecoded));
}

// Google's redirect: https://www.google.com/url?q=<percent-encoded>&sa=D…
std::optional<QUrl> googleRedirectTarget(const QUrl &url)
{
    const QString host = url.host();
    if ((!hostIs(host, "www.google.com"_L1) && !hostIs(host, "google.com"_L1)) || url.path() != "/url"_L1)
        return std::nullopt;
    const QUrlQuery query(url);
    const QString key = query.hasQueryItem(u"q"_s) ? u"q"_s : u"url"_s;
    return parsed(query.queryItemValue(key, QUrl::FullyDecoded));
}

// Proofpoint v2: /v2/url?u=<target with "%" written "-" and "/" written "_">&d=…
std::optional<QUrl> proofpointV2Target(const QUrl &url)
{
    QString u = QUrlQuery(url).queryItemValue(u"u"_s, QUrl::FullyEncoded);
    if (u.isEmpty())
        return std::nullopt;
    u.replace(u'-', u'%').replace(u'_', u'/');
    return parsed(QUrl::fromPercentEncoding(u.toLatin1()));
}

// Proofpoint v3: /v3/__<target>__;<base64url of the characters replaced by "*">!!…
// A single "*" stands for the next replaced character; "**" and a letter for
// a run of them, whose length the letter encodes (A = 2, B = 3, …).
std::optional<QUrl> proofpointV3Target(const QUrl &url)
{
    static const QRegularExpression shape(u"/v3/__(.+?)__;([A-Za-z0-9_-]*)!"_s);
    const QRegularExpressionMatch m = shape.match(url.toString(QUrl::FullyEncoded));
    if (!m.hasMatch())
        return std::nullopt;
    const QString target = QUrl::fromPercentEncoding(m.captured(1).toUtf8());
    const auto decoded = QByteArray::fromBase64Encoding(
        m.captured(2).toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    if (decoded.decodingStatus != QByteArray::Base64DecodingStatus::Ok)
        return std::nullopt;
    const QString replaced = QString::fromUtf8(decoded.decoded);

    static const QString runLetters = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"_s;
    QString out;
    out.reserve(target.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < target.size(); ++i) {
        if (target.at(i) != u'*') {
            out += target.at(i);
            continue;
        }
        qsizetype run = 1;
        if (i + 2 < target.size() && target.at(i + 1) == u'*') {
            const qsizetype letter = runLetters.indexOf(target.at(i + 2));
            if (letter < 0)
                return std::nullopt;
            run = letter + 2;
            i += 2;
        }
        if (next + run > replaced.size())
            return std::nullopt;
        out += QStringView(replaced).mid(next, run);
        next += run;
    }
    return parsed(out);
}

std::optional<QUrl> proofpointTarget(const QUrl &url)
{
    const QString host = url.host();
    if (!hostIs(host, "urldefense.proofpoint.com"_L1) && !hostIs(host, "urldefense.com"_L1))
        return std::nullopt;
    const QString path = url.path();
    if (path.startsWith("/v2/url"_L1))
        return proofpointV2Target(url);
    if (path.startsWith("/v3/"_L1))
        return proofpointV3Target(url);
    return std::nullopt;
}

std::optional<QUrl> innerLink(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme != "https"_L1 && scheme != "http"_L1)
        return std::nullopt;
    if (auto target = safeLinkTarget(url))
        return target;
    if (auto target = proofpointTarget(url))
        return target;
    return googleRedirectTarget(url);
}

} // namespace

namespace LinkUnwrapper {

QUrl unwrap(const QUrl &url)
{
    QUrl current = url;
    for (int layer = 0; layer < maxLayers; ++layer) {
        const std::optional<QUrl> inner = innerLink(current);
        if (!inner)
            break;
        current = *inner;
    }
    return current;
}

} // namespace LinkUnwrapper
