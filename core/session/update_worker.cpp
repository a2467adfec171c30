#include "session/update_worker.h"

#include "session/worker_steps.h"

namespace velkor {

UpdateWorker::UpdateWorker(UpdateSession& session, WorkerHandOff& hand_off, ReportFunction report)
    : session_(session), hand_off_(hand_off), report_(std::move(report)) {}

UpdateWorker::~UpdateWorker() {
    Stop();
    Join();
}

void UpdateWorker::Stop() {
    hand_off_.Stop();
    session_.context.RequestStop();
}

void UpdateWorker::Start() {
    thread_ = std::thread([this] { Run(); });
}

void UpdateWorker::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void UpdateWorker::Run() {
    for (;;) {
        const std::uint32_t command = hand_off_.Take();
        if (hand_off_.stopping()) {
            break;
        }
        if (!IsWorkerCommand(command)) {
            continue;  // unknown codes are dropped without a report
        }
        const int result = RunWorkerCommand(session_, command);
        if (hand_off_.stopping()) {
            break;  // the step was cut short: its result means nothing to anyone
        }
        report_(command, result);
    }
    // Released at once, so that a tool started again can open the port.
    session_.context.port.Close();
    finished_ = true;
}

}  // namespace velkor
