// The full-screen, touch-friendly file browser in which the technician chooses a firmware
// file: one folder at a time, folders first, only the files of the MCU family, following
// storage that comes and goes while it is open.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QTimer>
#include <array>
#include <map>
#include <memory>
#include <string>

#include "picker/folder_browser.h"
#include "picker/listing_rules.h"
#include "picker/mount_watcher.h"

class QLabel;
class QPushButton;

namespace velkor {

class CSlipListCtrl;
class MountTableNotifier;

// Timers of the file browser: the re-check after a storage arrival and after a removal.
inline constexpr int kStorageArrivalTimerId = 3;
inline constexpr int kStorageArrivalDelayMs = 3000;
inline constexpr int kStorageRemovalTimerId = 4;
inline constexpr int kStorageRemovalDelayMs = 500;

class CCEOpenFileDialog : public QDialog {
    Q_OBJECT

  public:
    enum ControlId : int {
        kIdPathLine = 1011,
        kIdInfoLine = 1012,
        kIdUp = 1109,
        kIdExit = 1110,
        kIdOpen = 1111,
        kIdList = 1311,
    };
    // What the dialog ends with.
    static constexpr int kIdOk = 1;
    static constexpr int kIdCancel = 2;
    // Roles of a row's name cell: the item data (a folder or a file) and its RowIcon.
    static constexpr int kItemDataRole = Qt::UserRole;
    static constexpr int kRowIconRole = Qt::UserRole + 1;

    // Lays itself out over the whole primary screen and lists `program_directory` (empty for
    // the root), showing the files that suit `mcu_type`. Storage changes are learnt from the
    // kernel's mount table.
    CCEOpenFileDialog(int mcu_type, const std::string& program_directory,
                      QWidget* parent = nullptr);
    ~CCEOpenFileDialog() override;

    // The text of the info line, UTF-8.
    void SetInfoText(const std::string& info_text);
    // The chosen firmware file's full path; empty unless the dialog ended with kIdOk.
    std::string GetSelectedPath() const { return selected_path_; }

    QWidget* Control(int id) const;
    CSlipListCtrl* list() const { return list_; }
    const FolderBrowser& browser() const { return browser_; }
    int selected_index() const { return selected_index_; }

    // The buttons and the double tap.
    void OnUp();
    void OnOpen();
    void OnExit();

    // Storage came or went: the re-check runs after the arrival or removal delay, restarted
    // by every further change of the same kind.
    void OnStorageChange(StorageChange change);
    // The mount table reported a change.
    void OnMountTableChanged();
    // Counts the mounts with `count_source` from now on (tests), starting from its present
    // count.
    void SetMountCountSource(MountTableWatcher::CountSource count_source);

    // A timer message: the storage re-checks.
    void OnTimer(int timer_id);
    bool IsTimerRunning(int timer_id) const;
    int TimerIntervalMs(int timer_id) const;

  public slots:
    // Escape and closing the window end the dialog as EXIT does.
    void reject() override;

  private:
    void CreateControls();
    void PlaceControls();
    void SetUpList();
    void ShowRows();
    int SelectionMark() const;
    QTimer* Timer(int timer_id) const;

    FolderBrowser browser_;
    std::array<QIcon, kRowIconCount> icons_;
    int selected_index_ = -1;
    std::string selected_path_;
    std::map<int, QWidget*> controls_;
    CSlipListCtrl* list_ = nullptr;
    QLabel* path_line_ = nullptr;
    QLabel* info_line_ = nullptr;
    QTimer* arrival_timer_ = nullptr;
    QTimer* removal_timer_ = nullptr;
    MountTableWatcher watcher_;
    MountTableNotifier* notifier_ = nullptr;
};

}  // namespace velkor
