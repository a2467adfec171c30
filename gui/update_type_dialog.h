// The full-screen dialog in which the technician states the unit model, the MCU family and
// whether the slave MCU is the target.
#pragma once

#include <QDialog>
#include <map>

#include "session/design_grid.h"

class QAbstractButton;
class QCheckBox;
class QPushButton;
class QRadioButton;

namespace velkor {

class CUpdateType : public QDialog {
    Q_OBJECT

  public:
    enum ControlId : int {
        kIdOk = 1107,
        kIdCancel = 1108,
        kIdApplicationGroup = 1005,
        kIdMcuGroup = 1006,
        kIdR3360 = 1205,
        kIdJ5 = 1206,
        kIdStm8 = 1207,
        kIdNec = 1208,
        kIdM3 = 1209,
        kIdSlave = 1310,
    };

    // Starts from the current choices; values that name nothing leave their buttons clear.
    CUpdateType(ScreenSize screen, int app_type, int mcu_type, int slave,
                QWidget* parent = nullptr);

    int m_nAppType = 0;
    int m_nMcuType = 0;
    // The slave value it started from until "SLAVE MCU" is clicked, then 1 or 0.
    int m_nSlave = 0;

    QWidget* Control(int id) const;

  private:
    void OnModel(int app_type);
    void OnFamily(int mcu_type);

    std::map<int, QWidget*> controls_;
    QPushButton* ok_ = nullptr;
};

}  // namespace velkor
