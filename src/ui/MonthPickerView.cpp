#include "MonthPickerView.h"

#include "ChoiceButton.h"
#include "Divider.h"
#include "PanelHeader.h"

#include <QGridLayout>
#include <QVBoxLayout>

MonthPickerView::MonthPickerView(const QDateTime &currentMonth, const QStringList &months, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("monthPickerView"));
    setAccessibleName(QStringLiteral("Select Month"));
    setFixedSize(panelWidth, panelHeight);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // Content that is shorter than the fixed panel sits in its middle.
    column->addStretch(1);
    auto *header = new PanelHeader(QStringLiteral("Select Month"), 15, QStringLiteral("monthPicker"), this);
    connect(header, &PanelHeader::closeClicked, this, &MonthPickerView::dismissRequested);
    column->addWidget(header);
    column->addWidget(new Divider(this));

    auto *grid = new QGridLayout;
    const int pad = PanelHeader::defaultPadding;
    grid->setContentsMargins(pad, pad, pad, pad);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    const int highlighted = currentMonth.isValid() ? currentMonth.date().month() - 1 : -1;
    for (int i = 0; i < 12; ++i) {
        const QString name = i < months.size() ? months.at(i) : QString::number(i + 1);
        auto *button = new ChoiceButton(name, 13, 10, i == highlighted, this);
        button->setObjectName(QStringLiteral("monthChoice_%1").arg(i));
        grid->addWidget(button, i / 3, i % 3);
        connect(button, &ChoiceButton::clicked, this, [this, currentMonth, i] {
            const QDateTime chosen = firstOfMonth(currentMonth, i);
            if (chosen.isValid())
                Q_EMIT monthSelected(chosen);
        });
    }
    for (int c = 0; c < 3; ++c)
        grid->setColumnStretch(c, 1);
    column->addLayout(grid);
    column->addStretch(1);
}

QDateTime MonthPickerView::firstOfMonth(const QDateTime &currentMonth, int index)
{
    if (!currentMonth.isValid() || index < 0 || index > 11)
        return {};
    const QDate day(currentMonth.date().year(), index + 1, 1);
    // startOfDay, not midnight: in zones whose clocks jump at midnight the
    // day starts later, and a plain midnight time would not exist.
    return day.startOfDay();
}
