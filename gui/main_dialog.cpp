#include "gui/main_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QThread>
#include <algorithm>
#include <array>
#include <cstdio>

#include "gui/clickable_label.h"
#include "gui/firmware_file_browser.h"
#include "gui/screen.h"
#include "gui/tool_icon.h"
#include "gui/update_type_dialog.h"
#include "gui/window_record.h"
#include "platform/text.h"
#include "session/control_ids.h"
#include "session/main_layout.h"
#include "session/sequence_messages.h"
#include "session/start_up.h"
#include "session/worker_steps.h"
#include "settings/option_lists.h"

namespace velkor {
namespace {

// The label and list of each option, in the order the lists are filled.
struct OptionControls {
    UnitOption option;
    int label;
    int list;
};

constexpr std::array<OptionControls, kUnitOptionCount> kOptionControls = {{
    {kOptionTv, kIdTvLabel, kIdTvList},
    {kOptionHbrake, kIdHbrakeLabel, kIdHbrakeList},
    {kOptionRds, kIdRdsLabel, kIdRdsList},
    {kOptionTft, kIdTftLabel, kIdTftList},
    {kOptionDvd, kIdDvdLabel, kIdDvdList},
    {kOptionRadio, kIdRadioLabel, kIdRadioList},
    {kOptionAudio, kIdAudioLabel, kIdAudioList},
}};

// The order in which decoded options are selected.
constexpr std::array<UnitOption, kUnitOptionCount> kSelectionOrder = {
    kOptionTft, kOptionDvd, kOptionTv, kOptionRadio, kOptionAudio, kOptionHbrake, kOptionRds};

int ListOf(UnitOption option) {
    for (const OptionControls& controls : kOptionControls) {
        if (controls.option == option) {
            return controls.list;
        }
    }
    return 0;
}

bool IsReturnKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// What the log widget shows of a piece of log text: "\r\n" and lone carriage returns do not
// make lines of their own.
QString ForDisplay(const QString& piece) {
    QString shown = piece;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.remove(QLatin1Char('\r'));
    return shown;
}

}  // namespace

CUpdateToolDlg::CUpdateToolDlg(UpdateSession& session, UnitShell& shell, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint),
      session_(session),
      shell_(shell),
      grid_(PrimaryScreenSize()),
      sequence_(session, hand_off_, *this) {
    // An empty caption, as the dialog's template has it: the tool names itself in window lists
    // through the application's name (main.cpp), and on screen with its title label.
    setWindowIcon(ToolIcon());
    session_.current_link = nullptr;
    previous_sink_ = session_.report.SetSink(this);

    setFont(ToolFont(grid_.FontPixelHeight()));
    setGeometry(0, 0, grid_.width(), grid_.height());
    CreateControls();
    PlaceControls();
    FillOptionLists();
    session_.report.LogPrintf("******** Update Tool V%s ********\r\n", kToolVersion);

    type_selection_timer_.setSingleShot(true);
    type_selection_timer_.setInterval(kTypeSelectionDelayMs);
    connect(&type_selection_timer_, &QTimer::timeout, this,
            [this] { sequence_.RunTypeSelection(); });
}

CUpdateToolDlg::~CUpdateToolDlg() {
    closing_ = true;
    StopWorker();
    session_.report.SetSink(previous_sink_);
}

void CUpdateToolDlg::CreateControls() {
    auto add = [this](int id, QWidget* control) {
        controls_[id] = control;
        return control;
    };
    add(kIdTitle, new QLabel(QStringLiteral("Velkor Tool"), this));
    auto* type_display = new ClickableLabel(QStringLiteral("TYPE"), this);
    add(kIdTypeDisplay, type_display);
    connect(type_display, &ClickableLabel::clicked, this, [this] { sequence_.RunTypeSelection(); });

    log_ = new QPlainTextEdit(this);
    log_->setReadOnly(true);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_->setUndoRedoEnabled(false);
    log_->installEventFilter(this);  // the log keeps Return
    add(kIdLog, log_);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    add(kIdProgress, progress_);

    struct LabelledControl {
        int id;
        const char* text;
    };
    const LabelledControl buttons[] = {
        {kIdQuit, "Quit"},         {kIdUpdate, "Update"}, {kIdOpen, "Open"},  {kIdRetry, "Retry"},
        {kIdContinue, "Continue"}, {kIdConfig, "CONFIG"}, {kIdApply, "APPLY"}};
    for (const LabelledControl& control : buttons) {
        auto* button = new QPushButton(QString::fromLatin1(control.text), this);
        // A focused button takes Return, as the unit's own dialogs do, but never presses
        // itself behind the technician's back; elsewhere Return ends the dialog.
        button->setAutoDefault(false);
        button->setDefault(false);
        button->installEventFilter(this);
        add(control.id, button);
    }
    connect(static_cast<QPushButton*>(Control(kIdQuit)), &QPushButton::clicked, this,
            [this] { Quit(); });
    connect(static_cast<QPushButton*>(Control(kIdUpdate)), &QPushButton::clicked, this,
            [this] { sequence_.OnUpdate(); });
    connect(static_cast<QPushButton*>(Control(kIdOpen)), &QPushButton::clicked, this,
            [this] { sequence_.OnOpen(); });
    connect(static_cast<QPushButton*>(Control(kIdRetry)), &QPushButton::clicked, this,
            [this] { sequence_.OnRetry(); });
    connect(static_cast<QPushButton*>(Control(kIdApply)), &QPushButton::clicked, this,
            [this] { sequence_.OnApply(); });

    add(kIdNotify, new QCheckBox(QStringLiteral("NOTIFY"), this))->hide();
    const LabelledControl radios[] = {{kIdRadioR3360, "R3360"},
                                      {kIdRadioJ5, "J5"},
                                      {kIdRadioStm8, "STM8"},
                                      {kIdRadioNec, "NEC"},
                                      {kIdRadioM3, "M3"}};
    for (const LabelledControl& control : radios) {
        add(control.id, new QRadioButton(QString::fromLatin1(control.text), this))->hide();
    }

    for (std::size_t i = 0; i < kOptionControls.size(); ++i) {
        auto* label = new QLabel(FromUtf8(kOptionLists[i].label), this);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        add(kOptionControls[i].label, label);
        auto* list = new QComboBox(this);
        list->setEditable(false);
        add(kOptionControls[i].list, list);
    }

    for (int id : {kIdMcuChecksumLabel, kIdMcuChecksum, kIdFileChecksumLabel, kIdFileChecksum}) {
        add(id, new QLabel(this));
    }
}

void CUpdateToolDlg::PlaceControls() {
    const QFont font = ToolFont(grid_.FontPixelHeight());
    for (const Placement& place : InitialMainLayout(grid_)) {
        QWidget* control = Control(place.id);
        if (control == nullptr) {
            continue;
        }
        control->setFont(font);
        // A list's height is its drop-down height; closed, it is one row high.
        const int height = qobject_cast<QComboBox*>(control) != nullptr
                               ? std::min(place.height, grid_.Y(40))
                               : place.height;
        control->setGeometry(place.x, place.y, place.width, height);
        if (place.text != nullptr) {
            SetControlText(place.id, place.text);
        }
        control->setVisible(place.shown);
        control->setEnabled(place.enabled);
    }
}

void CUpdateToolDlg::FillOptionLists() {
    for (std::size_t i = 0; i < kOptionControls.size(); ++i) {
        QComboBox* list = List(kOptionControls[i].list);
        list->clear();
        for (std::string_view entry : kOptionLists[i].entries) {
            list->addItem(FromUtf8(entry));
        }
        list->setCurrentIndex(0);
    }
}

QWidget* CUpdateToolDlg::Control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

QComboBox* CUpdateToolDlg::List(int id) const {
    return qobject_cast<QComboBox*>(Control(id));
}

void CUpdateToolDlg::StartWorker() {
    if (worker_started_) {
        return;
    }
    worker_started_ = true;
    worker_ = std::make_unique<UpdateWorker>(
        session_, hand_off_, [this](std::uint32_t command, int result) {
            RunOnUiThread([this, command, result] { OnWorkerReport(command, result); });
        });
    worker_->Start();
    hand_off_.Store(kCommandReset);
}

void CUpdateToolDlg::StopWorker() {
    if (!worker_) {
        return;
    }
    worker_->Stop();
    // A report may be on its way to this thread: keep answering until the worker is out.
    while (!worker_->finished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    worker_->Join();
    worker_.reset();
}

void CUpdateToolDlg::OnWorkerReport(std::uint32_t command, int result) {
    if (closing_) {
        return;
    }
    sequence_.OnWorkerReport(command, result);
}

void CUpdateToolDlg::RunOnUiThread(const std::function<void()>& work) {
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    if (closing_) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, &work] {
            if (!closing_) {
                work();
            }
        },
        Qt::BlockingQueuedConnection);
}

void CUpdateToolDlg::AppendText(std::string_view text) {
    // Every piece also goes to the terminal, so a run can be followed from there.
    WriteToTerminal(ToPlainLineEnds(text));
    const QString piece = FromUtf8(text);
    RunOnUiThread([this, &piece] { AppendOnUiThread(piece); });
}

void CUpdateToolDlg::AppendForeign(std::string_view text, std::optional<LogKind> kind) {
    if (kind == LogKind::kDetail) {
        return;  // as AppendMarked leaves details out of this log
    }
    // The unit's control characters would act on the terminal; the window shows plain text.
    WriteToTerminal(EscapeControls(text));
    const QString piece = FromUtf8(text);
    RunOnUiThread([this, &piece] { AppendOnUiThread(piece); });
}

void CUpdateToolDlg::WriteToTerminal(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void CUpdateToolDlg::AppendOnUiThread(const QString& piece) {
    if (log_text_.size() >= kLogTrimThreshold) {
        log_text_.remove(0, kLogTrimCount);
        log_->setPlainText(ForDisplay(log_text_));
    }
    log_text_ += piece;
    QTextCursor cursor(log_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ForDisplay(piece));
    log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

void CUpdateToolDlg::ResetProgress(int maximum) {
    RunOnUiThread([this, maximum] {
        progress_->setRange(0, maximum);
        progress_->setValue(0);
    });
}

void CUpdateToolDlg::SetProgress(int position) {
    RunOnUiThread([this, position] { progress_->setValue(position); });
}

void CUpdateToolDlg::ShowControl(int id, bool shown) {
    if (QWidget* control = Control(id)) {
        control->setVisible(shown);
    }
}

void CUpdateToolDlg::EnableControl(int id, bool enabled) {
    if (QWidget* control = Control(id)) {
        control->setEnabled(enabled);
    }
}

void CUpdateToolDlg::SetControlText(int id, const std::string& text) {
    QWidget* control = Control(id);
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(FromUtf8(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(FromUtf8(text));
    }
}

void CUpdateToolDlg::StartTypeSelectionTimer() {
    type_selection_timer_.start();
}

void CUpdateToolDlg::ShowComErrorAndQuit() {
    QMessageBox box(QMessageBox::NoIcon, FromUtf8(kComErrorCaption),
                    ForDisplay(FromUtf8(kComErrorText)), QMessageBox::Ok, this);
    box.exec();
    Quit();
}

void CUpdateToolDlg::LayOutOptionPanel(int app_type, int mcu_type, bool slave) {
    const PanelLayout layout = OptionPanelLayout(grid_, app_type, mcu_type, slave);
    // Each moved control comes to the top, so the log covers the panel or the panel shows.
    log_->resize(layout.log_width, layout.log_height);
    log_->raise();
    for (const Placement& place : layout.controls) {
        QWidget* control = Control(place.id);
        const int height = qobject_cast<QComboBox*>(control) != nullptr
                               ? std::min(place.height, grid_.Y(40))
                               : place.height;
        control->setGeometry(place.x, place.y, place.width, height);
        control->setVisible(place.shown);
        control->raise();
    }
}

void CUpdateToolDlg::ShowUnitOptions(const UnitOptions& options) {
    for (UnitOption option : kSelectionOrder) {
        List(ListOf(option))->setCurrentIndex(options[option]);
    }
}

UnitOptions CUpdateToolDlg::SelectedUnitOptions() {
    UnitOptions options{};
    for (UnitOption option : kSelectionOrder) {
        options[option] =
            static_cast<std::uint8_t>(std::max(0, List(ListOf(option))->currentIndex()));
    }
    return options;
}

std::optional<TypeChoice> CUpdateToolDlg::RunTypeDialog(const TypeChoice& current) {
    CUpdateType dialog(ScreenSize{grid_.width(), grid_.height()}, current.app_type,
                       current.mcu_type, current.slave);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return TypeChoice{dialog.m_nAppType, dialog.m_nMcuType, dialog.m_nSlave};
}

std::optional<std::string> CUpdateToolDlg::RunFileBrowser(const std::string& info_text) {
    return RunFirmwareFileBrowser(this, session_.state.mcu_type, info_text,
                                  session_.state.program_directory.string());
}

void CUpdateToolDlg::McuWriteEnded(McuWriteKind kind, int result, std::uint32_t took_ms) {
    RecordWindowRun(session_, kind, result, took_ms);
}

void CUpdateToolDlg::Quit() {
    done(kQuitResult);
    if (closing_) {
        ShowHiddenTaskBar(shell_);
    }
}

void CUpdateToolDlg::done(int result) {
    if (sequence_.busy_with_mcu()) {
        return;  // leaving now would leave the MCU half-written
    }
    closing_ = true;
    type_selection_timer_.stop();
    // The worker's wait under way ends now and the worker releases the port as it leaves,
    // rather than when the window is destroyed after a wait of up to seconds.
    if (worker_) {
        worker_->Stop();
    }
    QDialog::done(result);
}

void CUpdateToolDlg::closeEvent(QCloseEvent* event) {
    if (sequence_.busy_with_mcu()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

bool CUpdateToolDlg::eventFilter(QObject* watched, QEvent* event) {
    // Return typed into the log or on a button stays there instead of reaching the dialog's
    // default OK below.
    if (IsReturnKey(event)) {
        event->accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CUpdateToolDlg::keyPressEvent(QKeyEvent* event) {
    // Only Return that no focused control took arrives here: the dialog's default OK.
    if (IsReturnKey(event)) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CUpdateToolDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    StartWorker();
}

}  // namespace velkor
