// The tool's full-screen main window: log, progress, checksums, option panel and the buttons
// that drive an update run. It shows what the worker reports and hands it its next command.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>

#include "platform/unit_shell.h"
#include "report/report.h"
#include "session/design_grid.h"
#include "session/sequence_view.h"
#include "session/update_sequence.h"
#include "session/update_session.h"
#include "session/update_worker.h"
#include "session/worker_hand_off.h"

class QComboBox;
class QPlainTextEdit;
class QProgressBar;

namespace velkor {

// Timer ids of the main window.
inline constexpr int kTypeSelectionTimerId = 2;
inline constexpr int kTypeSelectionDelayMs = 100;

// The log area is trimmed once it holds this many characters, by this many of the oldest.
inline constexpr int kLogTrimThreshold = 16384;
inline constexpr int kLogTrimCount = 8192;

inline constexpr const char* kToolVersion = "2.3";

class CUpdateToolDlg : public QDialog, public SequenceView, public ReportSink {
    Q_OBJECT

  public:
    CUpdateToolDlg(UpdateSession& session, UnitShell& shell, QWidget* parent = nullptr);
    ~CUpdateToolDlg() override;

    QWidget* Control(int id) const;
    UpdateSequence& sequence() { return sequence_; }
    WorkerHandOff& hand_off() { return hand_off_; }
    // The log area's text as the tool wrote it, "\r\n" line ends included.
    const QString& log_text() const { return log_text_; }

    // Creates the worker thread and gives it its first command, the reset.
    void StartWorker();
    // Stops the worker (its wait under way ends at once, and it closes the serial port as it
    // leaves) and waits for it; the window keeps answering its reports meanwhile.
    void StopWorker();

    // ReportSink: callable from both threads; a call from the worker waits until it is shown.
    void AppendText(std::string_view text) override;
    // Shown in the window as it came; on standard error with its control characters escaped.
    void AppendForeign(std::string_view text, std::optional<LogKind> kind) override;
    void ResetProgress(int maximum) override;
    void SetProgress(int position) override;

    // SequenceView.
    void ShowControl(int id, bool shown) override;
    void EnableControl(int id, bool enabled) override;
    void SetControlText(int id, const std::string& text) override;
    void StartTypeSelectionTimer() override;
    void ShowComErrorAndQuit() override;
    void LayOutOptionPanel(int app_type, int mcu_type, bool slave) override;
    void ShowUnitOptions(const UnitOptions& options) override;
    UnitOptions SelectedUnitOptions() override;
    std::optional<TypeChoice> RunTypeDialog(const TypeChoice& current) override;
    std::optional<std::string> RunFileBrowser(const std::string& info_text) override;
    void McuWriteEnded(McuWriteKind kind, int result, std::uint32_t took_ms) override;

    // Ends the dialog and shows the task bar again when it is hidden.
    void Quit();

    // The result the dialog ends with on Quit.
    static constexpr int kQuitResult = 2;

  public slots:
    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void CreateControls();
    void PlaceControls();
    void FillOptionLists();
    void AppendOnUiThread(const QString& piece);
    static void WriteToTerminal(std::string_view text);
    // Runs `work` on the user-interface thread and waits for it; dropped once the window is
    // closing, so that a worker report can never wait on a window that no longer answers.
    void RunOnUiThread(const std::function<void()>& work);
    void OnWorkerReport(std::uint32_t command, int result);
    QComboBox* List(int id) const;

    UpdateSession& session_;
    UnitShell& shell_;
    DesignGrid grid_;
    WorkerHandOff hand_off_;
    UpdateSequence sequence_;
    std::unique_ptr<UpdateWorker> worker_;
    std::map<int, QWidget*> controls_;
    QPlainTextEdit* log_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QTimer type_selection_timer_;
    QString log_text_;
    ReportSink* previous_sink_ = nullptr;
    std::atomic<bool> closing_{false};
    bool worker_started_ = false;
};

}  // namespace velkor
