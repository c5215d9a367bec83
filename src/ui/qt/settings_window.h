// Form3, the settings window ("配置"): the window-switch interval, the alert
// threshold and the local sound. Modeless; the numbers are saved when it closes,
// whichever way it is closed (close box, Alt+F4, Esc, the main window's exit).
#pragma once

#include "monitor/monitor_model.h"

#include <QDialog>

#include <filesystem>

class QCheckBox;
class QLineEdit;

namespace zarvex::config {

class Form3 : public QDialog {
public:
    Form3(monitor::MonitorState& state, std::filesystem::path configFile, QWidget* parent);

    // Esc closes the window the way its close box does: through closeEvent,
    // so the typed numbers are saved, or a bad one keeps the window open.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int Px(int twips) const;

    monitor::MonitorState& state_;
    std::filesystem::path configFile_;
    QLineEdit* T_chg_ = nullptr;
    QLineEdit* T_fz_ = nullptr;
    QCheckBox* Check1_ = nullptr;
};

} // namespace zarvex::config
