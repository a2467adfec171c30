#include "gui/open_file_dialog.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <utility>

#include "gui/mount_table_notifier.h"
#include "gui/row_icons.h"
#include "gui/screen.h"
#include "gui/slip_list_ctrl.h"
#include "gui/tool_icon.h"
#include "session/design_grid.h"

namespace velkor {

CCEOpenFileDialog::CCEOpenFileDialog(int mcu_type, const std::string& program_directory,
                                     QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      browser_(mcu_type),
      watcher_([] { return CountMounts(); }) {
    setWindowTitle(QString());
    setWindowIcon(ToolIcon());
    CreateControls();
    PlaceControls();
    SetUpList();

    arrival_timer_ = new QTimer(this);
    arrival_timer_->setInterval(kStorageArrivalDelayMs);
    connect(arrival_timer_, &QTimer::timeout, this, [this] { OnTimer(kStorageArrivalTimerId); });
    removal_timer_ = new QTimer(this);
    removal_timer_->setInterval(kStorageRemovalDelayMs);
    connect(removal_timer_, &QTimer::timeout, this, [this] { OnTimer(kStorageRemovalTimerId); });

    selected_index_ = -1;
    browser_.List(program_directory);
    ShowRows();

    notifier_ = new MountTableNotifier([this] { OnMountTableChanged(); }, this);
}

CCEOpenFileDialog::~CCEOpenFileDialog() = default;

void CCEOpenFileDialog::CreateControls() {
    list_ = new CSlipListCtrl(this);
    path_line_ = new QLabel(this);
    path_line_->setTextFormat(Qt::PlainText);
    path_line_->setWordWrap(false);
    // Centred, not at the top: a framed label indents the edges it is aligned to, which
    // would push the line's descenders out of its 30 units.
    path_line_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    path_line_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    info_line_ = new QLabel(QStringLiteral("        "), this);
    info_line_->setTextFormat(Qt::PlainText);
    info_line_->setWordWrap(true);
    info_line_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    info_line_->setEnabled(false);

    controls_[kIdList] = list_;
    controls_[kIdPathLine] = path_line_;
    controls_[kIdInfoLine] = info_line_;
    const std::pair<int, const char*> buttons[] = {
        {kIdUp, "UP"}, {kIdOpen, "OPEN"}, {kIdExit, "EXIT"}};
    for (const auto& [id, text] : buttons) {
        auto* button = new QPushButton(QString::fromLatin1(text), this);
        // Return must never press a button behind the technician's back.
        button->setAutoDefault(false);
        button->setDefault(false);
        controls_[id] = button;
    }
    connect(static_cast<QPushButton*>(controls_[kIdUp]), &QPushButton::clicked, this,
            [this] { OnUp(); });
    connect(static_cast<QPushButton*>(controls_[kIdOpen]), &QPushButton::clicked, this,
            [this] { OnOpen(); });
    connect(static_cast<QPushButton*>(controls_[kIdExit]), &QPushButton::clicked, this,
            [this] { OnExit(); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { OnOpen(); });
}

void CCEOpenFileDialog::PlaceControls() {
    const DesignGrid grid(PrimaryScreenSize());
    const QFont font = ToolFont(grid.FontPixelHeight());
    move(0, 0);
    resize(grid.width(), grid.height());

    const int list_width = grid.width() - grid.X(5) - grid.X(10);
    // The list's top edge scales with the width, like its left edge.
    const std::pair<int, QRect> placements[] = {
        {kIdList, QRect(grid.X(5), grid.X(5), list_width, grid.Y(390))},
        {kIdPathLine, QRect(grid.X(5), grid.Y(390) + 2 * grid.X(5), list_width, grid.Y(30))},
        {kIdInfoLine, QRect(grid.X(10), grid.Y(435), grid.X(400), grid.Y(90))},
        {kIdUp, QRect(grid.X(450), grid.Y(430), grid.X(90), grid.Y(40))},
        {kIdOpen, QRect(grid.X(550), grid.Y(430), grid.X(90), grid.Y(40))},
        {kIdExit, QRect(grid.X(650), grid.Y(430), grid.X(90), grid.Y(40))},
    };
    for (const auto& [id, rect] : placements) {
        QWidget* control = controls_.at(id);
        control->setFont(font);
        control->setGeometry(rect);
        control->show();
    }

    list_->setHeaderLabels({QStringLiteral("NAME"), QStringLiteral("DATE")});
    list_->setColumnWidth(0, grid.X(500));
    list_->setColumnWidth(1, grid.X(260));
}

void CCEOpenFileDialog::SetUpList() {
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setAllColumnsShowFocus(true);
    QHeaderView* header = list_->header();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    // The two columns fill the list; a scroll bar for the pixels the vertical one takes would
    // only cover the last row.
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    icons_ = MakeRowIcons(*style());
    list_->setIconSize(QSize(kRowIconSize, kRowIconSize));
}

void CCEOpenFileDialog::ShowRows() {
    list_->setUpdatesEnabled(false);
    list_->clear();
    path_line_->setText(QString::fromUtf8(browser_.path_line()));
    QList<QTreeWidgetItem*> items;
    for (const ListingRow& row : browser_.rows().rows()) {
        auto* item = new QTreeWidgetItem(
            QStringList{QString::fromUtf8(row.name), QString::fromUtf8(row.date_text)});
        item->setIcon(0, icons_[static_cast<std::size_t>(row.icon)]);
        item->setData(0, kItemDataRole, row.is_folder ? kFolderItemData : kFileItemData);
        item->setData(0, kRowIconRole, static_cast<int>(row.icon));
        items.append(item);
    }
    list_->addTopLevelItems(items);
    list_->setUpdatesEnabled(true);
}

void CCEOpenFileDialog::SetInfoText(const std::string& info_text) {
    info_line_->setText(QString::fromUtf8(info_text));
}

QWidget* CCEOpenFileDialog::Control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

int CCEOpenFileDialog::SelectionMark() const {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.first());
}

void CCEOpenFileDialog::OnUp() {
    if (browser_.Up()) {
        ShowRows();
    }
}

void CCEOpenFileDialog::OnOpen() {
    selected_index_ = SelectionMark();
    if (selected_index_ < 0) {
        return;
    }
    FolderBrowser::OpenResult result = browser_.Open(selected_index_);
    switch (result.outcome) {
        case FolderBrowser::OpenOutcome::kEnteredFolder:
            ShowRows();
            break;
        case FolderBrowser::OpenOutcome::kChoseFile:
            selected_path_ = std::move(result.path);
            done(kIdOk);
            break;
        case FolderBrowser::OpenOutcome::kNothing:
            break;
    }
}

void CCEOpenFileDialog::OnExit() {
    done(kIdCancel);
}

void CCEOpenFileDialog::reject() {
    OnExit();
}

void CCEOpenFileDialog::OnStorageChange(StorageChange change) {
    // Starting a running timer starts its count again.
    if (change == StorageChange::kArrival) {
        arrival_timer_->start(kStorageArrivalDelayMs);
    } else if (change == StorageChange::kRemoval) {
        removal_timer_->start(kStorageRemovalDelayMs);
    }
}

void CCEOpenFileDialog::OnMountTableChanged() {
    OnStorageChange(watcher_.TableChanged());
}

void CCEOpenFileDialog::SetMountCountSource(MountTableWatcher::CountSource count_source) {
    watcher_ = MountTableWatcher(std::move(count_source));
}

void CCEOpenFileDialog::OnTimer(int timer_id) {
    if (timer_id == kStorageArrivalTimerId) {
        if (browser_.RecheckAfterArrival()) {
            ShowRows();
        }
        arrival_timer_->stop();
    } else if (timer_id == kStorageRemovalTimerId) {
        if (browser_.RecheckAfterRemoval()) {
            ShowRows();
        }
        removal_timer_->stop();
    }
}

QTimer* CCEOpenFileDialog::Timer(int timer_id) const {
    switch (timer_id) {
        case kStorageArrivalTimerId:
            return arrival_timer_;
        case kStorageRemovalTimerId:
            return removal_timer_;
        default:
            return nullptr;
    }
}

bool CCEOpenFileDialog::IsTimerRunning(int timer_id) const {
    const QTimer* timer = Timer(timer_id);
    return timer != nullptr && timer->isActive();
}

int CCEOpenFileDialog::TimerIntervalMs(int timer_id) const {
    const QTimer* timer = Timer(timer_id);
    return timer != nullptr ? timer->interval() : 0;
}

}  // namespace velkor
