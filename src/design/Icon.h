#pragma once

#include <QColor>
#include <QQuickPaintedItem>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <memory>

class QSvgRenderer;

namespace vl::design {

// A bundled icon asked for by symbol name and drawn in one colour:
//   Icon { name: "waveform"; color: Theme.lime; size: 13 }
// Painted on the CPU (SVG rendered, then tinted), so it looks the same under the
// software scene graph that tests and headless runs use. An unknown name draws nothing.
class Icon : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(qreal size READ size WRITE setSize NOTIFY sizeChanged)
    Q_PROPERTY(bool resolved READ resolved NOTIFY nameChanged)

public:
    explicit Icon(QQuickItem* parent = nullptr);
    ~Icon() override;

    QString name() const { return m_name; }
    void setName(const QString& name);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    qreal size() const { return m_size; }
    void setSize(qreal size);
    bool resolved() const;

    void paint(QPainter* painter) override;

signals:
    void nameChanged();
    void colorChanged();
    void sizeChanged();

private:
    QString m_name;
    QColor m_color;
    qreal m_size = 16;
    std::unique_ptr<QSvgRenderer> m_renderer;
};

} // namespace vl::design
