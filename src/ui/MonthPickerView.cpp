#include "MonthPickerView.h"

#include "ChoiceButton.h"
#include "Divider.h"
#include "PanelHeader.h"
#include "Theme.h"

#include <algorithm>

#include <QGridLayout>
#include <QVBoxLayout>

MonthPickerView::MonthPickerView(const QDateTime &currentMonth, const QStringList &months, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("monthPickerView"));
    setAccessibleName(tr("Select Month"));
    setFixedSize(panelWidth, panelHeight);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // Content that is shorter than the fixed panel sits in its middle.
    column->addStretch(1);
    auto *header = new PanelHeader(tr("Select Month"), 15, QStringLiteral("monthPicker"), this);
    connect(header, &PanelHeader::closeClicked, this, &MonthPickerView::dismissRequested);
    column->addWidget(header);
    column->addWidget(new Divider(this));

    auto *grid = new QGridLayout;
    const int pad = PanelHeader::defaultPadding;
    grid->setContentsMargins(pad, pad, pad, pad);
    grid->setHorizontalSpacing(columnSpacing);
    grid->setVerticalSpacing(columnSpacing);
    const int highlighted = currentMonth.isValid() ? currentMonth.date().month() - 1 : -1;
    QStringList names;
    for (int i = 0; i < 12; ++i)
        names.append(i < months.size() ? months.at(i) : QString::number(i + 1));
    const int nameSize = namePixelSize(names);
    for (int i = 0; i < 12; ++i) {
        const QString &name = names.at(i);
        auto *button = new ChoiceButton(name, nameSize, 10, i == highlighted, this);
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

int MonthPickerView::namePixelSize(const QStringList &months)
{
    const int pad = PanelHeader::defaultPadding;
    const int column = (panelWidth - 2 * pad - 2 * columnSpacing) / 3;
    const int room = column - ChoiceButton::horizontalPadding;
    // Measured in bold, the weight of the highlighted month, so the highlight never needs its own size.
    int size = designedNamePixelSize;
    for (; size > ChoiceButton::smallestPixelSize; --size) {
        const QFontMetrics metrics(Theme::font(size, QFont::Bold));
        const bool fits = std::all_of(months.cbegin(), months.cend(),
            [&](const QString &name) { return metrics.horizontalAdvance(name) <= room; });
        if (fits)
            break;
    }
    return size;
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
