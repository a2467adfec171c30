// The file browser dialog and its touch-drag list on the offscreen platform.
#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "gui/firmware_file_browser.h"
#include "gui/open_file_dialog.h"
#include "gui/screen.h"
#include "gui/slip_list_ctrl.h"
#include "picker/row_scroll.h"
#include "platform/clock.h"
#include "settings/unit_types.h"
#include "support/font_cell.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

QStringList RowNames(const QTreeWidget& list) {
    QStringList names;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        names << list.topLevelItem(i)->text(0);
    }
    return names;
}

QString Text(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return button->text();
    }
    return {};
}

void SendMouse(QWidget* target, QEvent::Type type, int y, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    const QPointF point(40, y);
    QMouseEvent event(type, point, target->mapToGlobal(point), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void Press(QWidget* target, int y) {
    SendMouse(target, QEvent::MouseButtonPress, y, Qt::LeftButton, Qt::LeftButton);
}
void DragTo(QWidget* target, int y) {
    SendMouse(target, QEvent::MouseMove, y, Qt::NoButton, Qt::LeftButton);
}
void Release(QWidget* target, int y) {
    SendMouse(target, QEvent::MouseButtonRelease, y, Qt::LeftButton, Qt::NoButton);
}

// A double tap as the platform delivers it: press, release, double click, release.
void DoubleTap(QWidget* target, QPoint point) {
    QTest::mouseClick(target, Qt::LeftButton, {}, point);
    QTest::mouseDClick(target, Qt::LeftButton, {}, point);
    QTest::mouseRelease(target, Qt::LeftButton, {}, point);
}

}  // namespace

class PickerTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<testing::TempDir> dir_;

    std::string Folder() const { return dir_->path().string(); }
    std::string Card() const { return Folder() + "/Storage Card"; }

    // A dialog listing `folder` with files of `mcu_type`.
    static std::unique_ptr<CCEOpenFileDialog> Dialog(const std::string& folder,
                                                     int mcu_type = kMcuTypeNec) {
        return std::make_unique<CCEOpenFileDialog>(mcu_type, folder);
    }
    static CSlipListCtrl& List(const CCEOpenFileDialog& dialog) { return *dialog.list(); }
    static void Click(const CCEOpenFileDialog& dialog, int id) {
        QTest::mouseClick(dialog.Control(id), Qt::LeftButton);
    }
    static void Select(const CCEOpenFileDialog& dialog, const QString& name) {
        const auto found = List(dialog).findItems(name, Qt::MatchExactly, 0);
        QVERIFY2(found.size() == 1, qPrintable(name));
        List(dialog).setCurrentItem(found.first());
    }

    // A list of `rows` files on virtual time, laid out and shown.
    static std::unique_ptr<CSlipListCtrl> FilledList(Clock& clock, int rows) {
        auto list = std::make_unique<CSlipListCtrl>(clock);
        list->setHeaderLabels({QStringLiteral("NAME"), QStringLiteral("DATE")});
        list->setIconSize(QSize(32, 32));
        for (int i = 0; i < rows; ++i) {
            new QTreeWidgetItem(list.get(), QStringList{QStringLiteral("row %1").arg(i)});
        }
        list->resize(400, 300);
        list->show();
        return list;
    }

  private slots:
    void init() {
        OverridePrimaryScreenSize({800, 480});
        dir_ = std::make_unique<testing::TempDir>();
        dir_->Write("Storage Card/top.hex", ":00000001FF\n");
        dir_->Write("Storage Card/fw/new.hex", ":00000001FF\n");
        dir_->Write("Storage Card/fw/new.s19", "S9030000FC\n");
        dir_->Write("Storage Card/readme.txt", "x");
        fs::create_directories(dir_->path() / "Storage Card/Old");
        fs::create_directories(dir_->path() / "Storage Card/.hidden");
    }
    void cleanup() {
        dir_.reset();
        OverridePrimaryScreenSize({0, 0});
    }

    void layoutOnTheDesignGrid_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("id");
        QTest::addColumn<QRect>("rect");
        using D = CCEOpenFileDialog;
        const std::pair<int, QRect> at800[] = {
            {D::kIdList, {5, 5, 785, 390}},       {D::kIdPathLine, {5, 400, 785, 30}},
            {D::kIdInfoLine, {10, 435, 400, 90}}, {D::kIdUp, {450, 430, 90, 40}},
            {D::kIdOpen, {550, 430, 90, 40}},     {D::kIdExit, {650, 430, 90, 40}},
        };
        for (const auto& [id, rect] : at800) {
            QTest::addRow("800x480 %d", id) << 800 << 480 << id << rect;
        }
        // On a wide screen the list's top edge follows the width (8), not the height (7).
        const std::pair<int, QRect> at1280[] = {
            {D::kIdList, {8, 8, 1280 - 8 - 16, 585}},
            {D::kIdPathLine, {8, 585 + 16, 1280 - 8 - 16, 45}},
            {D::kIdInfoLine, {16, 652, 640, 135}},
        };
        for (const auto& [id, rect] : at1280) {
            QTest::addRow("1280x720 %d", id) << 1280 << 720 << id << rect;
        }
    }
    void layoutOnTheDesignGrid() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, id);
        QFETCH(QRect, rect);
        OverridePrimaryScreenSize({width, height});
        const auto dialog = Dialog(Card());
        QCOMPARE(dialog->geometry(), QRect(0, 0, width, height));
        QWidget* control = dialog->Control(id);
        QVERIFY(control != nullptr);
        QCOMPARE(control->geometry(), rect);
        // 28 units is the font's cell, ascent plus descent, with the largest size that fits.
        QVERIFY(testing::IsLargestWithinCell(control->font(), height * 28 / 480));
        QVERIFY(!control->isHidden());
    }

    void templateTextsAndColumns() {
        const auto dialog = Dialog(Card());
        QCOMPARE(Text(dialog->Control(CCEOpenFileDialog::kIdUp)), QStringLiteral("UP"));
        QCOMPARE(Text(dialog->Control(CCEOpenFileDialog::kIdOpen)), QStringLiteral("OPEN"));
        QCOMPARE(Text(dialog->Control(CCEOpenFileDialog::kIdExit)), QStringLiteral("EXIT"));
        for (int id :
             {CCEOpenFileDialog::kIdUp, CCEOpenFileDialog::kIdOpen, CCEOpenFileDialog::kIdExit}) {
            const auto* button = qobject_cast<QPushButton*>(dialog->Control(id));
            QVERIFY(button != nullptr);
            QVERIFY(!button->autoDefault());
            QVERIFY(!button->isDefault());
        }
        QCOMPARE(dialog->Control(9999), nullptr);
        QVERIFY(!dialog->Control(CCEOpenFileDialog::kIdInfoLine)->isEnabled());
        QVERIFY(dialog->windowTitle().isEmpty());

        const CSlipListCtrl& list = List(*dialog);
        QCOMPARE(list.columnCount(), 2);
        QCOMPARE(list.headerItem()->text(0), QStringLiteral("NAME"));
        QCOMPARE(list.headerItem()->text(1), QStringLiteral("DATE"));
        QCOMPARE(list.columnWidth(0), 500);
        QCOMPARE(list.columnWidth(1), 260);
        QCOMPARE(list.iconSize(), QSize(32, 32));
        QCOMPARE(list.selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(list.selectionBehavior(), QAbstractItemView::SelectRows);
    }

    void infoLineShowsTheVersionText() {
        const auto dialog = Dialog(Card());
        dialog->SetInfoText("MCU V1.02 \xC3\xA9");
        QCOMPARE(Text(dialog->Control(CCEOpenFileDialog::kIdInfoLine)),
                 QStringLiteral("MCU V1.02 \u00E9"));
    }

    void rowsShowFoldersFirstWithIconsAndDates() {
        const auto dialog = Dialog(Card(), kMcuTypeUndetermined);
        const CSlipListCtrl& list = List(*dialog);
        QCOMPARE(RowNames(list), (QStringList{"Old", "fw", "top.hex"}));
        QCOMPARE(Text(dialog->Control(CCEOpenFileDialog::kIdPathLine)),
                 QString::fromStdString(Card() + "/"));
        const int expected_data[] = {kFolderItemData, kFolderItemData, kFileItemData};
        const RowIcon expected_icon[] = {RowIcon::kFolder, RowIcon::kFolder,
                                         RowIcon::kFirmwareFile};
        for (int i = 0; i < 3; ++i) {
            const QTreeWidgetItem* item = list.topLevelItem(i);
            QCOMPARE(item->data(0, CCEOpenFileDialog::kItemDataRole).toInt(), expected_data[i]);
            QCOMPARE(item->data(0, CCEOpenFileDialog::kRowIconRole).toInt(),
                     static_cast<int>(expected_icon[i]));
            QVERIFY(!item->icon(0).isNull());
            QCOMPARE(item->text(1).size(), 19);  // "2011-05-03 14:07:09"
        }
    }

    void openWithNoSelectionDoesNothing() {
        const auto dialog = Dialog(Card());
        Click(*dialog, CCEOpenFileDialog::kIdOpen);
        QCOMPARE(dialog->selected_index(), -1);
        QCOMPARE(dialog->result(), 0);
        QCOMPARE(dialog->browser().current_folder(), Card());
        QVERIFY(dialog->GetSelectedPath().empty());
    }

    void openOnAFolderEntersIt() {
        const auto dialog = Dialog(Card());
        dialog->show();
        // Nothing looks chosen before a tap: no selection, no current row.
        QVERIFY(List(*dialog).selectedItems().isEmpty());
        QCOMPARE(List(*dialog).currentItem(), nullptr);
        Select(*dialog, QStringLiteral("fw"));
        Click(*dialog, CCEOpenFileDialog::kIdOpen);
        QCOMPARE(dialog->selected_index(), 1);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->browser().current_folder(), Card() + "/fw");
        QCOMPARE(RowNames(List(*dialog)), QStringList{"new.hex"});
        QCOMPARE(Text(dialog->Control(CCEOpenFileDialog::kIdPathLine)),
                 QString::fromStdString(Card() + "/fw/"));
        // The new folder starts without a selection.
        QVERIFY(List(*dialog).selectedItems().isEmpty());
        Click(*dialog, CCEOpenFileDialog::kIdOpen);
        QCOMPARE(dialog->result(), 0);
    }

    void openOnAFileEndsWithItsPath() {
        const auto dialog = Dialog(Card());
        dialog->show();
        Select(*dialog, QStringLiteral("top.hex"));
        Click(*dialog, CCEOpenFileDialog::kIdOpen);
        QCOMPARE(dialog->result(), CCEOpenFileDialog::kIdOk);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->GetSelectedPath(), Card() + "/top.hex");
    }

    void doubleTapOpens() {
        const auto dialog = Dialog(Card());
        dialog->show();
        CSlipListCtrl& list = List(*dialog);
        const QRect fw = list.visualItemRect(list.topLevelItem(1));
        DoubleTap(list.viewport(), fw.center());
        QCOMPARE(dialog->browser().current_folder(), Card() + "/fw");
        const QRect file = list.visualItemRect(list.topLevelItem(0));
        DoubleTap(list.viewport(), file.center());
        QCOMPARE(dialog->result(), CCEOpenFileDialog::kIdOk);
        QCOMPARE(dialog->GetSelectedPath(), Card() + "/fw/new.hex");
    }

    void exitEndsWithoutAPath() {
        const auto dialog = Dialog(Card());
        dialog->show();
        Select(*dialog, QStringLiteral("top.hex"));
        Click(*dialog, CCEOpenFileDialog::kIdExit);
        QCOMPARE(dialog->result(), CCEOpenFileDialog::kIdCancel);
        QVERIFY(dialog->GetSelectedPath().empty());
        // Escape ends the dialog as EXIT does.
        const auto other = Dialog(Card());
        other->show();
        QTest::keyClick(other.get(), Qt::Key_Escape);
        QCOMPARE(other->result(), CCEOpenFileDialog::kIdCancel);
    }

    void runForTheMainWindowReturnsThePathOnlyAfterOpen() {
        // Acts on the dialog once its modal loop runs.
        const auto act_on_modal = [](const std::function<void(CCEOpenFileDialog&)>& act) {
            QTimer::singleShot(0, [act] {
                auto* dialog = qobject_cast<CCEOpenFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog != nullptr);
                act(*dialog);
            });
        };
        act_on_modal([](CCEOpenFileDialog& dialog) {
            QCOMPARE(Text(dialog.Control(CCEOpenFileDialog::kIdInfoLine)), QStringLiteral("V9"));
            Select(dialog, QStringLiteral("top.hex"));
            dialog.OnOpen();
        });
        QCOMPARE(RunFirmwareFileBrowser(nullptr, kMcuTypeM3, "V9", Card()),
                 std::optional<std::string>(Card() + "/top.hex"));
        act_on_modal([](CCEOpenFileDialog& dialog) {
            Select(dialog, QStringLiteral("top.hex"));
            dialog.OnExit();
        });
        QCOMPARE(RunFirmwareFileBrowser(nullptr, kMcuTypeM3, "V9", Card()), std::nullopt);
    }

    void upGoesToTheParentAndNotPastTheRoot() {
        const auto dialog = Dialog(Card() + "/fw");
        Click(*dialog, CCEOpenFileDialog::kIdUp);
        QCOMPARE(dialog->browser().current_folder(), Card());
        QCOMPARE(Text(dialog->Control(CCEOpenFileDialog::kIdPathLine)),
                 QString::fromStdString(Card() + "/"));
        QCOMPARE(RowNames(List(*dialog)), (QStringList{"Old", "fw", "top.hex"}));

        const auto root = Dialog("");
        const QStringList rows = RowNames(List(*root));
        QVERIFY(rows.contains(QStringLiteral("tmp")));
        Click(*root, CCEOpenFileDialog::kIdUp);
        QCOMPARE(root->browser().current_folder(), std::string());
        QCOMPARE(Text(root->Control(CCEOpenFileDialog::kIdPathLine)), QStringLiteral("/"));
        QCOMPARE(RowNames(List(*root)), rows);
    }

    void storageArrivalRelistsTheRoot() {
        const auto dialog = Dialog("");
        int mounts = 30;
        dialog->SetMountCountSource([&] { return mounts; });
        dialog->OnMountTableChanged();
        QVERIFY(!dialog->IsTimerRunning(kStorageArrivalTimerId));

        mounts = 31;
        dialog->OnMountTableChanged();
        QVERIFY(dialog->IsTimerRunning(kStorageArrivalTimerId));
        QCOMPARE(dialog->TimerIntervalMs(kStorageArrivalTimerId), 3000);
        QVERIFY(!dialog->IsTimerRunning(kStorageRemovalTimerId));

        List(*dialog).clear();  // the re-check must list the root anew
        dialog->OnTimer(kStorageArrivalTimerId);
        QVERIFY(!dialog->IsTimerRunning(kStorageArrivalTimerId));
        QVERIFY(RowNames(List(*dialog)).contains(QStringLiteral("tmp")));
    }

    void storageArrivalLeavesAnEmptyFolder() {
        const auto dialog = Dialog(Card() + "/Old");
        dialog->OnStorageChange(StorageChange::kArrival);
        dialog->OnTimer(kStorageArrivalTimerId);
        QCOMPARE(dialog->browser().current_folder(), std::string());
        QCOMPARE(Text(dialog->Control(CCEOpenFileDialog::kIdPathLine)), QStringLiteral("/"));

        const auto busy = Dialog(Card());
        busy->OnStorageChange(StorageChange::kArrival);
        busy->OnTimer(kStorageArrivalTimerId);
        QCOMPARE(busy->browser().current_folder(), Card());
        QVERIFY(!busy->IsTimerRunning(kStorageArrivalTimerId));
    }

    void storageRemovalLeavesAVanishedFolder() {
        const auto dialog = Dialog(Card() + "/fw");
        int mounts = 31;
        dialog->SetMountCountSource([&] { return mounts; });
        Select(*dialog, QStringLiteral("new.hex"));

        mounts = 30;
        dialog->OnMountTableChanged();
        QVERIFY(dialog->IsTimerRunning(kStorageRemovalTimerId));
        QCOMPARE(dialog->TimerIntervalMs(kStorageRemovalTimerId), 500);
        dialog->OnTimer(kStorageRemovalTimerId);  // the folder is still there: kept
        QCOMPARE(dialog->browser().current_folder(), Card() + "/fw");
        QCOMPARE(List(*dialog).selectedItems().size(), 1);
        QVERIFY(!dialog->IsTimerRunning(kStorageRemovalTimerId));

        fs::remove_all(Card());
        mounts = 29;
        dialog->OnMountTableChanged();
        dialog->OnTimer(kStorageRemovalTimerId);
        QCOMPARE(dialog->browser().current_folder(), std::string());
        QCOMPARE(Text(dialog->Control(CCEOpenFileDialog::kIdPathLine)), QStringLiteral("/"));
        QVERIFY(RowNames(List(*dialog)).contains(QStringLiteral("tmp")));

        // Other timer ids change nothing.
        dialog->OnTimer(5);
        dialog->OnTimer(2);
        QCOMPARE(dialog->browser().current_folder(), std::string());
    }

    void dragScrollsWholeRowsWithTheFinger() {
        VirtualClock clock(100);
        const auto list = FilledList(clock, 60);
        const int row = list->RowHeight();
        QVERIFY(row > 0);
        QWidget* viewport = list->viewport();
        QScrollBar* bar = list->verticalScrollBar();
        bar->setValue(20);

        // Up by 3.5 rows: the content follows, rounded to 4 rows.
        Press(viewport, 250);
        clock.Advance(100);
        DragTo(viewport, 250 - row * 7 / 2);
        QCOMPARE(bar->value(), 24);
        // 20 pixels or less moves nothing.
        DragTo(viewport, 250 - row * 7 / 2 - 20);
        QCOMPARE(bar->value(), 24);
        // Down by two rows.
        DragTo(viewport, 250 - row * 3 / 2);
        QCOMPARE(bar->value(), 22);
        Release(viewport, 250 - row * 3 / 2);
        QCOMPARE(list->motion().drag_state(), DragState::kGliding);
        QVERIFY(list->IsGlideTimerActive());
    }

    void glideFollowsTheWorkedExample() {
        VirtualClock clock(100);
        const auto list = FilledList(clock, 200);
        QWidget* viewport = list->viewport();
        QScrollBar* bar = list->verticalScrollBar();
        bar->setValue(150);
        const int row = list->RowHeight();

        Press(viewport, 50);
        clock.Advance(50);
        DragTo(viewport, 150);  // 100 pixels down in 50 ms
        Release(viewport, 150);
        const int after_drag = 150 + WholeRows(-100, row);
        QCOMPARE(bar->value(), after_drag);
        QCOMPARE(list->motion().velocity(), -40);

        int expected = after_drag;
        for (int velocity = -40; velocity < -20; velocity += 2) {
            list->OnTimer(kGlideTimerId);
            expected += WholeRows(velocity, row);
            QCOMPARE(bar->value(), expected);
        }
        QVERIFY(list->IsGlideTimerActive());
        list->OnTimer(kGlideTimerId);
        QCOMPARE(bar->value(), expected);
        QVERIFY(!list->IsGlideTimerActive());
        QCOMPARE(list->motion().drag_state(), DragState::kIdle);
    }

    void otherButtonsAndHoverDoNotDrag() {
        VirtualClock clock(100);
        const auto list = FilledList(clock, 60);
        QWidget* viewport = list->viewport();
        SendMouse(viewport, QEvent::MouseButtonPress, 200, Qt::RightButton, Qt::RightButton);
        SendMouse(viewport, QEvent::MouseMove, 100, Qt::NoButton, Qt::RightButton);
        SendMouse(viewport, QEvent::MouseButtonRelease, 100, Qt::RightButton, Qt::NoButton);
        SendMouse(viewport, QEvent::MouseMove, 10, Qt::NoButton, Qt::NoButton);
        QCOMPARE(list->motion().drag_state(), DragState::kIdle);
        QCOMPARE(list->verticalScrollBar()->value(), 0);
        QVERIFY(!list->IsGlideTimerActive());
    }
};

}  // namespace velkor

QTEST_MAIN(velkor::PickerTest)
#include "picker_test.moc"
