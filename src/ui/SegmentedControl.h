#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QToolButton;

/**
 * A row of mutually exclusive segments drawn as one control: a rounded
 * trough with the chosen segment raised in it. Each segment is a checkable
 * tool button, so focus, Space and accessibility come from Qt.
 */
class SegmentedControl : public QWidget
{
    Q_OBJECT
public:
    /** objectNamePrefix + index names each segment, e.g. "appearanceSegment_2". */
    SegmentedControl(const QStringList &labels, const QString &objectNamePrefix, QWidget *parent = nullptr);

    int currentIndex() const;
    /** Shows index as chosen without announcing it. */
    void setCurrentIndex(int index);
    QToolButton *segment(int index) const;
    int count() const;

    QSize sizeHint() const override;

Q_SIGNALS:
    /** The user chose a segment other than the one shown. */
    void activated(int index);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QButtonGroup *m_group;
    int m_current = -1;
};
