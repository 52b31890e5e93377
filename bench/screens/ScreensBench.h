#pragma once

// The screens benchmark: figure groups in files of their own, each registered with
// VL_SCREENS_BENCH(name) { ... } and run one after another by main.cpp. A group
// gives its figures to report() ("BENCH screens.<name> <value> <unit>"), and says
// there which ones it could not measure.

#include "BenchReport.h"
#include "pipeline/ProjectStore.h"
#include "screens/ScreenServices.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vl::bench {

struct ScreensGroup {
    std::string name;
    std::function<void()> run;
};

std::vector<ScreensGroup>& screensGroups();

struct RegisterScreensGroup {
    RegisterScreensGroup(std::string name, std::function<void()> run)
    {
        screensGroups().push_back({std::move(name), std::move(run)});
    }
};

// The screens area's report, shared by every group.
Report& report();

// A store on a temporary projects folder with in-memory settings, no cloud, the
// given engines (none by default), and screen services whose file picker and desktop
// do nothing.
class BenchStore {
public:
    explicit BenchStore(Project project, PipelineServices services = {});
    ~BenchStore();
    ProjectStore& store() { return *store_; }
    screens::ScreenServices& services() { return *services_; }

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<ProjectStore> store_;
    std::unique_ptr<screens::ScreenServices> services_;
};

// A planned project of `chunks` chunks, with a transcript, a processed character and a
// plan of five elements and seven colours.
Project plannedBenchProject(int chunks);

} // namespace vl::bench

#define VL_SCREENS_BENCH_CAT2(a, b) a##b
#define VL_SCREENS_BENCH_CAT(a, b) VL_SCREENS_BENCH_CAT2(a, b)
#define VL_SCREENS_BENCH(name)                                                                      \
    static void VL_SCREENS_BENCH_CAT(screensBench_, __LINE__)();                                    \
    static const ::vl::bench::RegisterScreensGroup VL_SCREENS_BENCH_CAT(screensBenchReg_, __LINE__)( \
        name, &VL_SCREENS_BENCH_CAT(screensBench_, __LINE__));                                      \
    static void VL_SCREENS_BENCH_CAT(screensBench_, __LINE__)()
