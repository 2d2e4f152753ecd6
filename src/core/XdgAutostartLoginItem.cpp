#include "XdgAutostartLoginItem.h"

#include "AtomicFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString configHome()
{
    // The base-directory rules say a relative XDG_CONFIG_HOME is invalid and must be ignored.
    const QString fromEnvironment = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!fromEnvironment.isEmpty() && QDir::isAbsolutePath(fromEnvironment))
        return fromEnvironment;
    return QDir::homePath() + QStringLiteral("/.config");
}

// Every value of a desktop entry is a string in which backslash, newline, tab
// and carriage return must be escaped.
QString escapeValue(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            escaped += QLatin1String("\\\\");
            break;
        case '\n':
            escaped += QLatin1String("\\n");
            break;
        case '\t':
            escaped += QLatin1String("\\t");
            break;
        case '\r':
            escaped += QLatin1String("\\r");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// Exec has its own layer of quoting under the string escapes: a program path
// with a reserved character is double-quoted, inside the quotes " ` $ \ take a
// backslash, and a literal % is doubled so it is not read as a field code.
QString execArgument(const QString &program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (const QChar c : program)
        needsQuotes = needsQuotes || reserved.contains(c);

    QString argument;
    for (const QChar c : program) {
        if (c == QLatin1Char('%'))
            argument += QLatin1String("%%");
        else if (needsQuotes && QStringLiteral("\"`$\\").contains(c))
            argument += QLatin1Char('\\') + c;
        else
            argument += c;
    }
    if (needsQuotes)
        argument = QLatin1Char('"') + argument + QLatin1Char('"');
    return escapeValue(argument);
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(const QString &executable)
    : m_executable(QDir::cleanPath(QFileInfo(executable).absoluteFilePath()))
{ }

QString XdgAutostartLoginItem::executableToStart(const QString &running, const QStringList &installed)
{
    // An installed copy that is running is the one to keep starting.
    const QString runningCanonical = QFileInfo(running).canonicalFilePath();
    for (const QString &candidate : installed) {
        if (!runningCanonical.isEmpty() && QFileInfo(candidate).canonicalFilePath() == runningCanonical)
            return running;
    }
    for (const QString &candidate : installed) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return candidate;
    }
    return running;
}

QString XdgAutostartLoginItem::entryPath()
{
    return configHome() + QStringLiteral("/autostart/moriva.desktop");
}

bool XdgAutostartLoginItem::registerItem(QString &error)
{
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Moriva\n"
                                         "Exec=%1\n"
                                         "TryExec=%2\n"
                                         "Icon=moriva\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execArgument(m_executable), escapeValue(m_executable));

    return AtomicFileWriter::write(entryPath(), entry.toUtf8(), &error);
}

bool XdgAutostartLoginItem::unregisterItem(QString &error)
{
    const QString path = entryPath();
    const QFileInfo info(path);
    // A dangling symlink does not "exist" but still starts nothing and still needs removing.
    if (!info.exists() && !info.isSymLink())
        return true;
    QFile file(path);
    if (!file.remove()) {
        error = QStringLiteral("could not remove %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
