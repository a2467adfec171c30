#include "gui/update_tool_app.h"

#include "gui/main_dialog.h"
#include "session/start_up.h"

namespace velkor {

int CUpdateToolApp::InitInstance(UpdateSession& session) {
    const StartUpResult room = MakeRoomForTool(shell_, clock_);
    session.state.manager_path = room.manager_path;
    {
        CUpdateToolDlg dialog(session, shell_);
        dialog.exec();
    }
    RestoreTaskBar(shell_, room.hidden_task_bar);
    return 0;
}

}  // namespace velkor
