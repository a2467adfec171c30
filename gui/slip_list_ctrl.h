// The file browser's list: a one-level list with columns whose rows follow a dragged finger
// and glide on after the lift, for touch screens without a usable scroll bar.
#pragma once

#include <QBasicTimer>
#include <QTreeWidget>
#include <memory>

#include "picker/slip_motion.h"
#include "platform/clock.h"

namespace velkor {

class CSlipListCtrl : public QTreeWidget, private SlipHost {
    Q_OBJECT

  public:
    // Timed by the machine's clock.
    explicit CSlipListCtrl(QWidget* parent = nullptr);
    // Timed by `clock` (tests), which must outlive the control.
    explicit CSlipListCtrl(Clock& clock, QWidget* parent = nullptr);
    ~CSlipListCtrl() override;

    // A timer message with the given id: the glide timer drives one glide step.
    void OnTimer(int timer_id);
    bool IsGlideTimerActive() const { return glide_timer_.isActive(); }
    const SlipMotion& motion() const { return motion_; }

    // The height of one row in pixels, 0 while the list is empty.
    int RowHeight() const;

  protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void SetUpList();

    // SlipHost.
    void ScrollVertically(int pixels) override;
    void StartTimer(int timer_id, int period_ms) override;
    void KillTimer(int timer_id) override;

    std::unique_ptr<Clock> own_clock_;
    SlipMotion motion_;
    QBasicTimer glide_timer_;
};

}  // namespace velkor
