#pragma once

#include <QDateTime>
#include <QStringList>
#include <QWidget>

/**
 * The month chooser: the twelve months of the displayed year in three
 * columns, the displayed month highlighted. It reports a choice or a close
 * request and changes nothing itself; closing is its owner's decision.
 */
class MonthPickerView : public QWidget
{
    Q_OBJECT
public:
    /** months: the names shown, January first; only the first twelve are offered. */
    MonthPickerView(const QDateTime &currentMonth, const QStringList &months, QWidget *parent = nullptr);

    static constexpr int panelWidth = 280;
    static constexpr int panelHeight = 260;

    /** The first instant of month index (0 = January) in currentMonth's year; invalid when there is none. */
    static QDateTime firstOfMonth(const QDateTime &currentMonth, int index);
    /**
     * The one size every name is shown at: the designed size, or the largest
     * smaller one at which the longest name fits a column.
     */
    static int namePixelSize(const QStringList &months);

    static constexpr int designedNamePixelSize = 13;
    static constexpr int columnSpacing = 8;

Q_SIGNALS:
    void monthSelected(const QDateTime &firstOfMonth);
    void dismissRequested();
};
