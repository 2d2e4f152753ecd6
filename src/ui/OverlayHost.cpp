#include "OverlayHost.h"

#include "Theme.h"

#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>

#include <vector>

namespace {

// Three box passes approximate a Gaussian closely enough for a shadow.
void boxBlurAlpha(QImage &image, int radius)
{
    const int w = image.width();
    const int h = image.height();
    std::vector<int> line(size_t(qMax(w, h)));
    auto pass = [&](bool horizontal) {
        const int outer = horizontal ? h : w;
        const int inner = horizontal ? w : h;
        for (int o = 0; o < outer; ++o) {
            auto at = [&](int i) -> uchar & {
                uchar *row = image.scanLine(horizontal ? o : i);
                return row[(horizontal ? i : o) * 4 + 3];
            };
            for (int i = 0; i < inner; ++i)
                line[size_t(i)] = at(i);
            int sum = 0;
            for (int i = -radius; i <= radius; ++i)
                sum += (i >= 0 && i < inner) ? line[size_t(i)] : 0;
            const int window = 2 * radius + 1;
            for (int i = 0; i < inner; ++i) {
                at(i) = uchar(sum / window);
                const int add = i + radius + 1;
                const int drop = i - radius;
                sum += (add < inner ? line[size_t(add)] : 0) - (drop >= 0 ? line[size_t(drop)] : 0);
            }
        }
    };
    for (int k = 0; k < 3; ++k) {
        pass(true);
        pass(false);
    }
}

} // namespace

OverlayHost::OverlayHost(QWidget *panel, QWidget *parent)
    : QWidget(parent)
    , m_panel(panel)
{
    setObjectName(QStringLiteral("overlayBackdrop"));
    setAccessibleName(tr("Close panel"));
    setAttribute(Qt::WA_NoMousePropagation);
    m_panel->setParent(this);
    m_panel->setAutoFillBackground(false);
    setGeometry(parent->rect());
    m_panel->move(panelRect().topLeft());
}

QRect OverlayHost::panelRect() const
{
    const QSize size = m_panel->size();
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void OverlayHost::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_panel->move(panelRect().topLeft());
}

void OverlayHost::animateOpacity(qreal from, qreal to)
{
    auto *effect = new QGraphicsOpacityEffect(this);
    effect->setOpacity(from);
    setGraphicsEffect(effect);
    if (m_animation)
        m_animation->stop();
    m_animation = new QPropertyAnimation(effect, "opacity", this);
    m_animation->setDuration(fadeMs);
    m_animation->setStartValue(from);
    m_animation->setEndValue(to);
    m_animation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_animation, &QPropertyAnimation::finished, this, [this, to] {
        if (to > 0.5)
            setGraphicsEffect(nullptr); // crisp text once the fade is over
        else
            deleteLater();
    });
    m_animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void OverlayHost::fadeIn()
{
    show();
    raise();
    animateOpacity(0.0, 1.0);
}

void OverlayHost::fadeOutAndDelete()
{
    if (m_closing)
        return;
    m_closing = true;
    // The closing panel is no longer the shown one for anyone looking it up by name.
    setObjectName(QString());
    m_panel->setObjectName(QString());
    qreal from = 1.0;
    if (auto *effect = qobject_cast<QGraphicsOpacityEffect *>(graphicsEffect()))
        from = effect->opacity();
    animateOpacity(from, 0.0);
}

const QImage &OverlayHost::shadowImage(const QSize &panelSize, qreal dpr)
{
    if (m_shadowFor == panelSize && !m_shadow.isNull() && qFuzzyCompare(m_shadow.devicePixelRatio(), dpr))
        return m_shadow;
    const int margin = shadowBlur * 3 / 2;
    const QSize logical = panelSize + QSize(2 * margin, 2 * margin);
    QImage image(logical * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, qRound(255 * shadowOpacity)));
        p.drawRoundedRect(QRectF(QPointF(margin, margin), QSizeF(panelSize)), cornerRadius, cornerRadius);
    }
    boxBlurAlpha(image, qMax(1, qRound(shadowBlur / 2.0 * dpr)));
    // The blur worked on alpha alone; keep the pixels a valid premultiplied black.
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = qRgba(0, 0, 0, qAlpha(row[x]));
    }
    m_shadow = image;
    m_shadowFor = panelSize;
    return m_shadow;
}

void OverlayHost::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0, 0, 0, qRound(255 * backdropOpacity)));
    const QRect panel = panelRect();
    const int margin = shadowBlur * 3 / 2;
    p.drawImage(panel.topLeft() - QPoint(margin, margin), shadowImage(panel.size(), devicePixelRatioF()));
    p.setRenderHint(QPainter::Antialiasing);
    QColor material = palette().color(QPalette::Window);
    material.setAlphaF(materialOpacity);
    p.setPen(QPen(palette().color(QPalette::Mid), 1));
    p.setBrush(material);
    p.drawRoundedRect(QRectF(panel).adjusted(-0.5, -0.5, 0.5, 0.5), cornerRadius, cornerRadius);
}

void OverlayHost::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    m_pressOnBackdrop
        = event->button() == Qt::LeftButton && !panelRect().contains(event->position().toPoint());
}

void OverlayHost::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    const bool click = m_pressOnBackdrop && event->button() == Qt::LeftButton
        && !panelRect().contains(event->position().toPoint());
    m_pressOnBackdrop = false;
    if (click && !m_closing)
        Q_EMIT backdropClicked();
}

void OverlayHost::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
}

void OverlayHost::wheelEvent(QWheelEvent *event)
{
    event->accept();
}
