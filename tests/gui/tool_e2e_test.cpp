// The whole tool against velkor-sim on a pseudo-terminal: the real worker thread, the real
// serial port and the main window, offscreen, in real time.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>

#include <QComboBox>
#include <QProgressBar>

#include "gui/main_dialog.h"
#include "gui/open_file_dialog.h"
#include "gui/screen.h"
#include "gui/update_type_dialog.h"
#include "image/hex_image.h"
#include "platform/clock.h"
#include "platform/posix_serial_port.h"
#include "session/control_ids.h"
#include "support/run_process.h"
#include "support/simulator_process.h"
#include "support/temp_dir.h"
#include "testing/fake_unit_shell.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;

const std::string kSimProgram = VELKOR_SIM_PROGRAM;
constexpr int kTimeoutMs = 30000;  // generous: real time on machines of any speed

// A velkor-sim started with these options.
struct Simulator : testing::SimulatorProcess {
    explicit Simulator(std::vector<std::string> options)
        : SimulatorProcess(kSimProgram, std::move(options)) {}
};

// The tool as a technician starts it: a settings file beside it, the port, the window.
struct ToolRun {
    explicit ToolRun(const std::string& settings) {
        OverridePrimaryScreenSize({800, 480});
        if (!settings.empty()) {
            dir.Write("velkor-tool.ini", settings);
        }
        session.state.file_system_root = dir.path();
        dialog = std::make_unique<CUpdateToolDlg>(session, shell);
        dialog->show();
    }
    ~ToolRun() {
        dialog.reset();
        OverridePrimaryScreenSize({0, 0});
    }
    QString Log() const { return dialog->log_text(); }
    QWidget* Control(int id) const { return dialog->Control(id); }
    std::string Settings() const { return testing::TempDir::Read(dir.path() / "velkor-tool.ini"); }

    testing::TempDir dir;
    RealClock clock;
    PosixSerialPort port;
    FakeUnitShell shell;
    UpdateSession session{port, clock, dir.path() / "velkor-tool.ini"};
    std::unique_ptr<CUpdateToolDlg> dialog;
};

// Answers the next modal window of type Window with `answer` once it is up.
template <typename Window>
void AnswerNextModal(std::function<void(Window*)> answer) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
        auto* modal = qobject_cast<Window*>(QApplication::activeModalWidget());
        if (modal != nullptr && modal->isVisible()) {
            poll->stop();
            poll->deleteLater();
            answer(modal);
        }
    });
    poll->start(10);
}

QString Text(const ToolRun& tool, int id) {
    return qobject_cast<QLabel*>(tool.Control(id))->text();
}

QComboBox* List(const ToolRun& tool, int id) {
    return qobject_cast<QComboBox*>(tool.Control(id));
}

// Taps a button of the update type dialog on its mark, where a finger would.
void Tap(CUpdateType* dialog, int id) {
    QWidget* button = dialog->Control(id);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

// Settings naming the model and family (J5 with an M3 unless said otherwise) and the port.
std::string Settings(const std::string& device, const std::string& extra = {}, int app_type = 2,
                     int mcu_type = 3) {
    return "[UpdateConfig]\r\nAppType=" + std::to_string(app_type) +
           "\r\nMcuType=" + std::to_string(mcu_type) + "\r\nComPort=" + device + "\r\n" + extra;
}

}  // namespace

class ToolEndToEndTest : public QObject {
    Q_OBJECT

  private slots:
    void QueriesTheUnitAndWaitsForAFile() {
        Simulator sim({"--model", "j5", "--family", "m3", "--version-text", "J5M3-V1.0"});
        QVERIFY(!sim.device().empty());
        ToolRun tool(Settings(sim.device()));
        QTRY_COMPARE_WITH_TIMEOUT(qobject_cast<QLabel*>(tool.Control(kIdTypeDisplay))->text(),
                                  QStringLiteral("M3-J5"), kTimeoutMs);
        QVERIFY(tool.Control(kIdOpen)->isVisible());
        QVERIFY(tool.Control(kIdOpen)->isEnabled());
        QVERIFY(tool.Control(kIdUpdate)->isVisible());
        QVERIFY(!tool.Control(kIdUpdate)->isEnabled());
        QCOMPARE(qobject_cast<QLabel*>(tool.Control(kIdMcuChecksum))->text(),
                 QStringLiteral("01FE0000"));  // the M3 range, 128 KiB, erased
        QVERIFY(tool.Log().contains(
            QStringLiteral("\r\nJ5\r\n======== MCU Version ========\r\nJ5M3-V1.0\r\n")));
    }

    void MissingFireFileLeavesUpdateDisabled() {
        Simulator sim({"--model", "j5", "--family", "m3"});
        ToolRun tool(Settings(sim.device(), "FireFile=missing.hex\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(
            tool.Log().contains(QStringLiteral("ERROR:can not open the file\r\n")), kTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            tool.Control(kIdOpen)->isVisible() && tool.Control(kIdOpen)->isEnabled(), kTimeoutMs);
        QVERIFY(!tool.Control(kIdUpdate)->isEnabled());
        QVERIFY(tool.Log().contains(
            QString::fromStdString("======== File Information ========\r\n" +
                                   (tool.dir.path() / "missing.hex").string())));
        QVERIFY(!tool.Log().contains(QStringLiteral("UPDATE")));
    }

    void PortThatCannotBeOpenedEndsTheProgramAfterTheComErrorBox() {
        ToolRun tool(Settings("/dev/velkor-no-such-port"));
        QString box_title;
        QString box_text;
        AnswerNextModal<QMessageBox>([&](QMessageBox* box) {
            box_title = box->windowTitle();
            box_text = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        QTRY_VERIFY_WITH_TIMEOUT(!tool.dialog->isVisible(), kTimeoutMs);
        QCOMPARE(box_title, QStringLiteral("COM ERROR"));
        QCOMPARE(
            box_text,
            QStringLiteral("Can not open COM port,\nPlease Close all application, and try again."));
        QCOMPARE(tool.dialog->result(), CUpdateToolDlg::kQuitResult);
    }

    void NoSettingsAsksForTheTypeAndStoresIt() {
        Simulator sim({"--model", "r3360", "--family", "nec"});
        ToolRun tool("");
        bool asked = false;
        AnswerNextModal<CUpdateType>([&](CUpdateType* dialog) {
            asked = true;
            QVERIFY(!dialog->Control(CUpdateType::kIdOk)->isEnabled());
            // The technician also names the port, so the run can go on after OK.
            tool.dir.Write("velkor-tool.ini", "[UpdateConfig]\r\nComPort=" + sim.device() + "\r\n");
            Tap(dialog, CUpdateType::kIdR3360);
            Tap(dialog, CUpdateType::kIdNec);
            Tap(dialog, CUpdateType::kIdSlave);
            Tap(dialog, CUpdateType::kIdOk);
        });
        QTRY_VERIFY_WITH_TIMEOUT(asked, kTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(qobject_cast<QLabel*>(tool.Control(kIdTypeDisplay))->text(),
                                  QStringLiteral("NEC(SLAVE)-R3360"), kTimeoutMs);
        QCOMPARE(tool.Settings(), "[UpdateConfig]\r\nComPort=" + sim.device() +
                                      "\r\n\r\nMcuType=2\r\n\r\nMcuSlave=1\r\n");
        QVERIFY(tool.Log().contains(QStringLiteral("\r\nR3360\r\n")));
        QCOMPARE(tool.Control(kIdLog)->width(), 785);  // no panel for the slave MCU
    }

    void GoodFireFileProgramsWithoutATouch() {
        testing::TempDir out;
        const std::string flash = (out.path() / "flash.bin").string();
        Simulator sim({"--model", "j5", "--family", "m3", "--flash-out", flash});
        ToolRun tool(Settings(sim.device(), "FireFile=fw.hex\r\nRecordFile=records.jsonl\r\n"));
        const std::string firmware = (tool.dir.path() / "fw.hex").string();
        QCOMPARE(testing::RunProcess(
                     {kSimProgram, "firmware", "--model", "j5", "--family", "m3", "-o", firmware}),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            tool.Log().contains(QStringLiteral("Update complete, MCU will auto reset\r\n")),
            kTimeoutMs);
        QVERIFY(tool.Log().contains(QStringLiteral("Press \"Update\" to start update.\r\n")));
        QCOMPARE(qobject_cast<QProgressBar*>(tool.Control(kIdProgress))->value(), 100);
        for (int id : {kIdOpen, kIdUpdate, kIdQuit, kIdApply}) {
            QVERIFY(!tool.Control(id)->isEnabled());
        }
        QCOMPARE(Text(tool, kIdFileChecksum).size(), 8);
        // "RecordFile" names the file the record line is appended to, beside the program.
        const std::string line = testing::TempDir::Read(tool.dir.path() / "records.jsonl");
        QVERIFY(line.ends_with("\n"));
        const auto record = nlohmann::json::parse(line);
        QVERIFY(record["command"] == "update");
        QVERIFY(record["result"] == "updated");
        QVERIFY(record["port"] == sim.device());
        QVERIFY(record["device"] == sim.device() && record["device_by_id"].is_null());
        QVERIFY(record["station"] == record["host"] && record["operator"].is_null());
        QVERIFY(record["file_checksum"] == Text(tool, kIdFileChecksum).toStdString());
        QVERIFY(record["mcu_checksum_before"] == Text(tool, kIdMcuChecksum).toStdString());
        QVERIFY(record["verify"].is_null());  // the window does not verify

        QCOMPARE(sim.Stop(), std::optional<int>(0));  // the simulator saves its flash as it ends
        Report report;
        CHexImage image(report);
        QCOMPARE(image.Load(firmware), 0);
        const std::string saved = testing::TempDir::Read(flash);
        QCOMPARE(saved.size(), std::size_t{kImageSize});
        QVERIFY(std::equal(image.Buffer(), image.Buffer() + 0x20000,
                           reinterpret_cast<const std::uint8_t*>(saved.data())));
    }

    void OpenChoosesTheFileAndUpdateProgramsIt() {
        Simulator sim({"--model", "r3360", "--family", "stm8"});
        ToolRun tool(Settings(sim.device(), {}, 1, 1));
        QCOMPARE(testing::RunProcess({kSimProgram, "firmware", "--model", "r3360", "--family",
                                      "stm8", "-o", (tool.dir.path() / "fw.s19").string()}),
                 0);
        tool.dir.Write("notes.txt", "not firmware");
        QTRY_VERIFY_WITH_TIMEOUT(
            tool.Control(kIdOpen)->isVisible() && tool.Control(kIdOpen)->isEnabled(), kTimeoutMs);

        QStringList names;
        QString info;
        AnswerNextModal<CCEOpenFileDialog>([&](CCEOpenFileDialog* browser) {
            info = qobject_cast<QLabel*>(browser->Control(CCEOpenFileDialog::kIdInfoLine))->text();
            auto* list = qobject_cast<QTreeWidget*>(browser->Control(CCEOpenFileDialog::kIdList));
            for (int row = 0; row < list->topLevelItemCount(); ++row) {
                names << list->topLevelItem(row)->text(0);
            }
            const auto found = list->findItems(QStringLiteral("fw.s19"), Qt::MatchExactly);
            QCOMPARE(found.size(), 1);
            list->setCurrentItem(found.front());
            qobject_cast<QPushButton*>(browser->Control(CCEOpenFileDialog::kIdOpen))->click();
        });
        QTest::mouseClick(tool.Control(kIdOpen), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(tool.Control(kIdUpdate)->isEnabled(), kTimeoutMs);
        QVERIFY(names.contains(QStringLiteral("fw.s19")));
        QVERIFY(!names.contains(QStringLiteral("notes.txt")));  // only STM8 firmware is listed
        QVERIFY(info.contains(QStringLiteral("R3360")));        // the MCU version text
        QVERIFY(tool.Log().contains(QStringLiteral("Press \"Update\" to start update.\r\n")));
        QVERIFY(!tool.Log().contains(QStringLiteral("UPDATE")));  // a chosen file waits for Update

        QTest::mouseClick(tool.Control(kIdUpdate), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(
            tool.Log().contains(QStringLiteral("Update complete, MCU will auto reset\r\n")),
            kTimeoutMs);
    }

    void SilentUnitWaitsForRetry() {
        Simulator sim({"--model", "r3360", "--family", "stm8", "--silent", "--fault-on", "version",
                       "--fault-times", "1"});
        ToolRun tool(Settings(sim.device(), {}, 1, 1));
        QTRY_VERIFY_WITH_TIMEOUT(
            tool.Control(kIdRetry)->isVisible() && tool.Control(kIdRetry)->isEnabled(), kTimeoutMs);
        QVERIFY(tool.Log().contains(QStringLiteral("MCU no respone\r\n")));
        QCOMPARE(Text(tool, kIdMcuChecksum), QStringLiteral(" "));
        QTest::mouseClick(tool.Control(kIdRetry), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(Text(tool, kIdMcuChecksum) != QStringLiteral(" "), kTimeoutMs);
        QVERIFY(!tool.Control(kIdRetry)->isVisible());
    }

    // Quit in the middle of a reply wait that would last six seconds more: the worker's wait
    // ends at once and the port is free for a tool started again at once.
    void QuitDuringAReplyWaitFreesThePortAtOnce() {
        // The version reply trickles in one byte every half second: the wait lasts until the
        // version time-out plus five seconds.
        Simulator sim({"--model", "j5", "--family", "m3", "--fault-on", "version", "--trickle",
                       "500", "--version-text", std::string(40, 'V')});
        ToolRun tool(Settings(sim.device()));
        QTRY_VERIFY_WITH_TIMEOUT(
            tool.Log().contains(QStringLiteral("======== MCU Version ========\r\n")), kTimeoutMs);
        QTest::qWait(300);  // well inside the wait for the version text
        QVERIFY(!tool.Log().contains(QStringLiteral("\r\nVVVV")));

        const auto quit = std::chrono::steady_clock::now();
        QTest::mouseClick(tool.Control(kIdQuit), Qt::LeftButton);
        QVERIFY(!tool.dialog->isVisible());
        PosixSerialPort again;
        QTRY_VERIFY_WITH_TIMEOUT(again.Open(sim.device()) == 0, 1000);
        tool.dialog.reset();  // nothing left to wait for
        QVERIFY(std::chrono::steady_clock::now() - quit < 1s);
    }

    void ApplyWritesTheOptionsTheUnitReportsNext() {
        Simulator sim({"--model", "j5", "--family", "m3"});
        ToolRun tool(Settings(sim.device(), "RecordFile=records.jsonl\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(Text(tool, kIdTypeDisplay), QStringLiteral("M3-J5"), kTimeoutMs);
        QVERIFY(List(tool, kIdTftList)->isVisible());  // the full panel
        QCOMPARE(List(tool, kIdRadioList)->currentText(), QStringLiteral("OSPREN"));
        List(tool, kIdTvList)->setCurrentIndex(6);  // "DVBT"
        List(tool, kIdHbrakeList)->setCurrentIndex(1);
        QTest::mouseClick(tool.Control(kIdApply), Qt::LeftButton);
        QVERIFY(tool.Log().endsWith(QStringLiteral("config complete, MCU will auto reset\r\n")));
        QCOMPARE(qobject_cast<QProgressBar*>(tool.Control(kIdProgress))->value(), 100);
        const auto record =
            nlohmann::json::parse(testing::TempDir::Read(tool.dir.path() / "records.jsonl"));
        QVERIFY(record["command"] == "apply" && record["result"] == "configured");
        QVERIFY(record["options_read"]["TV"] == "NULL");
        QVERIFY(record["options_written"]["TV"] == "DVBT");

        // The technician starts again from the TYPE display: the unit reports the new options.
        AnswerNextModal<CUpdateType>([](CUpdateType* dialog) { Tap(dialog, CUpdateType::kIdOk); });
        QTest::mouseClick(tool.Control(kIdTypeDisplay), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(tool.Log().count(QStringLiteral("MCU Version")), 2, kTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(Text(tool, kIdTypeDisplay), QStringLiteral("M3-J5"), kTimeoutMs);
        QCOMPARE(List(tool, kIdTvList)->currentText(), QStringLiteral("DVBT"));
        QCOMPARE(List(tool, kIdHbrakeList)->currentText(), QStringLiteral("ENABLE"));
        QCOMPARE(List(tool, kIdRadioList)->currentText(), QStringLiteral("OSPREN"));
    }

    void ApplyWithoutAcknowledgementFails() {
        Simulator sim(
            {"--model", "r3360", "--family", "nec", "--silent", "--fault-on", "configuration"});
        ToolRun tool(Settings(sim.device(), {}, 1, 2));
        QTRY_COMPARE_WITH_TIMEOUT(Text(tool, kIdTypeDisplay), QStringLiteral("NEC-R3360"),
                                  kTimeoutMs);
        QVERIFY(!List(tool, kIdTftList)->isVisible());  // the short panel
        QTest::mouseClick(tool.Control(kIdApply), Qt::LeftButton);
        QVERIFY(tool.Log().endsWith(QStringLiteral("config fail, please reset and try again\r\n")));
        QCOMPARE(qobject_cast<QProgressBar*>(tool.Control(kIdProgress))->value(), 50);
        QVERIFY(!tool.Control(kIdQuit)->isEnabled());
    }
};

}  // namespace velkor

QTEST_MAIN(velkor::ToolEndToEndTest)
#include "tool_e2e_test.moc"
