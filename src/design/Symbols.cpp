#include "design/Symbols.h"

#include <algorithm>
#include <array>

namespace vl::design {

namespace {

// Symbol name → Bootstrap icon file (resources/icons/<icon>.svg). Sorted by symbol so
// lookups can bisect; the test checks the order and that every file is there.
constexpr auto kSymbols = std::to_array<SymbolMapping>({
    {"app.badge", "app-indicator"},
    {"arrow.clockwise", "arrow-clockwise"},
    {"arrow.down.app", "download"},
    {"arrow.down.circle", "arrow-down-circle"},
    {"arrow.right", "arrow-right"},
    {"arrow.up.left.and.arrow.down.right.magnifyingglass", "arrows-angle-expand"},
    {"arrow.up.right.square", "box-arrow-up-right"},
    {"arrow.uturn.backward", "arrow-90deg-left"},
    {"arrow.uturn.forward", "arrow-90deg-right"},
    {"bolt.shield", "lightning-charge"},
    {"checklist", "list-check"},
    {"checkmark.circle.fill", "check-circle-fill"},
    {"checkmark.seal", "patch-check"},
    {"checkmark.seal.fill", "patch-check-fill"},
    {"checkmark.shield", "shield-check"},
    {"checkmark.shield.fill", "shield-fill-check"},
    {"checkmark.square.fill", "check-square-fill"},
    {"circle", "circle"},
    {"clock", "clock"},
    {"cpu", "cpu"},
    {"creditcard", "credit-card"},
    {"cube", "box"},
    {"cube.transparent", "badge-3d"},
    {"doc.text", "file-text"},
    {"exclamationmark.triangle.fill", "exclamation-triangle-fill"},
    {"folder", "folder"},
    {"gearshape", "gear"},
    {"icloud.slash", "cloud-slash"},
    {"infinity", "infinity"},
    {"info.circle.fill", "info-circle-fill"},
    {"key.fill", "key-fill"},
    {"largecircle.fill.circle", "record-circle"},
    {"lock.fill", "lock-fill"},
    {"lock.shield", "shield-lock"},
    {"macwindow", "window"},
    {"map", "map"},
    {"minus.circle", "dash-circle"},
    {"paintpalette", "palette"},
    {"paperplane.fill", "send-fill"},
    {"person.crop.circle", "person-circle"},
    {"person.crop.circle.badge.checkmark", "person-check"},
    {"person.crop.rectangle.stack", "person-badge"},
    {"person.fill", "person-fill"},
    {"person.text.rectangle", "person-vcard"},
    {"photo.on.rectangle.angled", "images"},
    {"photo.stack", "layers"},
    {"play.circle.fill", "play-circle-fill"},
    {"play.rectangle", "play-btn"},
    {"rectangle.grid.1x2", "view-stacked"},
    {"safari", "compass"},
    {"sparkles", "stars"},
    {"square", "square"},
    {"square.and.arrow.down", "box-arrow-in-down"},
    {"square.and.arrow.down.on.square", "box-arrow-in-down"},
    {"square.and.arrow.up", "box-arrow-up"},
    {"square.and.arrow.up.fill", "box-arrow-up"},
    {"text.cursor", "input-cursor-text"},
    {"textformat", "fonts"},
    {"trash", "trash"},
    {"trash.slash", "trash3"},
    {"wand.and.rays", "magic"},
    {"wand.and.stars", "magic"},
    {"waveform", "soundwave"},
    {"waveform.badge.magnifyingglass", "search"},
    {"waveform.badge.plus", "file-earmark-music"},
    {"xmark", "x-lg"},
    {"xmark.circle.fill", "x-circle-fill"},
});

} // namespace

std::span<const SymbolMapping> symbolTable() { return kSymbols; }

std::optional<std::string_view> iconForSymbol(std::string_view symbol) {
    const auto it = std::lower_bound(kSymbols.begin(), kSymbols.end(), symbol,
                                     [](const SymbolMapping& m, std::string_view s) { return m.symbol < s; });
    if (it == kSymbols.end() || it->symbol != symbol) {
        return std::nullopt;
    }
    return it->icon;
}

QString iconResourceForSymbol(const QString& symbol) {
    const QByteArray utf8 = symbol.toUtf8();
    const auto icon = iconForSymbol(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
    if (!icon) {
        return {};
    }
    return QStringLiteral(":/verseloom/icons/") + QString::fromUtf8(icon->data(), static_cast<qsizetype>(icon->size())) +
           QStringLiteral(".svg");
}

} // namespace vl::design
