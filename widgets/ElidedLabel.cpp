#include "widgets/ElidedLabel.h"

#include <QPainter>

#include <algorithm>

namespace tqx {

namespace {

// What is left of a label that has given way as far as it goes.
constexpr int shortestShownCharacters = 8;

} // namespace

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

QString ElidedLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

QSize ElidedLabel::minimumSizeHint() const
{
    QSize size = QLabel::minimumSizeHint();
    const QString shortest = text().left(shortestShownCharacters) + QChar(0x2026);
    const QMargins margins = contentsMargins();
    size.setWidth(
            std::min(size.width(),
                     fontMetrics().horizontalAdvance(shortest) + margins.left() + margins.right()));
    return size;
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), int(alignment()) | Qt::TextSingleLine, shownText());
    updateToolTip();
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateToolTip();
}

void ElidedLabel::updateToolTip()
{
    const QString tip = shownText() == text() ? QString() : text();
    if (toolTip() != tip)
        setToolTip(tip);
}

} // namespace tqx
