#pragma once

#include <QDateTime>
#include <QWidget>

class QScrollArea;

/**
 * The year chooser: the displayed year and fifty years either side in one
 * scrolling column, opened with the displayed year centred. It reports a
 * choice or a close request and changes nothing itself.
 */
class YearPickerView : public QWidget
{
    Q_OBJECT
public:
    explicit YearPickerView(const QDateTime &currentMonth, QWidget *parent = nullptr);

    static constexpr int panelWidth = 200;
    static constexpr int panelHeight = 300;
    static constexpr int yearsEachSide = 50;

    /** A year as the chooser shows it: the user's digits, never grouped. */
    static QString yearText(int year);
    int currentYear() const { return m_currentYear; }
    /** Scrolls, without animation, so that the displayed year sits in the middle of the list. */
    void centerOnCurrentYear();

Q_SIGNALS:
    void yearSelected(int year);
    void dismissRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    int m_currentYear;
    QScrollArea *m_list = nullptr;
    QWidget *m_currentRow = nullptr;
    bool m_centered = false;
};
