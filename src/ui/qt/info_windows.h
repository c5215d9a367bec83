// The tips window (shown at start-up while the "tips" counter lasts) and the
// about window: modeless, one instance each, static text.
#pragma once

#include <QDialog>

namespace zarvex::monitor {

class InfoWindow : public QDialog {
public:
    enum class Kind { Tips, About };
    InfoWindow(Kind kind, QWidget* parent);
};

} // namespace zarvex::monitor
