#include "design/Icon.h"

#include "design/Palette.h"
#include "design/Symbols.h"
#include "model/Log.h"

#include <QImage>
#include <QPainter>
#include <QQuickWindow>
#include <QSvgRenderer>

#include <cmath>

namespace vl::design {

Icon::Icon(QQuickItem* parent) : QQuickPaintedItem(parent), m_color(Palette::cream()) {
    setImplicitSize(m_size, m_size);
    setAntialiasing(true);
}

Icon::~Icon() = default;

void Icon::setName(const QString& name) {
    if (name == m_name) {
        return;
    }
    m_name = name;
    m_renderer.reset();
    const QString path = iconResourceForSymbol(name);
    if (!path.isEmpty()) {
        m_renderer = std::make_unique<QSvgRenderer>(path);
    }
    if (!name.isEmpty() && !resolved()) {
        // A missing icon is a programming slip, not a user problem: say so once per use.
        logLine("Design", "no icon for the symbol \"" + name.toStdString() + "\"");
    }
    emit nameChanged();
    update();
}

void Icon::setColor(const QColor& color) {
    if (color == m_color) {
        return;
    }
    m_color = color;
    emit colorChanged();
    update();
}

void Icon::setSize(qreal size) {
    if (qFuzzyCompare(size, m_size)) {
        return;
    }
    m_size = size;
    setImplicitSize(size, size);
    emit sizeChanged();
    update();
}

bool Icon::resolved() const { return m_renderer && m_renderer->isValid(); }

void Icon::paint(QPainter* painter) {
    if (!resolved() || width() <= 0 || height() <= 0) {
        return;
    }
    // Square glyph box, centred; the icons are drawn on a square canvas.
    const qreal side = std::min(width(), height());
    const QRectF box((width() - side) / 2, (height() - side) / 2, side, side);
    const qreal dpr = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const int pixels = std::max(1, static_cast<int>(std::ceil(side * dpr)));

    QImage glyph(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    glyph.fill(Qt::transparent);
    {
        QPainter p(&glyph);
        p.setRenderHint(QPainter::Antialiasing);
        m_renderer->render(&p, QRectF(0, 0, pixels, pixels));
        // Keep the glyph's coverage, replace its colour.
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(glyph.rect(), m_color);
    }
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(box, glyph);
}

} // namespace vl::design
