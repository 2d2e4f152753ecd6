#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <span>

/**
 * The online-meeting services Moriva recognises, as one table. A link belongs
 * to a service only when its host is one of the row's hosts or a subdomain of
 * it (on a dot boundary, so "zoom.us.evil.example" is not Zoom) and, where the
 * row has one, its path matches the row's pattern; or when its scheme is one
 * of the row's native-client schemes. A new service is a new row.
 */
namespace MeetingServices {

struct Service
{
    QLatin1StringView host; ///< the host suffix, lower case, without a leading dot
    QLatin1StringView path; ///< a regular expression matched at the start of the path; empty: any path
    QLatin1StringView schemes; ///< native-client URL schemes, space-separated; may be empty
    QLatin1StringView name; ///< the name shown to the user
};

/** Every row, in the order they are tried. */
std::span<const Service> table();

/** The service of a link, or nullptr when no row matches it exactly. */
const Service *find(const QUrl &url);

/** Every native-client scheme of the table, lower case. */
const QStringList &clientSchemes();

} // namespace MeetingServices
