#include "gui/update_tool_app.h"

#include "gui/main_dialog.h"
#include "session/start_up.h"

namespace velkor {

int CUpdateToolApp::InitInstance(UpdateSession& session) {
    const StartUpResult room = MakeRoomForTool(shell_, clock_);
    session.state.manager_path = room.manager_path;
    bool task_bar_restored = false;
    const auto restore_task_bar = [&] {
        if (!task_bar_restored) {
            task_bar_restored = true;
            RestoreTaskBar(shell_, room.hidden_task_bar);
        }
    };
    {
        CUpdateToolDlg dialog(session, shell_);
        // The task bar comes back as the dialog ends, whichever way (Quit, Escape, Return, the
        // window manager's close), not once the worker has wound down and the window is gone.
        QObject::connect(&dialog, &QDialog::finished, &dialog, restore_task_bar);
        dialog.exec();
    }
    restore_task_bar();
    return 0;
}

}  // namespace velkor
