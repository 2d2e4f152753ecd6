#include "CalendarColor.h"

#include <QColor>
#include <QTest>

// The core reads colours without QtGui; what it reads must be what the
// widgets would have read, or a calendar's colour changes with the layer.
class tst_CalendarColor : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsAsQtDoes_data()
    {
        QTest::addColumn<QString>("text");
        for (const QString &name : QColor::colorNames()) {
            QTest::newRow(qPrintable(name)) << name;
            QTest::newRow(qPrintable(name.toUpper())) << name.toUpper();
        }
        // clang-format off
        const char *const others[] = {
            "#abc", "#ABCDEF", "#3a86ff", "#803a86ff", "#123456789", "#1234567890ab", "Light Blue",
            " red", "dark  grey", "", " ", "#", "#abcd", "#12345", "#1234567", "#12345g", "#gggggg",
            "#abc ", "redd", "re-d", "rgb(1,2,3)", "lightgoldenrodyellowx", "n\u00e4vy", "0xff0000",
        };
        // clang-format on
        for (const char *text : others)
            QTest::newRow(qPrintable(QStringLiteral("[%1]").arg(QString::fromUtf8(text))))
                << QString::fromUtf8(text);
    }
    void readsAsQtDoes()
    {
        QFETCH(QString, text);
        const QColor expected = QColor::fromString(text);
        const CalendarColor read = CalendarColor::fromString(text);
        QCOMPARE(read.isValid(), expected.isValid());
        if (!expected.isValid())
            return;
        QCOMPARE(read.argb(), expected.rgba());
        QCOMPARE(read.name(), expected.name(QColor::HexRgb));
    }
};

QTEST_MAIN(tst_CalendarColor)
#include "tst_calendarcolor.moc"
