#pragma once

#include <QString>

#include <optional>
#include <span>
#include <string_view>

namespace vl::design {

// Screens name icons by their symbol names ("waveform", "square.and.arrow.up"); each
// name stands for one bundled SVG icon.
struct SymbolMapping {
    std::string_view symbol;
    std::string_view icon; // file name under resources/icons, without ".svg"
};

std::span<const SymbolMapping> symbolTable();

// The icon file name for a symbol, or nothing for a name the table lacks.
std::optional<std::string_view> iconForSymbol(std::string_view symbol);

// ":/verseloom/icons/<icon>.svg", or an empty string for an unknown symbol.
QString iconResourceForSymbol(const QString& symbol);

} // namespace vl::design
