#include "PanelHeader.h"

#include "PlainButton.h"
#include "ThemedLabel.h"

#include <QHBoxLayout>

PanelHeader::PanelHeader(
    const QString &title, qreal closeGlyphPixelSize, const QString &objectNamePrefix, QWidget *parent)
    : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(defaultPadding, defaultPadding, defaultPadding, defaultPadding);
    row->setSpacing(8);
    m_title = new ThemedLabel(title, 13, QFont::DemiBold, Theme::Tone::primary, this);
    m_title->setObjectName(objectNamePrefix + QStringLiteral("Title"));
    row->addWidget(m_title, 0, Qt::AlignVCenter);
    row->addStretch(1);
    m_close = new PlainButton(this);
    m_close->setObjectName(objectNamePrefix + QStringLiteral("CloseButton"));
    m_close->setGlyph(Glyphs::Glyph::closeCircle, closeGlyphPixelSize, Theme::Tone::secondary, 0);
    m_close->setAccessibleName(tr("Close"));
    m_close->setFixedBoxHeight(QFontMetrics(Theme::font(closeGlyphPixelSize)).height());
    row->addWidget(m_close, 0, Qt::AlignVCenter);
    connect(m_close, &PlainButton::clicked, this, &PanelHeader::closeClicked);
}
