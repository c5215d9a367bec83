// A full-screen layer over every monitor in which the user clicks the spot to
// mark: the way to point at the screen where the program cannot see the
// pointer (Wayland). Each layer shows its monitor as it was when the picker
// opened, read through the program's own screen: a see-through window is not
// one everywhere (sway paints black below a full-screen window). Esc, or
// closing one layer, cancels.
#pragma once

#include "platform/screen.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

namespace zarvex::monitor {

class PointPicker : public QObject {
public:
    // `picked` receives the clicked point in desktop coordinates (the
    // compositor's logical ones), after the layers are gone from the screen.
    PointPicker(platform::Screen& screen, std::function<void(QPoint)> picked, QObject* parent = nullptr);
    ~PointPicker() override;

    void Open();
    bool IsOpen() const;
    void Finish(const QPoint* at); // null: cancelled

private:
    platform::Screen& screen_;
    std::function<void(QPoint)> picked_;
    std::vector<QPointer<QWidget>> layers_;
};

} // namespace zarvex::monitor
