#include "cli/unit_command.h"

#include <iostream>
#include <sstream>

#include "devices/device_facts.h"
#include "devices/port_holders.h"
#include "runs/exit_codes.h"
#include "runs/several_ports.h"

namespace velkor {

int RunUnitCommand(const UnitCommandOptions& options, UnitRequest unit, const std::string& firmware,
                   RunStop& stop, const std::function<std::string(int exit)>& failure,
                   const UnitRun& run) {
    const PortOptions& ports = options.ports;
    unit.stop = &stop;
    unit.connect_attempts = ports.connect_attempts;
    const std::vector<std::string> devices = GatherPorts(ports.ports, ports.ports_from);
    if (devices.empty()) {
        return kExitUsage;
    }
    if (!CheckRunFiles(
            {devices, firmware, ports.ports_from, options.outputs.log_file, options.record.file})) {
        return kExitUsage;
    }
    if (!RecordReady(options.record)) {
        return kExitRecordFailed;
    }
    if (devices.size() > 1) {
        const SeveralPorts several{devices, options.outputs, options.record, ports.force_port,
                                   failure};
        return RunOnSeveralPorts(several, [&unit, &run](UnitRunContext& context) {
            UnitRequest mine = unit;
            mine.device = context.device;
            mine.held_by = context.held_by;
            return run(mine, context.output, context.out, context.record, context.show_stage);
        });
    }
    unit.device = devices.front();
    const DeviceFacts device = DeviceFactsOf(unit.device);
    RunRecord facts;
    int exit;
    {
        CommandOutput output(options.outputs);
        if (!output.Open({{firmware, "the firmware file"},
                          {unit.device, "the serial device"},
                          {options.record.file, "the record file"}})) {
            return kExitUsage;
        }
        if (!ports.force_port) {
            unit.held_by = HeldBy(unit.device);
        }
        std::ostringstream unshown;  // with --json the object carries what it would say
        exit = run(unit, output, options.record.json ? unshown : std::cout, facts, {});
    }
    facts.device = device;
    return FinishRun(options.record, facts, exit);
}

}  // namespace velkor
