#include "ui/qt/info_windows.h"

#include "monitor/monitor_model.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace zarvex::monitor {

namespace {

const char* const kTips = R"(<h3>使用提示</h3>
<ol>
<li>把鼠标移到要监控的位置，按 <b>Ctrl+W</b>，这个位置和它现在的颜色就加入监控点列表。可以设置多个监控点。</li>
<li>选择提醒方式：<b>有变化时提醒</b>（颜色一变就提醒），或 <b>无变化时提醒</b>（颜色连续不变达到阀值秒数时提醒）。</li>
<li>填写收信邮箱（只能是 163 邮箱），点 <b>启动</b>。监控时每秒检查一次每个监控点。</li>
<li>提醒时会发送邮件，并且每 3 秒播放一次提示音；在“系统配置”里可以关闭本地提醒，修改阀值和窗口切换间隔。</li>
<li>要轮流监控同一个程序的多个窗口，勾选 <b>多窗口自动切换</b>，输入窗口标题的一部分并点 <b>搜索</b>。</li>
</ol>
<p>监控点是屏幕上的固定位置：被监控的窗口要保持在最前面，不要移动它。</p>)";

} // namespace

InfoWindow::InfoWindow(Kind kind, QWidget* parent) : QDialog(parent)
{
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(this);
    text->setWordWrap(true);
    text->setTextFormat(Qt::RichText);
    if (kind == Kind::Tips) {
        setObjectName("tips");
        setWindowTitle(QString::fromUtf8("使用提示"));
        text->setText(QString::fromUtf8(kTips));
        resize(420, 300);
    } else {
        setObjectName("about");
        setWindowTitle(QString::fromUtf8("关于"));
        text->setText(QString::fromUtf8("<h3>Zarvex %1</h3>"
                                        "<p>屏幕变化提醒：监控屏幕上的点，颜色变化或长时间不变时，"
                                        "发送邮件并播放提示音。</p>"
                                        "<p>按 Ctrl+W 添加监控点；详见使用提示。</p>")
                          .arg(QString::fromUtf8(kVersion)));
        resize(320, 160);
    }
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::close);
    layout->addWidget(buttons);
}

} // namespace zarvex::monitor
