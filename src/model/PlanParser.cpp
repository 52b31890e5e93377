#include "model/PlanParser.h"

#include "model/PipelineError.h"
#include "model/Text.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace vl::PlanParser {

using json::Json;

namespace {

const Json* member(const Json& object, std::string_view key)
{
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::optional<std::string> textValue(const Json* value)
{
    if (value && value->is_string())
        return value->get<std::string>();
    return std::nullopt;
}

std::string textOr(const Json& object, std::string_view key)
{
    return textValue(member(object, key)).value_or("");
}

// Booleans count as 1 and 0 wherever a number is read.
std::optional<double> numberValue(const Json* value)
{
    if (!value)
        return std::nullopt;
    if (value->is_boolean())
        return value->get<bool>() ? 1.0 : 0.0;
    if (!value->is_number())
        return std::nullopt;
    const double d = value->get<double>();
    if (!std::isfinite(d))
        return std::nullopt;
    return d;
}

// A number cut toward zero; nothing when it has no 64-bit integer value.
std::optional<std::int64_t> integerValue(const Json* value)
{
    if (!value)
        return std::nullopt;
    if (value->is_boolean())
        return value->get<bool>() ? 1 : 0;
    if (value->is_number_unsigned()) {
        const auto u = value->get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    if (value->is_number_integer())
        return value->get<std::int64_t>();
    if (value->is_number_float()) {
        const double d = std::trunc(value->get<double>());
        // -2^63 is exact as a double; 2^63 is the first value out of range.
        if (std::isfinite(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
            return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

bool isArrayOfObjects(const Json* value)
{
    if (!value || !value->is_array())
        return false;
    for (const Json& item : *value)
        if (!item.is_object()) return false;
    return true;
}

std::optional<std::vector<std::string>> textList(const Json* value)
{
    if (!value || !value->is_array())
        return std::nullopt;
    std::vector<std::string> out;
    out.reserve(value->size());
    for (const Json& item : *value) {
        if (!item.is_string()) return std::nullopt;
        out.push_back(item.get<std::string>());
    }
    return out;
}

std::optional<Json> searchContainer(const Json& value, std::string_view key, int depth)
{
    if (depth > kMaxSearchDepth)
        return std::nullopt;
    if (value.is_object()) {
        if (value.contains(key))
            return value;
        for (const Json& child : value)
            if (auto found = searchContainer(child, key, depth + 1)) return found;
        return std::nullopt;
    }
    if (value.is_array()) {
        for (const Json& child : value)
            if (auto found = searchContainer(child, key, depth + 1)) return found;
        return std::nullopt;
    }
    if (value.is_string()) {
        if (auto inner = jsonObject(value.get_ref<const std::string&>()))
            return searchContainer(*inner, key, depth + 1);
    }
    return std::nullopt;
}

constexpr std::string_view kStyleDirectorKeys[] = {"style_director_json", "styleDirectorJson", "styleDirector"};

std::optional<std::string> findPreset(const Json& value, int depth)
{
    if (depth > kMaxSearchDepth)
        return std::nullopt;
    if (value.is_object()) {
        if (auto preset = textValue(member(value, "ideogramStylePreset"))) {
            std::string trimmed = text::trimWhitespaceAndNewlines(*preset);
            if (allowedStylePresets().count(trimmed) != 0)
                return trimmed;
        }
        for (std::string_view key : kStyleDirectorKeys)
            if (const Json* child = member(value, key))
                if (auto found = findPreset(*child, depth + 1)) return found;
        const Json* results = member(value, "results");
        const bool resultsIsText = results && results->is_string();
        if (resultsIsText)
            if (auto found = findPreset(*results, depth + 1)) return found;
        // The branches above were searched already and found nothing; searching them
        // again would double the work at every level of a nested answer.
        for (auto it = value.begin(); it != value.end(); ++it) {
            const std::string& key = it.key();
            bool searched = resultsIsText && key == "results";
            for (std::string_view k : kStyleDirectorKeys) searched = searched || key == k;
            if (searched)
                continue;
            if (auto found = findPreset(it.value(), depth + 1)) return found;
        }
        return std::nullopt;
    }
    if (value.is_array()) {
        for (const Json& child : value)
            if (auto found = findPreset(child, depth + 1)) return found;
        return std::nullopt;
    }
    if (value.is_string()) {
        if (auto inner = jsonObject(value.get_ref<const std::string&>()))
            return findPreset(*inner, depth + 1);
    }
    return std::nullopt;
}

std::vector<std::string> readPalette(const Json* value)
{
    if (auto list = textList(value))
        return *list;
    std::vector<std::string> out;
    if (!value || !value->is_string())
        return out;
    const std::string& whole = value->get_ref<const std::string&>();
    std::size_t begin = 0;
    while (begin <= whole.size()) {
        std::size_t end = whole.find(',', begin);
        if (end == std::string::npos) end = whole.size();
        std::string piece = text::trimSpacesAndTabs(std::string_view(whole).substr(begin, end - begin));
        if (!piece.empty()) out.push_back(std::move(piece));
        begin = end + 1;
    }
    return out;
}

std::vector<std::string> colorCodes(const Json& value, bool allowText)
{
    std::vector<std::string> taken;
    if (value.is_array()) {
        for (const Json& item : value)
            if (item.is_string()) taken.push_back(item.get<std::string>());
    } else if (value.is_object()) {
        // The object keeps its keys sorted, which is the order wanted here.
        for (const Json& item : value)
            if (item.is_string()) taken.push_back(item.get<std::string>());
    } else if (value.is_string() && allowText) {
        try {
            const Json inner = json::parse(value.get_ref<const std::string&>());
            if (inner.is_object() || inner.is_array())
                return colorCodes(inner, false);
        } catch (const json::DecodeError&) {
        }
        return {};
    }
    std::vector<std::string> out;
    for (const auto& code : taken) {
        std::string trimmed = text::trimSpacesAndTabs(code);
        const std::size_t length = text::characterCount(trimmed);
        if (!trimmed.empty() && trimmed.front() == '#' && (length == 7 || length == 4))
            out.push_back(std::move(trimmed));
    }
    return out;
}

std::vector<PlanElement> readElements(const Json& elementList)
{
    std::vector<PlanElement> out;
    for (const Json& object : elementList) {
        auto id = textValue(member(object, "id"));
        if (!id || id->empty())
            continue;
        PlanElement element;
        element.id = std::move(*id);
        element.type = textOr(object, "type");
        element.continuityDescription = textOr(object, "continuityDescription");
        element.textToImagePrompt = textOr(object, "textToImagePrompt");
        out.push_back(std::move(element));
    }
    return out;
}

std::optional<std::int64_t> positiveInteger(const Json* value)
{
    auto n = integerValue(value);
    if (n && *n >= 1)
        return n;
    return std::nullopt;
}

StoryboardChunk readChunk(const Json& object, std::size_t position)
{
    StoryboardChunk chunk;
    // Numbers count from 1; zero or below would give an index before the first chunk.
    auto number = positiveInteger(member(object, "chunkNumber"));
    if (!number) number = positiveInteger(member(object, "frameNumber"));
    chunk.chunkNumber = number.value_or(static_cast<std::int64_t>(position) + 1);
    chunk.index = chunk.chunkNumber - 1;
    chunk.start = numberValue(member(object, "startTime")).value_or(0);
    chunk.end = numberValue(member(object, "endTime")).value_or(chunk.start);
    if (!(chunk.end > chunk.start))
        chunk.end = chunk.start;
    chunk.elementIdsUsed = textList(member(object, "elementIdsUsed")).value_or(std::vector<std::string>{});
    const Json* inFrame = member(object, "primaryCharacterInFrame");
    chunk.primaryCharacterInFrame =
        inFrame && inFrame->is_boolean() ? inFrame->get<bool>() : chunk.elementIdsUsed.empty();
    chunk.lyricExcerpt = textOr(object, "lyricExcerpt");
    chunk.renderedText = textOr(object, "renderedText");
    chunk.imagePrompt = textOr(object, "imagePrompt");
    chunk.videoPrompt = textOr(object, "videoPrompt");
    return chunk;
}

bool deeperThan(const Json& value, int limit)
{
    if (limit < 0)
        return true;
    if (value.is_object() || value.is_array())
        for (const Json& child : value)
            if (deeperThan(child, limit - 1)) return true;
    return false;
}

} // namespace

std::optional<Json> jsonObject(std::string_view text)
{
    const auto first = text.find('{');
    const auto last = text.rfind('}');
    if (first == std::string_view::npos || last == std::string_view::npos || last < first)
        return std::nullopt;
    try {
        Json value = json::parse(text.substr(first, last - first + 1));
        if (!value.is_object())
            return std::nullopt;
        return value;
    } catch (const json::DecodeError&) {
        return std::nullopt;
    }
}

std::optional<Json> findContainer(const Json& value, std::string_view key)
{
    return searchContainer(value, key, 0);
}

const std::set<std::string, std::less<>>& allowedStylePresets()
{
    static const std::set<std::string, std::less<>> presets{
        "80S_ILLUSTRATION", "90S_NOSTALGIA", "ABSTRACT_ORGANIC", "ANALOG_NOSTALGIA", "ART_BRUT",
        "ART_DECO", "ART_POSTER", "AURA", "AVANT_GARDE", "BAUHAUS", "BLUEPRINT", "BLURRY_MOTION",
        "BRIGHT_ART", "C4D_CARTOON", "CHILDRENS_BOOK", "COLLAGE", "COLORING_BOOK_I", "COLORING_BOOK_II",
        "CUBISM", "DARK_AURA", "DOODLE", "DOUBLE_EXPOSURE", "DRAMATIC_CINEMA", "EDITORIAL",
        "EMOTIONAL_MINIMAL", "ETHEREAL_PARTY", "EXPIRED_FILM", "FLAT_ART", "FLAT_VECTOR",
        "FOREST_REVERIE", "GEO_MINIMALIST", "GLASS_PRISM", "GOLDEN_HOUR", "GRAFFITI_I", "GRAFFITI_II",
        "HALFTONE_PRINT", "HIGH_CONTRAST", "HIPPIE_ERA", "ICONIC", "JAPANDI_FUSION", "JAZZY",
        "LONG_EXPOSURE", "MAGAZINE_EDITORIAL", "MINIMAL_ILLUSTRATION", "MIXED_MEDIA", "MONOCHROME",
        "NIGHTLIFE", "OIL_PAINTING", "OLD_CARTOONS", "PAINT_GESTURE", "POP_ART", "RETRO_ETCHING",
        "RIVIERA_POP", "SPOTLIGHT_80S", "STYLIZED_RED", "SURREAL_COLLAGE", "TRAVEL_POSTER",
        "VINTAGE_GEO", "VINTAGE_POSTER", "WATERCOLOR", "WEIRD", "WOODBLOCK_PRINT",
    };
    return presets;
}

std::optional<std::string> findStylePreset(const Json& value)
{
    return findPreset(value, 0);
}

Parsed parse(const Json& top)
{
    std::optional<Json> container = findContainer(top, "frames");
    if (!container)
        container = findContainer(top, "chunks");
    if (!container)
        throw PipelineError(PipelineError::noChunks);

    const Json* chunkList = nullptr;
    if (const Json* frames = member(*container, "frames"); isArrayOfObjects(frames))
        chunkList = frames;
    else if (const Json* chunks = member(*container, "chunks"); isArrayOfObjects(chunks))
        chunkList = chunks;
    if (!chunkList || chunkList->empty())
        throw PipelineError(PipelineError::noChunks);

    Parsed result;
    StoryboardPlan& plan = result.plan;
    plan.artDirectionStatement = textOr(*container, "artDirectionStatement");
    plan.ideogramStylePreset = findStylePreset(top).value_or("");
    plan.palette = readPalette(member(*container, "palette"));
    plan.motif = textOr(*container, "motif");
    plan.storyline = textOr(*container, "storyline");
    plan.emotionalArc = textOr(*container, "emotionalArc");
    plan.visualAnchor = textOr(*container, "visualAnchor");

    std::optional<Json> schemeHolder = findContainer(top, "colorScheme");
    std::string_view schemeKey = "colorScheme";
    if (!schemeHolder) {
        schemeHolder = findContainer(top, "color_scheme");
        schemeKey = "color_scheme";
    }
    if (schemeHolder)
        plan.colorScheme = colorCodes(*member(*schemeHolder, schemeKey), true);

    if (const Json* elements = member(*container, "elementIds"); isArrayOfObjects(elements)) {
        plan.elements = readElements(*elements);
    } else if (auto holder = findContainer(top, "elementIds")) {
        if (const Json* found = member(*holder, "elementIds"); isArrayOfObjects(found))
            plan.elements = readElements(*found);
    }

    // A document built in memory may nest deeper than the writer's recursion should go.
    plan.rawJSON = deeperThan(*container, kMaxSearchDepth) ? "" : json::dump(*container);

    result.chunks.reserve(chunkList->size());
    for (std::size_t i = 0; i < chunkList->size(); ++i)
        result.chunks.push_back(readChunk((*chunkList)[i], i));
    return result;
}

} // namespace vl::PlanParser
