#include "pipeline/ProjectStore.h"

#include "model/Cancellation.h"
#include "model/Log.h"
#include "model/MediaLibrary.h"
#include "model/Text.h"
#include "pipeline/PictureDownload.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace vl {

namespace {

constexpr std::size_t kElementNameCharacters = 48;

// Characters that some file system refuses or reads as structure.
bool unsafeInFileNames(unsigned char c)
{
    switch (c) {
    case '/': case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        return true;
    default:
        return c < 0x20 || c == 0x7F;
    }
}

std::string hexHash(std::string_view text)
{
    // FNV-1a: stable across runs, so rendering an element again overwrites its file.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(hash));
    return buffer;
}

} // namespace

std::string ProjectStore::elementFileName(std::string_view elementID)
{
    const bool utf8 = text::isValidUtf8(elementID);
    std::string name;
    for (std::size_t i = 0; i < elementID.size(); ++i) {
        const auto c = static_cast<unsigned char>(elementID[i]);
        if (c == ' ') {
            name += '_';
        } else if (unsafeInFileNames(c) || (!utf8 && c >= 0x80)) {
            name += '-';
        } else if (c == 0xC2 && i + 1 < elementID.size() && static_cast<unsigned char>(elementID[i + 1]) >= 0x80
                   && static_cast<unsigned char>(elementID[i + 1]) <= 0x9F) {
            name += '-'; // a C1 control character
            ++i;
        } else {
            name += static_cast<char>(c);
        }
    }
    // No hidden files, no "." or "..".
    if (!name.empty() && name.front() == '.')
        name.front() = '_';
    name = text::cutToCharacters(name, kElementNameCharacters);
    if (name.empty())
        name = "element";
    // The hash tells apart ids that read the same once cleaned up or cut short.
    return name + "-" + hexHash(elementID) + ".png";
}

void ProjectStore::renderElements()
{
    renderElementsThen({});
}

void ProjectStore::renderElements(std::function<void()> done)
{
    if (!done) {
        renderElementsThen({});
        return;
    }
    renderElementsThen([done = std::move(done)](std::optional<std::string>) { done(); });
}

void ProjectStore::renderElementsThen(std::function<void(std::optional<std::string>)> next)
{
    const bool pending = project_.plan
        && std::any_of(project_.plan->elements.begin(), project_.plan->elements.end(),
                       [](const PlanElement& e) { return !e.isRendered(); });
    if (!pending) {
        if (next)
            next(std::nullopt);
        return;
    }

    const Uuid projectID = project_.id;
    const auto folder =
        projectFolder(projectID) / "elements";
    // This run's own failure sentence, for whatever follows it: the banner may show
    // something else by then.
    auto summary = std::make_shared<std::optional<std::string>>();
    auto work = [this, plan = *project_.plan, projectID, folder, summary,
                 workflow = services_.config.elementWorkflow](RunReporter& reporter) -> ApplyFn {
        const std::string total = std::to_string(plan.elements.size());
        std::vector<std::string> failures;
        for (std::size_t position = 0; position < plan.elements.size(); ++position) {
            const PlanElement& element = plan.elements[position];
            if (element.isRendered())
                continue;
            throwIfCancelled(reporter.stop());
            reporter.statusText("Rendering element " + std::to_string(position + 1) + "/" + total + ": "
                                + element.id);
            try {
                const auto result = makeFalClient().runElementWorkflow(
                    workflow, plan.rawJSON, element.id,
                    [&reporter](const FalClient::StatusUpdate& u) { reporter.queuePosition(u.queuePosition); },
                    reporter.stop());
                const auto destination = folder / elementFileName(element.id);
                downloadPicture(makeFalClient(), result.imageURL, destination, reporter.stop());
                // Recorded as soon as it lands, so a later cancellation keeps it.
                workers_.post([this, projectID, reported = result.elementID, url = result.imageURL,
                               path = destination.string()] {
                    if (project_.id != projectID || !project_.plan)
                        return;
                    auto& elements = project_.plan->elements;
                    const auto it = std::find_if(elements.begin(), elements.end(),
                                                 [&](const PlanElement& e) { return e.id == reported; });
                    if (it == elements.end())
                        return;
                    const auto index = it - elements.begin();
                    editProject([&](Project& p) {
                        p.plan->elements[index].imageRemoteURL = url;
                        p.plan->elements[index].imageLocalPath = path;
                    });
                });
            } catch (const Cancelled&) {
                throw;
            } catch (const std::exception& e) {
                logLine("Elements", "rendering " + element.id + " failed: " + e.what());
                failures.push_back(element.id);
            }
        }
        return [this, failures, summary] {
            editProject([](Project& p) { p.updatedAt = currentDate(); });
            if (failures.empty())
                return;
            std::string ids;
            for (const auto& id : failures)
                ids += (ids.empty() ? "" : ", ") + id;
            *summary = "Couldn't render " + std::to_string(failures.size()) + " element"
                       + (failures.size() == 1 ? "" : "s") + " (" + ids + "). Tap \u201CRender elements\u201D to retry.";
            setLastError(*summary);
        };
    };
    std::function<void()> finally;
    if (next)
        finally = [next = std::move(next), summary] { next(*summary); };
    run("Rendering elements", Workers::Pool::network, std::move(work), {}, std::move(finally));
}

} // namespace vl
