// Everything one run of the update tool works on: the link objects on one port, the two image
// readers, the choices of the run and which link and image are current. Created once at
// start-up; tests build a fresh one on a fake port and virtual time.
#pragma once

#include "image/hex_image.h"
#include "image/s19_image.h"
#include "link/link_context.h"
#include "procedures/family_links.h"
#include "procedures/programming_state.h"
#include "session/tool_state.h"
#include "settings/settings_location.h"

namespace velkor {

struct UpdateSession {
    UpdateSession(SerialPort& port, Clock& clock, std::filesystem::path settings_file)
        : context(port, clock, settings_file), links(context, programming) {
        state.settings_file = std::move(settings_file);
        state.program_directory = ProgramDirectory(state.settings_file);
    }
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    LinkContext context;
    ProgrammingState programming;
    FamilyLinks links;
    CHexImage hex_image;
    CS19Image s19_image;
    ToolState state;
    CMcuLink* current_link = nullptr;
    CFirmwareImage* current_image = nullptr;
};

}  // namespace velkor
