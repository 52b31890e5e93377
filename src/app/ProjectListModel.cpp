#include "app/ProjectListModel.h"

#include "design/Intent.h"
#include "screens/frames/FrameContent.h"
#include "screens/PictureProvider.h"

#include <QHash>
#include <algorithm>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <cmath>

namespace vl::app {

namespace {

QString idText(const Uuid& id)
{
    return QString::fromStdString(id.text());
}

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

QVariant optionalText(const std::optional<std::string>& s)
{
    return s ? QVariant(QString::fromStdString(*s)) : QVariant(QString());
}

QStringList textList(const std::vector<std::string>& items)
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(items.size()));
    for (const auto& item : items)
        list << QString::fromStdString(item);
    return list;
}

// Field values typed by the user arrive as strings, numbers from spin boxes as
// doubles. A number that is not finite would make the project unsaveable, so it is refused.
std::optional<double> finiteNumber(const QVariant& value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    return number;
}

std::optional<std::string> plainText(const QVariant& value)
{
    if (!value.canConvert<QString>())
        return std::nullopt;
    return value.toString().toStdString();
}

struct CharacterStatus {
    QString text;
    design::Intent::Value intent;
};

// The first that holds: processing, processed, a reference, nothing yet.
CharacterStatus characterStatus(const CharacterReference& c, bool isProcessing)
{
    using design::Intent::Value;
    if (isProcessing)
        return {QStringLiteral("Processing\u2026"), Value::Pending};
    if (c.processedImageURL)
        return {QStringLiteral("Character ready"), Value::Good};
    if (!c.referenceImagePaths.empty())
        return {QStringLiteral("Reference added"), Value::Neutral};
    return {QStringLiteral("No reference image"), Value::Warn};
}

bool hasDuplicates(const std::vector<ProjectListModel::Row>& rows)
{
    QSet<QString> seen;
    for (const auto& row : rows) {
        if (seen.contains(row.id))
            return true;
        seen.insert(row.id);
    }
    return false;
}

} // namespace

// ---- ProjectListModel ---------------------------------------------------------------

ProjectListModel::ProjectListModel(ProjectStore* store, QList<QByteArray> fields, QObject* parent)
    : QAbstractListModel(parent), store_(store), fields_(std::move(fields))
{
    connect(store, &ProjectStore::projectChanged, this, &ProjectListModel::sync);
}

int ProjectListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant ProjectListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= count())
        return {};
    const int field = role - (Qt::UserRole + 1);
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    if (field < 0 || field >= row.values.size())
        return {};
    return row.values[field];
}

bool ProjectListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!store_ || !index.isValid() || index.row() < 0 || index.row() >= count())
        return false;
    const int field = role - (Qt::UserRole + 1);
    if (field < 0 || field >= fields_.size())
        return false;
    const QString id = rows_[static_cast<std::size_t>(index.row())].id;

    // Edit a copy so a refused value leaves the project (and its autosave) untouched,
    // and writing back the value already there changes nothing.
    const Project& current = store_->project();
    Project edited = current;
    if (!write(edited, id, field, value))
        return false;
    if (!(edited == current))
        store_->setProject(std::move(edited)); // its projectChanged reaches sync()
    return true;
}

Qt::ItemFlags ProjectListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

QHash<int, QByteArray> ProjectListModel::roleNames() const
{
    QHash<int, QByteArray> names;
    for (int i = 0; i < fields_.size(); ++i)
        names.insert(Qt::UserRole + 1 + i, fields_[i]);
    return names;
}

int ProjectListModel::roleOf(const QByteArray& name) const
{
    const int i = fieldIndex(name);
    return i < 0 ? -1 : Qt::UserRole + 1 + i;
}

int ProjectListModel::rowOf(const QString& id) const
{
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].id == id)
            return static_cast<int>(i);
    return -1;
}

QVariant ProjectListModel::get(int row, const QString& field) const
{
    return data(index(row), roleOf(field.toUtf8()));
}

bool ProjectListModel::set(int row, const QString& field, const QVariant& value)
{
    return setData(index(row), value, roleOf(field.toUtf8()));
}

bool ProjectListModel::write(Project&, const QString&, int, const QVariant&) const
{
    return false;
}

void ProjectListModel::updateFields(std::vector<Row>& next)
{
    for (std::size_t j = 0; j < next.size(); ++j)
        updateFields(static_cast<int>(j), std::move(next[j]));
}

void ProjectListModel::updateFields(int row, Row next)
{
    if (row < 0 || row >= count())
        return;
    Row& shown = rows_[static_cast<std::size_t>(row)];
    QList<int> roles;
    for (int f = 0; f < next.values.size(); ++f) {
        if (f >= shown.values.size() || shown.values[f] != next.values[f])
            roles << Qt::UserRole + 1 + f;
    }
    if (roles.isEmpty())
        return;
    shown = std::move(next);
    const QModelIndex at = index(row);
    emit dataChanged(at, at, roles);
}

void ProjectListModel::replaceAll(std::vector<Row> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void ProjectListModel::sync()
{
    if (!store_)
        return;
    // The usual edit keeps every record where it was: only the rows the subclass names
    // can differ, and only their fields.
    if (!rowsHaveDuplicates_) {
        if (const auto changed = changedRows(); changed && changed->size() <= rows_.size()) {
            for (int row : *changed)
                updateFields(row, rowNow(row));
            return;
        }
    }

    std::vector<Row> next = rowsNow();
    const int countBefore = count();

    const bool sameRecords = next.size() == rows_.size()
        && std::equal(next.begin(), next.end(), rows_.begin(),
                      [](const Row& a, const Row& b) { return a.id == b.id; });
    if (sameRecords && !rowsHaveDuplicates_) {
        updateFields(next);
    } else if (hasDuplicates(next) || hasDuplicates(rows_)) {
        // Ids are how rows are matched; without unique ones only a reset is honest.
        replaceAll(std::move(next));
    } else {
        // 1. Rows whose record is gone, last first so the indices stay valid.
        QSet<QString> nextIds;
        for (const auto& row : next)
            nextIds.insert(row.id);
        for (int i = count() - 1; i >= 0; --i) {
            if (!nextIds.contains(rows_[static_cast<std::size_t>(i)].id)) {
                beginRemoveRows({}, i, i);
                rows_.erase(rows_.begin() + i);
                endRemoveRows();
            }
        }

        // 2. The rows left must keep their order; a reordering is shown as a reset.
        QSet<QString> kept;
        for (const auto& row : rows_)
            kept.insert(row.id);
        std::size_t k = 0;
        bool sameOrder = true;
        for (const auto& row : next) {
            if (!kept.contains(row.id))
                continue;
            if (k >= rows_.size() || rows_[k].id != row.id) {
                sameOrder = false;
                break;
            }
            ++k;
        }

        if (!sameOrder) {
            replaceAll(std::move(next));
        } else {
            // 3. New records, at the place they have in the new list.
            for (std::size_t j = 0; j < next.size(); ++j) {
                if (j < rows_.size() && rows_[j].id == next[j].id)
                    continue;
                const int at = static_cast<int>(j);
                beginInsertRows({}, at, at);
                rows_.insert(rows_.begin() + at, next[j]);
                endInsertRows();
            }
            // 4. Changed fields of the rows that stayed.
            updateFields(next);
        }
    }
    if (!sameRecords)
        rowsHaveDuplicates_ = hasDuplicates(rows_);

    if (count() != countBefore)
        emit countChanged();
}

// ---- ChunkListModel -------------------------------------------------------------------

ChunkListModel::ChunkListModel(ProjectStore* store, QObject* parent)
    : ProjectListModel(store,
                       {"chunkID", "index", "chunkNumber", "start", "end", "lyricExcerpt", "renderedText", "surface",
                        "primaryCharacterInFrame", "elementIdsUsed", "imagePrompt", "videoPrompt", "characterID",
                        "hasFrame", "frameImagePath", "canUndo", "canRedo", "frameRemoteURL", "frameEditRequest",
                        "undoCount", "redoCount", "motionClipPath", "frameChipText", "frameChipIntent", "generateText",
                        "hasCurrentClip"},
                       parent)
{
    connect(store, &ProjectStore::currentClipsChanged, this, &ProjectListModel::sync);
    sync();
}

std::vector<ProjectListModel::Row> ChunkListModel::rowsNow() const
{
    const std::vector<StoryboardChunk>& chunks = store().project().chunks;
    std::vector<Row> rows;
    rows.reserve(chunks.size());
    builtFrom_.assign(chunks.begin(), chunks.end());
    builtWithCurrentClip_.clear();
    for (const StoryboardChunk& c : chunks) {
        builtWithCurrentClip_.push_back(store().hasCurrentClip(c.id));
        rows.push_back(rowOf(c, builtWithCurrentClip_.back()));
    }
    return rows;
}

std::optional<std::vector<int>> ChunkListModel::changedRows() const
{
    // Rows shown are the chunks last built from, position by position; an edit that
    // keeps every chunk in place only needs the ones that differ turned into text again.
    const std::vector<StoryboardChunk>& chunks = store().project().chunks;
    if (chunks.size() != builtFrom_.size())
        return std::nullopt;
    std::vector<int> changed;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        if (chunks[i].id != builtFrom_[i].id)
            return std::nullopt;
        if (!(chunks[i] == builtFrom_[i]) || store().hasCurrentClip(chunks[i].id) != builtWithCurrentClip_[i])
            changed.push_back(static_cast<int>(i));
    }
    return changed;
}

ProjectListModel::Row ChunkListModel::rowNow(int row) const
{
    const StoryboardChunk& c = store().project().chunks[static_cast<std::size_t>(row)];
    builtFrom_[static_cast<std::size_t>(row)] = c;
    builtWithCurrentClip_[static_cast<std::size_t>(row)] = store().hasCurrentClip(c.id);
    return rowOf(c, builtWithCurrentClip_[static_cast<std::size_t>(row)]);
}

ProjectListModel::Row ChunkListModel::rowOf(const StoryboardChunk& c, bool currentClip)
{
    return {idText(c.id),
            {idText(c.id), QVariant::fromValue<qlonglong>(c.index), QVariant::fromValue<qlonglong>(c.chunkNumber),
             c.start, c.end, text(c.lyricExcerpt), text(c.renderedText), text(c.surface), c.primaryCharacterInFrame,
             textList(c.elementIdsUsed), text(c.imagePrompt), text(c.videoPrompt),
             c.characterID ? idText(*c.characterID) : QString(), c.frame.has_value(),
             c.frame ? text(c.frame->localPath) : QString(), !c.undoStack.empty(), !c.redoStack.empty(),
             c.frame ? optionalText(c.frame->remoteURL) : QVariant(QString()),
             c.frame ? optionalText(c.frame->editRequest) : QVariant(QString()),
             QVariant::fromValue<qlonglong>(static_cast<qlonglong>(c.undoStack.size())),
             QVariant::fromValue<qlonglong>(static_cast<qlonglong>(c.redoStack.size())),
             c.frame ? optionalText(c.frame->motionClipPath) : QVariant(QString()),
             // The storyboard card's chip and button.
             c.frame ? QStringLiteral("Generated") : QStringLiteral("Not generated"),
             static_cast<int>(c.frame ? design::Intent::Good : design::Intent::Neutral),
             c.frame ? QStringLiteral("Regenerate") : QStringLiteral("Generate"),
             // The play badge: a recorded clip that is still the frame's at this size and length.
             c.frame.has_value() && c.frame->motionClipPath.has_value() && currentClip}};
}

bool ChunkListModel::write(Project& project, const QString& id, int field, const QVariant& value) const
{
    const auto found = std::find_if(project.chunks.begin(), project.chunks.end(),
                                    [&](const StoryboardChunk& c) { return idText(c.id) == id; });
    const auto newText = plainText(value);
    if (found == project.chunks.end() || !newText)
        return false;
    // The screens edit these two; everything else of a chunk comes from the planner.
    if (field == fieldIndex("renderedText"))
        found->renderedText = *newText;
    else if (field == fieldIndex("imagePrompt"))
        found->imagePrompt = *newText;
    else
        return false;
    return true;
}

// ---- CharacterListModel -----------------------------------------------------------------

CharacterListModel::CharacterListModel(ProjectStore* store, QObject* parent)
    : ProjectListModel(store,
                       {"characterID", "name", "notes", "referenceImagePaths", "processedImageURL",
                        "processedImagePath", "isPrimary", "statusText", "statusIntent", "thumbnailSource",
                        "isProcessing", "activeChipText", "referenceButtonText"},
                       parent)
{
    connect(store, &ProjectStore::processingCharacterIDsChanged, this, &ProjectListModel::sync);
    sync();
}

std::vector<ProjectListModel::Row> CharacterListModel::rowsNow() const
{
    const Project& project = store().project();
    const CharacterReference* primary = project.primaryCharacter();
    const auto& processing = store().processingCharacterIDs();
    // Only the active character carries the chip; it counts the chunks that show it.
    const auto inFrame = std::count_if(project.chunks.begin(), project.chunks.end(),
                                       [](const StoryboardChunk& c) { return c.primaryCharacterInFrame; });
    const QString activeChip = inFrame == 0 ? QStringLiteral("Active") : QStringLiteral("%1 frames").arg(inFrame);
    std::vector<Row> rows;
    for (const CharacterReference& c : project.characters) {
        const bool isPrimary = primary != nullptr && primary->id == c.id;
        const bool isProcessing = processing.count(c.id) > 0;
        const CharacterStatus status = characterStatus(c, isProcessing);
        const std::string* thumbnail = c.processedImagePath ? &*c.processedImagePath
            : c.referenceImagePaths.empty()                 ? nullptr
                                                            : &c.referenceImagePaths.front();
        rows.push_back({idText(c.id),
                        {idText(c.id), text(c.name), text(c.notes), textList(c.referenceImagePaths),
                         optionalText(c.processedImageURL), optionalText(c.processedImagePath), isPrimary,
                         status.text, static_cast<int>(status.intent),
                         thumbnail ? screens::PictureProvider::fileAddress(text(*thumbnail)) : QString(), isProcessing,
                         isPrimary ? activeChip : QString(),
                         c.referenceImagePaths.empty() ? QStringLiteral("Add reference\u2026")
                                                       : QStringLiteral("Replace reference\u2026")}});
    }
    return rows;
}

bool CharacterListModel::write(Project& project, const QString& id, int field, const QVariant& value) const
{
    const auto found = std::find_if(project.characters.begin(), project.characters.end(),
                                    [&](const CharacterReference& c) { return idText(c.id) == id; });
    const auto newText = plainText(value);
    if (found == project.characters.end() || !newText)
        return false;
    if (field == fieldIndex("name"))
        found->name = *newText;
    else if (field == fieldIndex("notes"))
        found->notes = *newText;
    else
        return false;
    return true;
}

// ---- ElementListModel ---------------------------------------------------------------------

ElementListModel::ElementListModel(ProjectStore* store, QObject* parent)
    : ProjectListModel(store,
                       {"elementID", "type", "continuityDescription", "imageLocalPath", "imageRemoteURL",
                        "isRendered", "imageSource", "isRemoteImage", "placeholderSymbol"},
                       parent)
{
    sync();
}

std::vector<ProjectListModel::Row> ElementListModel::rowsNow() const
{
    std::vector<Row> rows;
    const auto& plan = store().project().plan;
    if (!plan)
        return rows;
    for (const PlanElement& e : plan->elements) {
        // A local copy that reads as a picture wins; an address is loaded only over http(s).
        // Either way the card's Image asks the picture provider, never Qt's own loader.
        QString source;
        bool remote = false;
        if (e.imageLocalPath && !e.imageLocalPath->empty() && screens::isReadableImage(text(*e.imageLocalPath))) {
            source = screens::PictureProvider::fileAddress(text(*e.imageLocalPath));
        } else if (e.isRendered()) {
            source = screens::PictureProvider::webAddress(text(*e.imageRemoteURL));
            remote = !source.isEmpty();
        }
        rows.push_back({text(e.id),
                        {text(e.id), text(e.type), text(e.continuityDescription), optionalText(e.imageLocalPath),
                         optionalText(e.imageRemoteURL), e.isRendered(), source, remote,
                         e.type == "place" ? QStringLiteral("map") : QStringLiteral("cube")}});
    }
    return rows;
}

// ---- TranscriptListModel ------------------------------------------------------------------

TranscriptListModel::TranscriptListModel(ProjectStore* store, QObject* parent)
    : ProjectListModel(store, {"segmentID", "text", "start", "end"}, parent)
{
    sync();
}

std::vector<ProjectListModel::Row> TranscriptListModel::rowsNow() const
{
    std::vector<Row> rows;
    for (const TranscriptSegment& s : store().project().transcript)
        rows.push_back({idText(s.id), {idText(s.id), text(s.text), s.start, s.end}});
    return rows;
}

bool TranscriptListModel::write(Project& project, const QString& id, int field, const QVariant& value) const
{
    const auto found = std::find_if(project.transcript.begin(), project.transcript.end(),
                                    [&](const TranscriptSegment& s) { return idText(s.id) == id; });
    if (found == project.transcript.end())
        return false;
    if (field == fieldIndex("text")) {
        const auto newText = plainText(value);
        if (!newText)
            return false;
        found->text = *newText;
        return true;
    }
    if (field == fieldIndex("start") || field == fieldIndex("end")) {
        const auto seconds = finiteNumber(value);
        if (!seconds)
            return false;
        (field == fieldIndex("start") ? found->start : found->end) = *seconds;
        return true;
    }
    return false;
}

} // namespace vl::app
