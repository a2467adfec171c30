#include "gui/update_type_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <array>

#include "gui/screen.h"
#include "gui/tool_icon.h"
#include "settings/unit_types.h"

namespace velkor {
namespace {

struct Row {
    int id;
    int x, y, width, height;
};

}  // namespace

CUpdateType::CUpdateType(ScreenSize screen, int app_type, int mcu_type, int slave, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint) {
    const DesignGrid g(screen);
    const QFont font = ToolFont(g.FontPixelHeight());
    setFont(font);
    setWindowIcon(ToolIcon());
    setGeometry(0, 0, g.width(), g.height());

    // Group boxes first, so the buttons over them stay on top.
    auto* application = new QGroupBox(QStringLiteral("SET APPLICATION"), this);
    auto* mcu = new QGroupBox(QStringLiteral("SET MCU"), this);
    auto* r3360 = new QRadioButton(QStringLiteral("R3360"), this);
    auto* j5 = new QRadioButton(QStringLiteral("J5"), this);
    auto* stm8 = new QRadioButton(QStringLiteral("ST8"), this);
    auto* nec = new QRadioButton(QStringLiteral("NEC"), this);
    auto* m3 = new QRadioButton(QStringLiteral("M3"), this);
    auto* slave_box = new QCheckBox(QStringLiteral("SLAVE MCU"), this);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("CANCEL"), this);
    for (QPushButton* button : {ok_, cancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    controls_ = {{kIdApplicationGroup, application},
                 {kIdMcuGroup, mcu},
                 {kIdR3360, r3360},
                 {kIdJ5, j5},
                 {kIdStm8, stm8},
                 {kIdNec, nec},
                 {kIdM3, m3},
                 {kIdSlave, slave_box},
                 {kIdOk, ok_},
                 {kIdCancel, cancel}};

    // One choice per group; none is chosen until the technician or the settings say so.
    auto* models = new QButtonGroup(this);
    models->addButton(r3360);
    models->addButton(j5);
    auto* families = new QButtonGroup(this);
    for (QRadioButton* button : {stm8, nec, m3}) {
        families->addButton(button);
    }

    const std::array<Row, 10> layout = {{
        {kIdApplicationGroup, g.X(5), g.Y(10), g.X(390), g.Y(250)},
        {kIdR3360, g.X(100), g.Y(50), g.X(250), g.Y(40)},
        {kIdJ5, g.X(100), g.Y(100), g.X(250), g.Y(40)},
        {kIdMcuGroup, g.X(390) + 2 * g.X(5), g.Y(10), g.X(390), g.Y(250)},
        {kIdStm8, g.X(500), g.Y(50), g.X(250), g.Y(40)},
        {kIdNec, g.X(500), g.Y(100), g.X(250), g.Y(40)},
        {kIdM3, g.X(500), g.Y(150), g.X(250), g.Y(40)},
        {kIdSlave, g.X(200), g.Y(290), g.X(200), g.Y(40)},
        {kIdOk, g.X(280), g.Y(350), g.X(110), g.Y(60)},
        {kIdCancel, g.X(440), g.Y(350), g.X(110), g.Y(60)},
    }};
    for (const Row& row : layout) {
        QWidget* control = controls_.at(row.id);
        control->setFont(font);
        control->setGeometry(row.x, row.y, row.width, row.height);
        control->show();
    }

    m_nAppType = app_type;
    if (app_type == kAppTypeR3360) {
        r3360->setChecked(true);
    } else if (app_type == kAppTypeJ5) {
        j5->setChecked(true);
    }
    m_nMcuType = mcu_type;
    if (mcu_type == kMcuTypeStm8) {
        stm8->setChecked(true);
    } else if (mcu_type == kMcuTypeNec) {
        nec->setChecked(true);
    } else if (mcu_type == kMcuTypeM3) {
        m3->setChecked(true);
    }
    ok_->setEnabled(m_nAppType != 0 && m_nMcuType != 0);
    m_nSlave = slave;
    slave_box->setChecked(slave != 0);

    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(r3360, &QRadioButton::clicked, this, [this] { OnModel(kAppTypeR3360); });
    connect(j5, &QRadioButton::clicked, this, [this] { OnModel(kAppTypeJ5); });
    connect(stm8, &QRadioButton::clicked, this, [this] { OnFamily(kMcuTypeStm8); });
    connect(nec, &QRadioButton::clicked, this, [this] { OnFamily(kMcuTypeNec); });
    connect(m3, &QRadioButton::clicked, this, [this] { OnFamily(kMcuTypeM3); });
    connect(slave_box, &QCheckBox::clicked, this,
            [this, slave_box] { m_nSlave = slave_box->isChecked() ? 1 : 0; });
}

QWidget* CUpdateType::Control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

// No click disables OK again: once both choices exist, one of each stays chosen.
void CUpdateType::OnModel(int app_type) {
    m_nAppType = app_type;
    if (m_nMcuType != 0) {
        ok_->setEnabled(true);
    }
}

void CUpdateType::OnFamily(int mcu_type) {
    m_nMcuType = mcu_type;
    if (m_nAppType != 0) {
        ok_->setEnabled(true);
    }
}

}  // namespace velkor
