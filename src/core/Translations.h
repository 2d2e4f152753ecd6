#pragma once

#include <QLocale>
#include <QStringList>

class QCoreApplication;

/**
 * Moriva's own texts and Qt's in the user's language. English needs no
 * file: the texts in the code are the English ones.
 */
class Translations
{
public:
    /**
     * Installs the translators for locale, trying its ui languages in order
     * (for the system locale LANGUAGE comes first), so that pt_BR finds
     * moriva_pt_BR.qm and de_AT moriva_de.qm, from the first of folders that
     * has Moriva's file; Qt's own come from Qt's folder. Returns the language
     * of Moriva's file, e.g. "de_DE", or nothing when none was found.
     */
    static QStringList install(QCoreApplication *app, const QLocale &locale, const QStringList &folders);

    /**
     * Where Moriva's files are: beside an installed binary in
     * ../share/moriva/translations, else in the build tree.
     */
    static QStringList defaultFolders();
};
