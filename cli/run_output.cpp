#include "cli/run_output.h"

#include <cstdio>

#include "cli/exit_codes.h"
#include "record/record_file.h"
#include "record/record_json.h"

namespace velkor {

bool RecordReady(const RecordOptions& options) {
    std::string error;
    if (!options.file.empty() && !CanAppendRecord(options.file, error)) {
        std::fprintf(stderr, "velkor-flash: %s; nothing was done\n", error.c_str());
        return false;
    }
    return true;
}

int FinishRun(const RecordOptions& options, const RunRecord& record, int exit) {
    nlohmann::ordered_json object = RecordJson(record);
    std::string error;
    bool recorded = true;
    if (!options.file.empty() && !AppendRecord(options.file, RecordLine(object), error)) {
        recorded = false;
        std::fprintf(stderr, "velkor-flash: %s (the run itself ended: %s)\n", error.c_str(),
                     record.result.c_str());
        object["record_error"] = error;
    }
    if (options.json) {
        const std::string line = RecordLine(object);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    return recorded || exit != 0 ? exit : kExitRecordFailed;
}

}  // namespace velkor
