#include "design/HexColor.h"

#include "design/Palette.h"
#include "model/Text.h"

#include <QString>
#include <QTextBoundaryFinder>

#include <optional>

namespace vl::design {

namespace {

// User-perceived characters, so "e" plus a combining accent counts once.
qsizetype graphemeCount(const QString& s) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

// An unsigned 32-bit integer in base 16 with one optional leading sign: "+" is
// ignored, "-" is only good for zero (a negative value does not fit).
std::optional<quint32> readUInt32Hex(const QString& s) {
    qsizetype i = 0;
    bool negative = false;
    if (!s.isEmpty() && (s[0] == u'+' || s[0] == u'-')) {
        negative = s[0] == u'-';
        i = 1;
    }
    if (i == s.size()) {
        return std::nullopt;
    }
    quint64 value = 0;
    for (; i < s.size(); ++i) {
        const int d = hexDigit(s[i]);
        if (d < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<quint64>(d);
        if (value > 0xFFFFFFFFull) {
            return std::nullopt;
        }
    }
    if (negative && value != 0) {
        return std::nullopt;
    }
    return static_cast<quint32>(value);
}

} // namespace

QColor colorFromHex(QStringView text) {
    const std::string utf8 = text.toString().toStdString();
    QString s = QString::fromStdString(text::trimSpaceSeparatorsAndTab(utf8));
    s.remove(u'#');
    if (graphemeCount(s) != 6) {
        return Palette::muted();
    }
    const auto value = readUInt32Hex(s);
    if (!value) {
        return Palette::muted();
    }
    return QColor(static_cast<int>((*value >> 16) & 0xFF), static_cast<int>((*value >> 8) & 0xFF),
                  static_cast<int>(*value & 0xFF));
}

} // namespace vl::design
