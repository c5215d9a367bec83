#include "ui/qt/point_picker.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <vector>

namespace zarvex::monitor {

namespace {

// Long enough for the compositor to show the desktop without the layers
// again before the spot's colour is read.
constexpr int kSettleMs = 250;

class Layer : public QWidget {
public:
    Layer(PointPicker& picker, QScreen* screen, QImage picture)
        : picker_(picker), screen_(screen), picture_(std::move(picture))
    {
        setObjectName("pointPicker");
        setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setAttribute(Qt::WA_DeleteOnClose);
        setCursor(Qt::CrossCursor);
        setScreen(screen);
        setGeometry(screen->geometry());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawImage(rect(), picture_);
        const QString hint = QString::fromUtf8("点击要监控的位置（Esc 取消）");
        QRect box = painter.fontMetrics().boundingRect(hint).adjusted(-8, -4, 8, 4);
        box.moveTopLeft(QPoint((width() - box.width()) / 2, 8));
        painter.fillRect(box, QColor(255, 255, 224, 230));
        painter.drawText(box, Qt::AlignCenter, hint);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        // A layer covers exactly its monitor, whose place on the desktop Qt
        // knows even where it cannot tell a window's own position.
        const QPoint at = screen_->geometry().topLeft() + event->position().toPoint();
        picker_.Finish(&at);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape)
            picker_.Finish(nullptr);
    }
    void closeEvent(QCloseEvent* event) override
    {
        QWidget::closeEvent(event);
        picker_.Finish(nullptr);
    }

private:
    PointPicker& picker_;
    QScreen* screen_;
    QImage picture_;
};

// The monitor's logical rectangle as the screen reads it, one pixel per
// logical point, in a single reading.
QImage Picture(platform::Screen& screen, const QRect& area)
{
    std::vector<platform::Point> points;
    points.reserve(static_cast<size_t>(area.width()) * static_cast<size_t>(area.height()));
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            points.push_back({area.x() + x, area.y() + y});
    std::vector<int32_t> colors(points.size(), platform::kColorOutside);
    screen.PixelColors(points, colors);
    QImage picture(area.size(), QImage::Format_RGB32);
    size_t i = 0;
    for (int y = 0; y < area.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < area.width(); ++x, ++i) {
            const int32_t c = colors[i];
            line[x] = c == platform::kColorOutside ? qRgb(0, 0, 0) : qRgb(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff);
        }
    }
    return picture;
}

} // namespace

PointPicker::PointPicker(platform::Screen& screen, std::function<void(QPoint)> picked, QObject* parent)
    : QObject(parent), screen_(screen), picked_(std::move(picked))
{
}

PointPicker::~PointPicker()
{
    for (const auto& layer : layers_)
        delete layer.data();
}

bool PointPicker::IsOpen() const
{
    return !layers_.empty();
}

void PointPicker::Open()
{
    if (IsOpen())
        return;
    for (QScreen* screen : QGuiApplication::screens()) {
        auto* layer = new Layer(*this, screen, Picture(screen_, screen->geometry()));
        layers_.emplace_back(layer);
        layer->showFullScreen();
    }
    if (!layers_.empty() && layers_.front()) {
        layers_.front()->raise();
        layers_.front()->activateWindow();
    }
}

void PointPicker::Finish(const QPoint* at)
{
    if (!IsOpen())
        return;
    auto layers = std::move(layers_);
    layers_.clear();
    for (const auto& layer : layers) {
        if (layer)
            layer->hide();
    }
    for (const auto& layer : layers) {
        if (layer)
            layer->deleteLater();
    }
    if (at) {
        const QPoint point = *at;
        QTimer::singleShot(kSettleMs, this, [this, point] { picked_(point); });
    }
}

} // namespace zarvex::monitor
