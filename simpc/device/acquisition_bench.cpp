#include "acquisition_bench.h"

namespace simpc {

AcquisitionBench AttachAcquisitionDevice(Pc& pc, const ParallelPortHardware::Config& config) {
    AcquisitionBench bench;
    bench.port = ParallelPortHardware::AttachTo(pc.bus(), config, &pc.clock());
    bench.device = std::make_shared<AcquisitionDevice>();
    bench.port->Connect(bench.device);
    ParallelPortHardware::StatusLines idle;
    idle.busy = false;
    idle.paper_end = false;
    bench.port->SetStatusLines(idle);
    return bench;
}

AcquisitionBench AttachAcquisitionDevice(Pc& pc, uint32_t base, bool ecp) {
    ParallelPortHardware::Config config;
    config.base = base;
    config.ecp = ecp;
    return AttachAcquisitionDevice(pc, config);
}

}  // namespace simpc
