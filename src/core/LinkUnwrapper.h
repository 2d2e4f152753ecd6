#pragma once

#include <QUrl>

/**
 * Mail gateways rewrite every link of an invitation to pass through their own
 * checking service (Outlook Safe Links, Proofpoint URL Defense, Google's
 * redirect). Each of them carries the original link inside; this recovers it,
 * so the meeting line names and opens the real target.
 */
namespace LinkUnwrapper {

/** The link inside any number of known wrappers (bounded); the link itself when it is not wrapped. */
QUrl unwrap(const QUrl &url);

} // namespace LinkUnwrapper
