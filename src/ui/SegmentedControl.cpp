#include "SegmentedControl.h"

#include "Theme.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QToolButton>

namespace {

/** A segment draws only its label; the control draws the trough and the raised choice. */
class SegmentButton : public QToolButton
{
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (isDown())
            p.setOpacity(0.6);
        if (hasFocus()) {
            QColor ring = Theme::accent(palette());
            ring.setAlphaF(0.6);
            p.setPen(QPen(ring, 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 5, 5);
        }
        p.setFont(font());
        p.setPen(Theme::primary(palette()));
        p.drawText(rect(), Qt::AlignCenter, text());
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
            animateClick();
            return;
        }
        QToolButton::keyPressEvent(event);
    }
};

} // namespace

SegmentedControl::SegmentedControl(
    const QStringList &labels, const QString &objectNamePrefix, QWidget *parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
{
    m_group->setExclusive(true);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(0);
    for (int i = 0; i < labels.size(); ++i) {
        auto *button = new SegmentButton(this);
        button->setText(labels.at(i));
        button->setAccessibleName(labels.at(i));
        button->setObjectName(objectNamePrefix + QString::number(i));
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::TabFocus);
        button->setFont(Theme::font(11));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setFixedHeight(20);
        m_group->addButton(button, i);
        row->addWidget(button, 1);
    }
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) {
        if (id == m_current)
            return;
        m_current = id;
        update();
        Q_EMIT activated(id);
    });
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

int SegmentedControl::currentIndex() const
{
    return m_current;
}

void SegmentedControl::setCurrentIndex(int index)
{
    if (QAbstractButton *button = m_group->button(index)) {
        button->setChecked(true);
        m_current = index;
        update();
    }
}

QToolButton *SegmentedControl::segment(int index) const
{
    return static_cast<QToolButton *>(m_group->button(index));
}

int SegmentedControl::count() const
{
    return int(m_group->buttons().size());
}

QSize SegmentedControl::sizeHint() const
{
    int width = 0;
    for (QAbstractButton *button : m_group->buttons())
        width = qMax(width, button->fontMetrics().horizontalAdvance(button->text()) + 20);
    return QSize(width * count() + 4, 24);
}

void SegmentedControl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const bool dark = Theme::isDark(pal);
    QColor trough = Theme::primary(pal);
    trough.setAlphaF(dark ? 0.10 : 0.07);
    p.setPen(Qt::NoPen);
    p.setBrush(trough);
    p.drawRoundedRect(QRectF(rect()), 6, 6);

    QAbstractButton *chosen = m_group->button(m_current);
    for (int i = 1; i < count(); ++i) {
        // Separators only between two segments that are not raised.
        if (i == m_current || i - 1 == m_current)
            continue;
        const QRect r = m_group->button(i)->geometry();
        QColor line = Theme::primary(pal);
        line.setAlphaF(0.15);
        p.fillRect(QRectF(r.left() - 0.5, r.top() + 4, 1, r.height() - 8), line);
    }
    if (chosen) {
        const QRectF r = QRectF(chosen->geometry()).adjusted(0.5, 0.5, -0.5, -0.5);
        p.setBrush(QColor(0, 0, 0, dark ? 60 : 25));
        p.drawRoundedRect(r.translated(0, 0.5), 5, 5);
        p.setBrush(dark ? QColor(0x63, 0x63, 0x66) : QColor(Qt::white));
        p.drawRoundedRect(r, 5, 5);
    }
}
