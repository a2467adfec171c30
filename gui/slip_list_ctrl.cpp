#include "gui/slip_list_ctrl.h"

#include <QMouseEvent>
#include <QScrollBar>
#include <QTimerEvent>

#include "picker/row_scroll.h"

namespace velkor {
namespace {

int EventY(const QMouseEvent* event) {
    return event->position().toPoint().y();
}

}  // namespace

CSlipListCtrl::CSlipListCtrl(QWidget* parent)
    : QTreeWidget(parent), own_clock_(std::make_unique<RealClock>()), motion_(*own_clock_, *this) {
    SetUpList();
}

CSlipListCtrl::CSlipListCtrl(Clock& clock, QWidget* parent)
    : QTreeWidget(parent), motion_(clock, *this) {
    SetUpList();
}

CSlipListCtrl::~CSlipListCtrl() {
    motion_.FinalRelease();
}

void CSlipListCtrl::SetUpList() {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Scrolling goes by whole rows, and only the finger moves the list: the view's own
    // scrolling at the edges during a press would fight the drag.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setAutoScroll(false);
}

int CSlipListCtrl::RowHeight() const {
    if (topLevelItemCount() == 0) {
        return 0;
    }
    return indexRowSizeHint(indexFromItem(topLevelItem(0)));
}

void CSlipListCtrl::OnTimer(int timer_id) {
    motion_.Timer(timer_id);
}

void CSlipListCtrl::focusInEvent(QFocusEvent* event) {
    const bool had_current = currentIndex().isValid();
    QTreeWidget::focusInEvent(event);
    // The view makes its first row current when it takes the focus, which draws that row as
    // if chosen; only a tap marks a row here.
    if (!had_current && currentIndex().isValid() && selectionModel() != nullptr) {
        selectionModel()->clearCurrentIndex();
    }
}

void CSlipListCtrl::mousePressEvent(QMouseEvent* event) {
    QTreeWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        motion_.TouchDown(EventY(event));
    }
}

void CSlipListCtrl::mouseMoveEvent(QMouseEvent* event) {
    QTreeWidget::mouseMoveEvent(event);
    // Only a touching finger drags; a mouse passing over the list does not.
    if (event->buttons() & Qt::LeftButton) {
        motion_.Move(EventY(event));
    }
}

void CSlipListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        motion_.Lift();
    }
}

void CSlipListCtrl::timerEvent(QTimerEvent* event) {
    if (event->timerId() == glide_timer_.timerId()) {
        OnTimer(kGlideTimerId);
        return;
    }
    QTreeWidget::timerEvent(event);
}

void CSlipListCtrl::ScrollVertically(int pixels) {
    const int rows = WholeRows(pixels, RowHeight());
    if (rows != 0) {
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(bar->value() + rows);
    }
}

void CSlipListCtrl::StartTimer(int timer_id, int period_ms) {
    if (timer_id == kGlideTimerId) {
        glide_timer_.start(period_ms, this);
    }
}

void CSlipListCtrl::KillTimer(int timer_id) {
    if (timer_id == kGlideTimerId) {
        glide_timer_.stop();
    }
}

}  // namespace velkor
