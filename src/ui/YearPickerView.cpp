#include "YearPickerView.h"

#include "ChoiceButton.h"
#include "Divider.h"
#include "OverlayHost.h"
#include "OverlayScrollBar.h"
#include "PanelHeader.h"

#include <QLocale>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

YearPickerView::YearPickerView(const QDateTime &currentMonth, QWidget *parent)
    : QWidget(parent)
    , m_currentYear(currentMonth.isValid() ? currentMonth.date().year() : 0)
{
    setObjectName(QStringLiteral("yearPickerView"));
    setAccessibleName(tr("Select Year"));
    setFixedSize(panelWidth, panelHeight);

    auto *column = new QVBoxLayout(this);
    // Room at the bottom keeps the last year and the scroll indicator clear of the panel's rounded corners.
    column->setContentsMargins(0, 0, 0, OverlayHost::cornerRadius / 2);
    column->setSpacing(0);
    auto *header = new PanelHeader(tr("Select Year"), 15, QStringLiteral("yearPicker"), this);
    connect(header, &PanelHeader::closeClicked, this, &YearPickerView::dismissRequested);
    column->addWidget(header);
    column->addWidget(new Divider(this));

    m_list = new QScrollArea(this);
    m_list->setObjectName(QStringLiteral("yearList"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setWidgetResizable(true);
    m_list->viewport()->setAutoFillBackground(false);
    auto *content = new QWidget;
    auto *rows = new QVBoxLayout(content);
    const int pad = PanelHeader::defaultPadding;
    rows->setContentsMargins(pad, 0, pad, 0);
    rows->setSpacing(0);
    for (int year = m_currentYear - yearsEachSide; year <= m_currentYear + yearsEachSide; ++year) {
        auto *button = new ChoiceButton(yearText(year), 14, 8, year == m_currentYear, content);
        button->setObjectName(QStringLiteral("yearChoice_%1").arg(year));
        rows->addWidget(button);
        if (year == m_currentYear)
            m_currentRow = button;
        connect(button, &ChoiceButton::clicked, this, [this, year] { Q_EMIT yearSelected(year); });
    }
    m_list->setWidget(content);
    // setWidget turns the background on; the panel's own surface shows through instead.
    content->setAutoFillBackground(false);
    new OverlayScrollBar(m_list);
    column->addWidget(m_list, 1);
}

QString YearPickerView::yearText(int year)
{
    static const QLocale formatter = [] {
        QLocale locale;
        locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
        return locale;
    }();
    const QString text = formatter.toString(year);
    return text.isEmpty() ? QString::number(year) : text;
}

void YearPickerView::centerOnCurrentYear()
{
    if (!m_currentRow)
        return;
    layout()->activate();
    m_list->widget()->layout()->activate();
    m_list->widget()->resize(m_list->viewport()->width(), m_list->widget()->sizeHint().height());
    QScrollBar *bar = m_list->verticalScrollBar();
    const int rowCentre = m_currentRow->geometry().center().y();
    bar->setValue(rowCentre - m_list->viewport()->height() / 2);
}

void YearPickerView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Each opening builds a new chooser, so centring on the first show is
    // centring on every opening, while a later re-show keeps the user's scroll.
    if (!m_centered) {
        m_centered = true;
        centerOnCurrentYear();
    }
}
