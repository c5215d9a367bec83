#include "ui/qt/settings_window.h"

#include "config/settings_window_logic.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>

namespace zarvex::config {

namespace {
QString U(const char* utf8) { return QString::fromUtf8(utf8); }
} // namespace

Form3::Form3(monitor::MonitorState& state, std::filesystem::path configFile, QWidget* parent)
    : QDialog(parent), state_(state), configFile_(std::move(configFile))
{
    setObjectName("Form3");
    setWindowTitle(U("配置"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose); // every opening loads afresh

    auto place = [&](QWidget* w, const char* name, int left, int top, int width, int height) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(Px(left), Px(top), Px(width), Px(height));
    };
    auto* label3 = new QLabel(U("窗口切换间隔："), this);
    place(label3, "Label3", 120, 120, 1320, 270);
    T_chg_ = new QLineEdit(U("70"), this);
    T_chg_->setAccessibleName(U("窗口切换间隔"));
    place(T_chg_, "T_chg", 1440, 120, 615, 270);
    auto* label2 = new QLabel(U("阀值："), this);
    place(label2, "Label2", 120, 480, 1320, 270);
    T_fz_ = new QLineEdit(U("60"), this);
    T_fz_->setAccessibleName(U("阀值"));
    place(T_fz_, "T_fz", 1440, 465, 615, 270);
    auto* check2 = new QCheckBox(U("邮件提醒"), this);
    check2->setChecked(true); // the e-mail alert is always on
    check2->setEnabled(false);
    place(check2, "Check2", 120, 720, 2000, 375);
    Check1_ = new QCheckBox(U("本地提醒"), this);
    place(Check1_, "Check1", 120, 1200, 2000, 375);
    setFixedSize(Px(3240), Px(2985));

    // Load: the boxes show the settings in force, the check box whether the
    // local sound is on now.
    T_chg_->setText(QString::number(state_.SwitchInterval));
    T_fz_->setText(QString::number(state_.Threshold));
    Check1_->setChecked(state_.LocalAlertOn);
    connect(Check1_, &QCheckBox::clicked, this, [this](bool checked) { state_.LocalAlertOn = checked; });
}

int Form3::Px(int twips) const
{
    const QScreen* s = screen();
    const double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return static_cast<int>(twips * dpi / 1440.0 + 0.5);
}

void Form3::reject()
{
    // QDialog would hide the window without a close event, dropping the numbers.
    close();
}

void Form3::closeEvent(QCloseEvent* event)
{
    const auto saved = CloseSettings(configFile_, T_chg_->text().toStdString(), T_fz_->text().toStdString(),
                                     {state_.Threshold, state_.SwitchInterval});
    if (!saved) {
        QMessageBox box(QMessageBox::NoIcon, U("提示"), U(kSettingsRefusal), QMessageBox::Ok, this);
        box.exec();
        event->ignore(); // stays open; nothing was written
        return;
    }
    state_.Threshold = saved->threshold;
    state_.SwitchInterval = saved->switchInterval;
    event->accept();
}

} // namespace zarvex::config
