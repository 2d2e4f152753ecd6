#include "ContentFixture.h"
#include "MonthGrid.h"
#include "Translations.h"

#include <QLabel>

#include <cstdlib>

// The popover's content as a German user meets it: the locale comes from the
// environment, as at a real start, and the translations from the build.
class tst_Translations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(QLocale().name(), QStringLiteral("de_DE"));
        QVERIFY(pinLocalZone("Europe/Berlin"));
        const QStringList found = Translations::install(
            qApp, QLocale(), { QStringLiteral("/nonexistent"), QStringLiteral(MORIVA_BUILD_DIR "/translations") });
        QCOMPARE(found, QStringList { QStringLiteral("de_DE") });
    }

    void contentSpeaksGerman()
    {
        ContentFixture f;
        QVERIFY(f.show());
        QCOMPARE(f.text(QStringLiteral("monthTitleButton")), QStringLiteral("Dezember"));
        // The relative phrase is the one text kept as written in every language.
        QCOMPARE(f.find<QLabel>(QStringLiteral("eventHeadingRelative"))->text(), QStringLiteral("Today"));
        QVERIFY(f.find<QLabel>(QStringLiteral("eventHeadingDate"))->text().startsWith(QStringLiteral("Samstag")));
        QCOMPARE(f.text(QStringLiteral("todayButton")), QStringLiteral("Heute"));
    }

    void texts_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("expected");

        const QDateTime today(QDate(2026, 12, 5), QTime(10, 0));
        const auto relative = [&](int days) { return *MonthGrid::relativeDateString(today.addDays(days), today); };
        // clang-format off
        QTest::newRow("tomorrow, as written") << relative(1) << "in 1 day";
        QTest::newRow("menu") << QCoreApplication::translate("StatusBarController", "Quit Moriva") << "Moriva beenden";
        // Qt's own texts, e.g. in a text field's context menu, come along.
        QTest::newRow("Qt's own") << QCoreApplication::translate("QLineEdit", "&Copy") << "&Kopieren";
        // clang-format on
    }

    void texts()
    {
        QFETCH(QString, shown);
        QFETCH(QString, expected);
        QCOMPARE(shown, expected);
    }
};

int main(int argc, char *argv[])
{
    // Before the application reads the locale, as a German session sets it.
    ::setenv("LANG", "de_DE.UTF-8", 1);
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    ::unsetenv("LANGUAGE");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    tst_Translations test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_translations.moc"
