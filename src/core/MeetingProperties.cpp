#include "MeetingProperties.h"

#include "ComponentReader.h"

#include <QRegularExpression>

#include <libical/ical.h>

#include <cstring>

namespace {

using namespace Qt::StringLiterals;

// Invitations are strangers' data: bound what one event may make us keep.
constexpr qsizetype maxLinks = 32;
constexpr qsizetype maxLinkLength = 4096;
constexpr qsizetype maxHtmlScanned = 512 * 1024;

// Vendor properties are kept as libical read them, with the text escapes of
// the file still in place.
QString unescapedText(const char *raw)
{
    QString text = QString::fromUtf8(raw);
    if (!text.contains(u'\\'))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text.at(++i);
        out += (next == u'n' || next == u'N') ? QChar(u'\n') : next;
    }
    return out;
}

void addLink(QStringList &links, const QString &text)
{
    const QString link = text.trimmed();
    if (!link.isEmpty() && link.size() <= maxLinkLength && links.size() < maxLinks)
        links.append(link);
}

bool offersVideo(icalproperty *prop)
{
    for (icalparameter *param = icalproperty_get_first_parameter(prop, ICAL_FEATURE_PARAMETER); param;
         param = icalproperty_get_next_parameter(prop, ICAL_FEATURE_PARAMETER)) {
        if (icalparameter_get_feature(param) == ICAL_FEATURE_VIDEO)
            return true;
        // A list such as "AUDIO,VIDEO" reaches us as one unknown value.
        const char *x = icalparameter_get_xvalue(param);
        if (x && QString::fromUtf8(x).split(u',').contains(u"VIDEO"_s, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool isHtml(icalproperty *prop)
{
    icalparameter *param = icalproperty_get_first_parameter(prop, ICAL_FMTTYPE_PARAMETER);
    const char *type = param ? icalparameter_get_fmttype(param) : nullptr;
    return type && qstrnicmp(type, "text/html", 9) == 0;
}

QString decodeEntities(const QString &text)
{
    if (!text.contains(u'&'))
        return text;
    static const QRegularExpression entity(u"&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|amp|lt|gt|quot|apos);"_s);
    QString out;
    qsizetype last = 0;
    for (auto it = entity.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        last = m.capturedEnd();
        const QString name = m.captured(1);
        char32_t code = 0;
        if (name == "amp"_L1)
            code = u'&';
        else if (name == "lt"_L1)
            code = u'<';
        else if (name == "gt"_L1)
            code = u'>';
        else if (name == "quot"_L1)
            code = u'"';
        else if (name == "apos"_L1)
            code = u'\'';
        else if (name.startsWith("#x"_L1, Qt::CaseInsensitive))
            code = name.mid(2).toUInt(nullptr, 16);
        else
            code = name.mid(1).toUInt();
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            code = 0xFFFD;
        out += QString::fromUcs4(&code, 1);
    }
    out += QStringView(text).mid(last);
    return out;
}

} // namespace

QStringList MeetingProperties::hrefsInHtml(const QString &html)
{
    static const QRegularExpression href(
        uR"re((?<![\w-])href\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'<>`=]+)))re"_s,
        QRegularExpression::CaseInsensitiveOption);
    QStringList links;
    const QString scanned = html.size() > maxHtmlScanned ? html.left(maxHtmlScanned) : html;
    for (auto it = href.globalMatch(scanned); it.hasNext() && links.size() < maxLinks;) {
        const QRegularExpressionMatch m = it.next();
        const QString value = m.hasCaptured(1) ? m.captured(1)
            : m.hasCaptured(2)                 ? m.captured(2)
                                               : m.captured(3);
        if (value.startsWith(u'#'))
            continue;
        addLink(links, decodeEntities(value));
    }
    return links;
}

void MeetingProperties::read(icalcomponent *component, MeetingProperties &into)
{
    QStringList video, otherConference, google, teams, conferenceLink;
    QString html;
    for (icalproperty *p = icalcomponent_get_first_property(component, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_ANY_PROPERTY)) {
        const icalproperty_kind kind = icalproperty_isa(p);
        if (kind == ICAL_CONFERENCE_PROPERTY) {
            if (const char *value = ComponentReader::valueText(p))
                addLink(offersVideo(p) ? video : otherConference, QString::fromUtf8(value));
            continue;
        }
        if (kind != ICAL_X_PROPERTY)
            continue;
        const char *name = icalproperty_get_x_name(p);
        const char *value = ComponentReader::valueText(p);
        if (!name || !value)
            continue;
        if (qstricmp(name, "X-GOOGLE-CONFERENCE") == 0)
            addLink(google, unescapedText(value));
        else if (qstricmp(name, "X-MICROSOFT-SKYPETEAMSMEETINGURL") == 0)
            addLink(teams, unescapedText(value));
        else if (qstricmp(name, "X-MICROSOFT-ONLINEMEETINGCONFLINK") == 0)
            addLink(conferenceLink, unescapedText(value));
        else if (qstricmp(name, "X-ALT-DESC") == 0 && html.isEmpty() && isHtml(p))
            html = unescapedText(value);
    }
    into.conferenceLinks = video + otherConference + google + teams + conferenceLink;
    if (into.conferenceLinks.size() > maxLinks)
        into.conferenceLinks.resize(maxLinks);
    into.htmlLinks = hrefsInHtml(html);
}
