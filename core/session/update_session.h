// Everything one run of the update tool works on: the link objects on one port, the two image
// readers, the choices of the run and which link and image are current. Created once at
// start-up; tests build a fresh one on a fake port and virtual time.
#pragma once

#include <cstdint>
#include <optional>

#include "image/hex_image.h"
#include "image/s19_image.h"
#include "link/link_context.h"
#include "procedures/family_links.h"
#include "procedures/programming_state.h"
#include "report/report.h"
#include "session/tool_state.h"
#include "settings/settings_location.h"

namespace velkor {

struct UpdateSession {
    // Reports go to `sink` (null: nowhere until one is set with report.SetSink).
    UpdateSession(SerialPort& port, Clock& clock, std::filesystem::path settings_file,
                  ReportSink* sink = nullptr)
        : report(sink),
          context(port, clock, report, settings_file),
          links(context, programming),
          hex_image(report),
          s19_image(report) {
        state.settings_file = std::move(settings_file);
        state.program_directory = ProgramDirectory(state.settings_file);
    }
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // The steps of the road of one update, written once for the window's worker and for
    // velkor-flash, which differ only in how they drive them. Each logs what the technician
    // needs to see and returns the result the worker reports.

    // The app type: kept once known, else "AppType", else the model resolution.
    int IdentifyModel();
    // The MCU type: kept once known, else "McuType"; the slave flag from "McuSlave" each time.
    int ReadMcuType();
    // Makes the plain link of the model current and opens it, without and with the model line
    // ("\r\nR3360\r\n" or "\r\nJ5\r\n"): an Open result, 0 success.
    int OpenLink();
    int OpenModelLink();
    int ReadVersion();
    // After the 500 ms pause, the checksum query; a success also sets `reported_checksum`.
    int ReadChecksum();
    // The prelude, the 100 ms pause, the information query.
    int ReadInformation();
    // Makes the family's image reader and link current; an app type that names no model
    // leaves the link as it is.
    void SelectFamily(int mcu_type);
    // The file information header and the firmware path in the log, then the load into the
    // current image: a LoadResult. A file that holds no data, or does not end with its end
    // record, loads as it is, with a warning line.
    int LoadFirmware();
    // The current link's check of the loaded image; its verdict, also left in `programming`.
    FileVerdict CheckFirmware();
    // Programs the loaded image through the current link: 0 success.
    int Program();
    // Closes the current link, if any, and forgets what the MCU reported.
    void Reset();

    Report report;  // the log and progress of this session alone
    LinkContext context;
    ProgrammingState programming;
    FamilyLinks links;
    CHexImage hex_image;
    CS19Image s19_image;
    ToolState state;
    CMcuLink* current_link = nullptr;
    CFirmwareImage* current_image = nullptr;
    // What the MCU reported before anything was written to it, for the record of the run:
    // the checksum of the last successful checksum query (a failed one keeps it, as the
    // checksum display does) and the unit options decoded from its version text.
    std::optional<std::uint32_t> reported_checksum;
    std::optional<UnitOptions> reported_options;
};

}  // namespace velkor
