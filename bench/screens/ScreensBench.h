#pragma once

// The screens benchmark: figure groups in files of their own, each registered with
// VL_SCREENS_BENCH(name) { ... } and run one after another by main.cpp. A group
// prints its figures with printFigure ("BENCH screens.<name> <value> <unit>").

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

void printFigure(const std::string& name, double value, const std::string& unit);

// A store on a temporary projects folder with in-memory settings, no cloud, and
// screen services whose file picker and desktop do nothing.
class BenchStore {
public:
    explicit BenchStore(Project project);
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
