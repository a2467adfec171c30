#include "cli/model_link.h"

#include "report/report.h"

namespace velkor {

bool OpenModelLink(CMcuLink& link, AppType model, const std::string& device) {
    AppendLog(model == kAppTypeJ5 ? "\r\nJ5\r\n" : "\r\nR3360\r\n");
    const int opened = link.Open(device, link.baud_rate());
    // A device that cannot be opened has been explained by Open itself.
    if (opened != kOpenOk && opened != kOpenNoDevice) {
        AppendLog(device + " does not take the serial line settings\r\n");
    }
    return opened == kOpenOk;
}

}  // namespace velkor
