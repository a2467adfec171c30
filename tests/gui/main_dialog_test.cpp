// The main window and the update type dialog, offscreen, with the screen size set by the test.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "gui/main_dialog.h"
#include "gui/screen.h"
#include "gui/update_tool_app.h"
#include "gui/update_type_dialog.h"
#include "session/control_ids.h"
#include "settings/unit_types.h"
#include "support/font_cell.h"
#include "support/temp_dir.h"
#include "testing/fake_serial_port.h"
#include "testing/fake_unit_shell.h"

namespace velkor {
namespace {

// A session on a fake port and virtual time: nothing here touches a real device.
struct Fixture {
    explicit Fixture(ScreenSize screen) {
        OverridePrimaryScreenSize(screen);
        dialog = std::make_unique<CUpdateToolDlg>(session, shell);
    }
    ~Fixture() {
        dialog.reset();
        OverridePrimaryScreenSize({0, 0});
    }
    QRect Rect(int id) const { return dialog->Control(id)->geometry(); }

    VirtualClock clock;
    FakeSerialPort port{clock};
    FakeUnitShell shell;
    UpdateSession session{port, clock, "/nonexistent/velkor-tool.ini"};
    std::unique_ptr<CUpdateToolDlg> dialog;
};

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void LayoutOnTheDesignGrid_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QRect>("quit");
        QTest::addColumn<QRect>("log");
        QTest::addColumn<QRect>("progress");
        QTest::addColumn<int>("panel_x");
        QTest::newRow("800x480") << 800 << 480 << QRect(700, 410, 90, 60) << QRect(5, 45, 515, 340)
                                 << QRect(5, 385, 785, 15) << 520;
        // Each product is truncated on its own: 480 * 5 / 800 = 3, 272 * 5 / 480 = 2, ...
        QTest::newRow("480x272") << 480 << 272 << QRect(420, 233, 54, 34) << QRect(3, 24, 309, 192)
                                 << QRect(3, 216, 471, 15) << 312;
    }
    void LayoutOnTheDesignGrid() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QRect, quit);
        QFETCH(QRect, log);
        QFETCH(QRect, progress);
        QFETCH(int, panel_x);
        Fixture f({width, height});
        QCOMPARE(f.dialog->geometry(), QRect(0, 0, width, height));
        QCOMPARE(f.Rect(kIdQuit), quit);
        QCOMPARE(f.Rect(kIdLog), log);
        QCOMPARE(f.Rect(kIdProgress), progress);
        QCOMPARE(f.Rect(kIdTvLabel).x(), panel_x);
        // 28 units is the font's cell, ascent plus descent, with the largest size that fits.
        QVERIFY(testing::IsLargestWithinCell(f.dialog->Control(kIdLog)->font(), height * 28 / 480));
    }

    void StartStateOfTheControls() {
        Fixture f({800, 480});
        auto text = [&](int id) { return qobject_cast<QLabel*>(f.dialog->Control(id))->text(); };
        QCOMPARE(text(kIdTitle), QStringLiteral("Velkor Tool"));
        QVERIFY(f.dialog->windowTitle().isEmpty());  // the title label names it, not a caption
        QVERIFY(!f.dialog->windowIcon().pixmap(32, 32).isNull());
        QCOMPARE(text(kIdTypeDisplay), QStringLiteral("UNKNOWN"));
        QCOMPARE(text(kIdMcuChecksumLabel), QStringLiteral("MCU Checksum: "));
        QCOMPARE(text(kIdFileChecksum), QStringLiteral(" "));
        QVERIFY(!f.dialog->Control(kIdMcuChecksumLabel)->isEnabled());
        for (int id : {kIdUpdate, kIdOpen, kIdRetry, kIdContinue, kIdConfig, kIdNotify,
                       kIdRadioR3360, kIdRdsList, kIdTftList}) {
            QVERIFY2(f.dialog->Control(id)->isHidden(), qPrintable(QString::number(id)));
        }
        for (int id : {kIdQuit, kIdApply, kIdTvList, kIdHbrakeList}) {
            QVERIFY2(!f.dialog->Control(id)->isHidden(), qPrintable(QString::number(id)));
        }
        for (auto* button : f.dialog->findChildren<QPushButton*>()) {
            QVERIFY(!button->autoDefault() && !button->isDefault());
        }
        auto* tft = qobject_cast<QComboBox*>(f.dialog->Control(kIdTftList));
        QCOMPARE(tft->count(), 9);
        QCOMPARE(tft->itemText(8), QStringLiteral("INN 6.5\" NEW"));
        QCOMPARE(tft->currentIndex(), 0);
    }

    void BannerIsTheFirstLine() {
        Fixture f({800, 480});
        QCOMPARE(f.dialog->log_text(), QStringLiteral("******** Update Tool V2.3 ********\r\n"));
    }

    void LogIsTrimmedByTheOldestHalf() {
        Fixture f({800, 480});
        const QString banner = f.dialog->log_text();
        const QString filler(kLogTrimThreshold - 1 - banner.size(), QLatin1Char('a'));
        f.dialog->AppendText(filler.toStdString());
        QCOMPARE(f.dialog->log_text().size(), kLogTrimThreshold - 1);
        f.dialog->AppendText("b");  // 16383 characters: nothing is lost
        QCOMPARE(f.dialog->log_text().size(), kLogTrimThreshold);
        QVERIFY(f.dialog->log_text().startsWith(banner));
        f.dialog->AppendText("c");  // 16384: the oldest 8192 go first
        QCOMPARE(f.dialog->log_text().size(), kLogTrimThreshold - kLogTrimCount + 1);
        QVERIFY(f.dialog->log_text().endsWith(QStringLiteral("bc")));
        auto* log = qobject_cast<QPlainTextEdit*>(f.dialog->Control(kIdLog));
        QCOMPARE(log->toPlainText().size(), f.dialog->log_text().size());
    }

    void LogShowsLinesWithoutCarriageReturns() {
        Fixture f({800, 480});
        f.dialog->AppendText("one\r\ntwo\r\n");
        auto* log = qobject_cast<QPlainTextEdit*>(f.dialog->Control(kIdLog));
        QCOMPARE(log->toPlainText(),
                 QStringLiteral("******** Update Tool V2.3 ********\none\ntwo\n"));
    }

    // The window shows the unit's text as it came; its copy on the terminal is escaped.
    void UnitTextReachesTheTerminalEscaped() {
        Fixture f({800, 480});
        testing::TempDir dir;
        const std::string copy = (dir.path() / "stderr").string();
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        const int file = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(file, STDERR_FILENO);
        f.dialog->AppendForeign("V\x1b]0;x\x07\n", std::nullopt);
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        ::close(file);
        QCOMPARE(testing::TempDir::Read(copy), std::string("V\\x1b]0;x\\x07\\n"));
        QVERIFY(f.dialog->log_text().endsWith(QStringLiteral("V\x1b]0;x\x07\n")));
    }

    void PanelForFamilyAndModel_data() {
        QTest::addColumn<int>("app");
        QTest::addColumn<int>("mcu");
        QTest::addColumn<bool>("slave");
        QTest::addColumn<bool>("full");
        QTest::addColumn<bool>("panel");
        QTest::newRow("M3 on R3360")
            << int(kAppTypeR3360) << int(kMcuTypeM3) << false << true << true;
        QTest::newRow("M3 on J5") << int(kAppTypeJ5) << int(kMcuTypeM3) << false << true << true;
        QTest::newRow("STM8 on J5")
            << int(kAppTypeJ5) << int(kMcuTypeStm8) << false << true << true;
        QTest::newRow("STM8 on R3360")
            << int(kAppTypeR3360) << int(kMcuTypeStm8) << false << false << true;
        QTest::newRow("NEC on J5") << int(kAppTypeJ5) << int(kMcuTypeNec) << false << false << true;
        QTest::newRow("slave") << int(kAppTypeJ5) << int(kMcuTypeM3) << true << false << false;
        QTest::newRow("no family") << int(kAppTypeJ5) << 0 << false << false << false;
    }
    void PanelForFamilyAndModel() {
        QFETCH(int, app);
        QFETCH(int, mcu);
        QFETCH(bool, slave);
        QFETCH(bool, full);
        QFETCH(bool, panel);
        Fixture f({800, 480});
        f.dialog->show();
        f.dialog->StopWorker();
        f.dialog->LayOutOptionPanel(app, mcu, slave);
        QCOMPARE(f.Rect(kIdLog).width(), panel ? 515 : 785);
        if (!panel) {
            return;  // the log is raised over whatever the panel shows
        }
        QCOMPARE(f.dialog->Control(kIdTftList)->isVisible(), full);
        QCOMPARE(f.dialog->Control(kIdAudioLabel)->isVisible(), full);
        QVERIFY(f.dialog->Control(kIdTvList)->isVisible());
        QVERIFY(!f.dialog->Control(kIdRdsList)->isVisible());
        // Rows every 40 from 45; APPLY at x0 + 45, 40 + 20 below the last row.
        const int rows = full ? 6 : 2;
        QCOMPARE(f.Rect(kIdHbrakeLabel).y(), 45 + (rows - 1) * 40);
        QCOMPARE(f.Rect(kIdApply), QRect(565, 45 + (rows - 1) * 40 + 60, 90, 60));
        if (full) {
            QCOMPARE(f.Rect(kIdTftLabel).y(), 45);
        }
    }

    void DecodedOptionsAreSelectedAndApplyReadsThemBack() {
        Fixture f({800, 480});
        UnitOptions options{};
        options[kOptionTft] = 8;
        options[kOptionTv] = 8;
        options[kOptionAudio] = 3;
        options[kOptionHbrake] = 1;
        f.dialog->ShowUnitOptions(options);
        QCOMPARE(qobject_cast<QComboBox*>(f.dialog->Control(kIdTvList))->currentText(),
                 QStringLiteral("ISDBT-IN"));
        QVERIFY(f.dialog->SelectedUnitOptions() == options);
    }

    void ApplyReadsEachListIntoItsOptionByte() {
        Fixture f({800, 480});
        // A different index in every list, so that a swapped pair shows.
        const std::pair<int, int> picks[] = {
            {kIdTftList, 8},   {kIdDvdList, 3},    {kIdTvList, 7}, {kIdAudioList, 2},
            {kIdRadioList, 1}, {kIdHbrakeList, 1}, {kIdRdsList, 1}};
        for (const auto& [list, index] : picks) {
            qobject_cast<QComboBox*>(f.dialog->Control(list))->setCurrentIndex(index);
        }
        const UnitOptions want = {8, 3, 7, 2, 1, 1, 1};  // TFT DVD TV AUDIO RADIO HBRAKE RDS
        QVERIFY(f.dialog->SelectedUnitOptions() == want);
    }

    void NothingClosesTheWindowWhileTheMcuIsProgrammed() {
        Fixture f({800, 480});
        f.dialog->show();
        f.dialog->StopWorker();
        f.dialog->sequence().OnUpdate();
        QVERIFY(f.dialog->sequence().busy_with_mcu());
        QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
        QTest::keyClick(f.dialog.get(), Qt::Key_Return);
        f.dialog->close();
        QVERIFY(f.dialog->isVisible());
        f.dialog->sequence().OnWorkerReport(7, 0);  // programming done
        QTest::keyClick(f.dialog.get(), Qt::Key_Return);
        QVERIFY(!f.dialog->isVisible());
        QCOMPARE(f.dialog->result(), int(QDialog::Accepted));
    }

    // Return ends the dialog as its default OK only where no focused control takes it: the log
    // keeps Return, and so does a button (the one tapped last, where focus comes back after
    // the file browser).
    void ReturnEndsTheDialogOnlyWhereNoControlTakesIt_data() {
        QTest::addColumn<int>("focus");
        QTest::addColumn<bool>("ends");
        QTest::newRow("log") << int(kIdLog) << false;
        QTest::newRow("Quit") << int(kIdQuit) << false;
        QTest::newRow("APPLY") << int(kIdApply) << false;
        QTest::newRow("closed option list") << int(kIdTvList) << true;
    }
    void ReturnEndsTheDialogOnlyWhereNoControlTakesIt() {
        QFETCH(int, focus);
        QFETCH(bool, ends);
        Fixture f({800, 480});
        f.dialog->show();
        f.dialog->StopWorker();
        QWidget* control = f.dialog->Control(focus);
        control->setFocus();
        for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(control, Qt::Key(key));
        }
        QCOMPARE(f.dialog->isVisible(), !ends);
        if (ends) {
            QCOMPARE(f.dialog->result(), int(QDialog::Accepted));
        }
    }

    void QuitShowsAHiddenTaskBar() {
        Fixture f({800, 480});
        const WindowId task_bar =
            f.shell.AddWindow({"", "HHTaskBar", std::nullopt, /*visible=*/false});
        f.dialog->show();
        QTest::mouseClick(f.dialog->Control(kIdQuit), Qt::LeftButton);
        QVERIFY(!f.dialog->isVisible());
        QCOMPARE(f.dialog->result(), CUpdateToolDlg::kQuitResult);
        QVERIFY(f.shell.window(task_bar)->visible);
    }

    // Every way out shows the task bar again as the window ends, not once the worker has wound
    // down and the window is gone.
    void EveryWayOutShowsTheTaskBarAsTheWindowEnds_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Quit") << 0;
        QTest::newRow("Escape") << 1;
        QTest::newRow("Return") << 2;
        QTest::newRow("window close") << 3;
    }
    void EveryWayOutShowsTheTaskBarAsTheWindowEnds() {
        QFETCH(int, way);
        testing::TempDir dir;
        // A unit that does not answer: the run waits for Retry, no modal window comes up.
        dir.Write("velkor-tool.ini",
                  "[UpdateConfig]\r\nAppType=2\r\nMcuType=3\r\nComPort=/dev/fake\r\n");
        OverridePrimaryScreenSize({800, 480});
        VirtualClock clock;
        FakeSerialPort port{clock};
        FakeUnitShell shell;
        const WindowId task_bar = shell.AddWindow({"", "HHTaskBar", std::nullopt, true});
        UpdateSession session{port, clock, dir.path() / "velkor-tool.ini"};
        bool shown_as_it_ended = false;
        bool hidden_while_running = false;
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
            auto* dialog = qobject_cast<CUpdateToolDlg*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible()) {
                return;
            }
            poll->stop();
            poll->deleteLater();
            hidden_while_running = !shell.window(task_bar)->visible;
            QObject::connect(dialog, &QDialog::finished, dialog,
                             [&] { shown_as_it_ended = shell.window(task_bar)->visible; });
            switch (way) {
                case 0:
                    QTest::mouseClick(dialog->Control(kIdQuit), Qt::LeftButton);
                    break;
                case 1:
                    QTest::keyClick(dialog, Qt::Key_Escape);
                    break;
                case 2:
                    QTest::keyClick(dialog, Qt::Key_Return);
                    break;
                default:
                    dialog->close();
                    break;
            }
        });
        poll->start(10);
        CUpdateToolApp app(shell, clock);
        QCOMPARE(app.InitInstance(session), 0);
        OverridePrimaryScreenSize({0, 0});
        QVERIFY(hidden_while_running);
        QVERIFY(shown_as_it_ended);
        QVERIFY(shell.window(task_bar)->visible);
        QVERIFY(!port.IsOpen());
    }

    void TypeDialogLayoutAndStart_data() {
        QTest::addColumn<int>("app");
        QTest::addColumn<int>("mcu");
        QTest::addColumn<int>("slave");
        QTest::addColumn<bool>("ok_enabled");
        QTest::newRow("nothing chosen") << 0 << 0 << 0 << false;
        QTest::newRow("model only") << 2 << 0 << 0 << false;
        QTest::newRow("both") << 1 << 3 << 1 << true;
        QTest::newRow("slave value read") << 2 << 1 << 2 << true;
        QTest::newRow("values that name nothing") << 5 << 7 << 0 << true;
    }
    void TypeDialogLayoutAndStart() {
        QFETCH(int, app);
        QFETCH(int, mcu);
        QFETCH(int, slave);
        QFETCH(bool, ok_enabled);
        CUpdateType dialog({800, 480}, app, mcu, slave);
        auto checked = [&](int id) {
            return qobject_cast<QAbstractButton*>(dialog.Control(id))->isChecked();
        };
        QCOMPARE(dialog.Control(CUpdateType::kIdOk)->isEnabled(), ok_enabled);
        QCOMPARE(checked(CUpdateType::kIdR3360), app == 1);
        QCOMPARE(checked(CUpdateType::kIdJ5), app == 2);
        QCOMPARE(checked(CUpdateType::kIdM3), mcu == 3);
        QCOMPARE(checked(CUpdateType::kIdSlave), slave != 0);
        QCOMPARE(dialog.m_nSlave, slave);  // until the box is clicked
        QCOMPARE(dialog.Control(CUpdateType::kIdMcuGroup)->geometry(), QRect(400, 10, 390, 250));
        QCOMPARE(dialog.Control(CUpdateType::kIdCancel)->geometry(), QRect(440, 350, 110, 60));
        QCOMPARE(qobject_cast<QAbstractButton*>(dialog.Control(CUpdateType::kIdStm8))->text(),
                 QStringLiteral("ST8"));
    }

    void TypeDialogEnablesOkOnTheSecondChoiceInEitherOrder() {
        for (bool family_first : {false, true}) {
            CUpdateType dialog({800, 480}, 0, 0, 1);
            dialog.show();
            QWidget* ok = dialog.Control(CUpdateType::kIdOk);
            const int first = family_first ? CUpdateType::kIdNec : CUpdateType::kIdJ5;
            const int second = family_first ? CUpdateType::kIdJ5 : CUpdateType::kIdNec;
            // Buttons take taps on their mark and text, at their left.
            auto tap = [&](int id) {
                QWidget* button = dialog.Control(id);
                QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
            };
            tap(first);
            QVERIFY(!ok->isEnabled());
            tap(second);
            QVERIFY(ok->isEnabled());
            QTest::keyClick(&dialog, Qt::Key_Return);  // no default button: Return does nothing
            QVERIFY(dialog.isVisible());
            tap(CUpdateType::kIdSlave);
            QTest::mouseClick(ok, Qt::LeftButton);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.m_nAppType, 2);
            QCOMPARE(dialog.m_nMcuType, 2);
            QCOMPARE(dialog.m_nSlave, 0);  // clearing SLAVE MCU stores 0
        }
    }
};

}  // namespace velkor

QTEST_MAIN(velkor::MainDialogTest)
#include "main_dialog_test.moc"
