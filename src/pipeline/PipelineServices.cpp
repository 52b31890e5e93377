#include "pipeline/PipelineServices.h"

namespace vl {

const PipelineServices& PipelineServices::standard()
{
    // Built once per process, on first use.
    static const PipelineServices services = [] {
        PipelineServices s;
        return s;
    }();
    return services;
}

} // namespace vl
