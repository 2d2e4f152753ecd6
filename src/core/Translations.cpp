#include "Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

QStringList Translations::install(QCoreApplication *app, const QLocale &locale, const QStringList &folders)
{
    QStringList found;
    auto *qt = new QTranslator(app);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;

    for (const QString &folder : folders) {
        auto *own = new QTranslator(app);
        if (own->load(locale, QStringLiteral("moriva"), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(own);
            found.append(own->language());
            break;
        }
        delete own;
    }
    return found;
}

QStringList Translations::defaultFolders()
{
    QStringList folders { QDir::cleanPath(
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/moriva/translations")) };
#ifdef MORIVA_BUILD_TRANSLATIONS
    folders.append(QStringLiteral(MORIVA_BUILD_TRANSLATIONS));
#endif
    return folders;
}
