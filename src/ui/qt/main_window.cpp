#include "ui/qt/main_window.h"

#include "config/settings.h"
#include "ui/qt/settings_window.h"
#include "ui/qt/info_windows.h"
#include "ui/qt/point_picker.h"
#include "monitor/desktop_notices.h"
#include "ui/qt/qt_background_runner.h"
#include "notify/http_post.h"
#include "notify/services.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QEventLoop>
#include <QHeaderView>
#include <QApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QTranslator>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace zarvex::monitor {

namespace {

// Design sizes in twips.
constexpr int kClientWidth = 4785;
constexpr int kCompactHeight = 3900;

constexpr int kTallHeight = 6330;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

} // namespace

class Form1::TimerAdapter : public Timer {
public:
    explicit TimerAdapter(QTimer* t) : t_(t) {}
    void Start() override { t_->start(); }
    void Stop() override { t_->stop(); }
    bool IsRunning() const override { return t_->isActive(); }

private:
    QTimer* t_;
};

void InstallChineseTranslations()
{
    static QTranslator* translator = nullptr;
    if (translator)
        return;
    translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

Form1::Form1(const Form1Services& services, config::FileLocations files, QWidget* parent)
    : QMainWindow(parent), services_(services), configFile_(std::move(files.configFile)),
      soundFile_(std::move(files.soundFile)), pointModel_(table_)
{
    setObjectName("Form1");
    setWindowTitle(U("Zarvex提醒"));
    BuildControls();

    if (services_.hotKeys)
        hotKeyModule_ = std::make_unique<hotkey::HotKeyModule>(*services_.hotKeys, [this] {
            // Where the pointer is not known, the key opens the picker instead.
            if (services_.screen && !services_.screen->KnowsCursorPosition())
                MarkPoint();
            else
                AddPointFromHotKey();
        });

    runner_ = std::make_unique<QtBackgroundRunner>();
    updateCheck_ = std::make_unique<notify::UpdateCheck>(*runner_, &notify::PostEmpty);
    notifications_ = std::make_unique<notify::NotificationSender>(
        *runner_, &notify::PostEmpty, [this](const std::string& line) { ShowNotificationFailure(line); },
        services_.notifyRetryDelaysMs);

    timer1_ = std::make_unique<TimerAdapter>(Timer1_);
    timer2_ = std::make_unique<TimerAdapter>(Timer2_);
    timer3_ = std::make_unique<TimerAdapter>(Timer3_);
    if (services_.screen) {
        run_ = std::unique_ptr<RunContext>(new RunContext{state_, table_, *this, *timer1_, *timer2_, *timer3_,
                                                          *services_.screen,
                                                          [this](int point, const std::string& a) {
                                                              SendNotification(point, a);
                                                          },
                                                          configFile_});
    }
    connect(Command2_, &QPushButton::clicked, this, &Form1::OnStartStop);
    connect(Timer3_, &QTimer::timeout, this, &Form1::OnSampling);
    connect(Timer2_, &QTimer::timeout, this, &Form1::OnAlertPass);
    connect(Timer7_, &QTimer::timeout, this, &Form1::OnSoundTick);
    connect(Timer5_, &QTimer::timeout, this, &Form1::OnSwitchTick);
    connect(Check1_, &QCheckBox::clicked, this, &Form1::OnCheck1);
    connect(Command1_, &QPushButton::clicked, this, &Form1::OnSearch);

    StartupServices startup;
    startup.checkForUpdate = [this] { CheckForUpdate(); };
    startup.registerHotKey = [this] {
        if (hotKeyModule_)
            hotKeyModule_->SetHotKey(1, "Ctrl,87", "Add");
    };
    RunStartup(state_, configFile_, *this, startup);

    if (services_.screen)
        picker_ = new PointPicker(*services_.screen, [this](QPoint at) {
            state_.CurrentX = at.x();
            state_.CurrentY = at.y();
            state_.CurrentColor = services_.screen->PixelColor({at.x(), at.y()});
            AddPointFromHotKey();
        },
        this);
    DesktopAbilities abilities;
    abilities.hotKey = services_.hotKeys != nullptr;
    abilities.windows = services_.windows != nullptr;
    abilities.keepsOnTop = services_.windows && services_.windows->KeepsOnTop();
    for (const std::string& notice : DesktopNotices(abilities, services_.markCommand))
        Notice(notice);

    // After start-up no run is active: cursor tracking, alerting, switching
    // and sound run; sampling waits for "启动".
    Timer1_->start();
    Timer2_->start();
    Timer5_->start();
    Timer7_->start();
}

Form1::~Form1() = default;

int Form1::Px(int twips) const
{
    const QScreen* s = screen();
    const double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return static_cast<int>(twips * dpi / 1440.0 + 0.5);
}

void Form1::BuildControls()
{
    auto* central = new QWidget(this);
    central->setObjectName("client");
    setCentralWidget(central);

    auto place = [&](QWidget* w, const char* name, int left, int top, int width, int height) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(Px(left), Px(top), Px(width), Px(height));
    };
    // A read-only box that serves as the caption of the box beside it.
    auto prompt = [&](const char* name, const char* text, int left, int top) {
        auto* box = new QLineEdit(U(text), central);
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::NoFocus);
        box->setFrame(false);
        box->setAccessibleName(U(text));
        box->setStyleSheet("QLineEdit { background: transparent; }");
        place(box, name, left, top, 1100, 375);
        return box;
    };

    Text1_ = prompt("Text1", "收信邮箱：", 30, 120);
    Text2_ = new QLineEdit(central);
    Text2_->setAccessibleName(U("收信邮箱"));
    place(Text2_, "Text2", 1080, 120, 2415, 375);
    Command2_ = new QPushButton(U("启动"), central);
    place(Command2_, "Command2", 3600, 120, 1095, 375);

    opt_whenchange_ = new QRadioButton(U("有变化时提醒"), central);
    place(opt_whenchange_, "opt_whenchange", 120, 600, 1695, 255);
    opt_whennotchange_ = new QRadioButton(U("无变化时提醒"), central);
    place(opt_whennotchange_, "opt_whennotchange", 1560, 600, 1575, 255);
    Check1_ = new QCheckBox(U("多窗口自动切换"), central);
    place(Check1_, "Check1", 3120, 600, 1695, 255);
    Label2_ = new QLabel(U("鼠标移到指定位置后按CTRL+W即可设置监控点。"), central);
    place(Label2_, "Label2", 120, 960, 4575, 255);
    mailFailure_ = new QLabel(central);
    mailFailure_->setStyleSheet("QLabel { color: #c00000; }");
    place(mailFailure_, "mailFailure", 120, 960, 4575, 255);
    mailFailure_->hide();

    auto table = [&](const char* name, const char* accessible, QAbstractItemModel* model, int top) {
        auto* view = new QTableView(central);
        view->setModel(model);
        view->setAccessibleName(U(accessible));
        view->verticalHeader()->hide();
        view->setEditTriggers(QAbstractItemView::NoEditTriggers); // no in-place editing
        view->setSelectionBehavior(QAbstractItemView::SelectRows); // whole-row selection
        view->setShowGrid(true);                                   // grid lines
        view->setWordWrap(false);
        view->horizontalHeader()->setHighlightSections(false);
        place(view, name, 30, top, 4695, 1815);
        return view;
    };
    ListView2_ = table("ListView2", "监控点", &pointModel_, 1320);
    Label1_ = new QLabel(U("Label1"), central);
    place(Label1_, "Label1", 2880, 3240, 615, 375);
    Text3_ = prompt("Text3", "程序名称：", 30, 3300);
    serch_proc_ = new QLineEdit(central);
    serch_proc_->setAccessibleName(U("程序名称"));
    place(serch_proc_, "serch_proc", 1080, 3300, 2415, 375);
    Command1_ = new QPushButton(U("搜索"), central);
    place(Command1_, "Command1", 3600, 3300, 1095, 375);
    ListView1_ = table("ListView1", "窗口列表", &windowListModel_, 3720);
    if (!services_.windows) {
        // Nothing here pretends to work: the search part says why, in its place.
        noSwitching_ = new QLabel(U(kNoWindowSwitching), central);
        noSwitching_->setWordWrap(true);
        place(noSwitching_, "noSwitching", 30, 3720, 4695, 600);
        noSwitching_->hide();
        Command1_->setEnabled(false);
        serch_proc_->setEnabled(false);
    }

    // Two commands on the menu bar itself, no submenus.
    QAction* config = menuBar()->addAction(U("系统配置"));
    config->setObjectName("config");
    QAction* forhelp = menuBar()->addAction(U("关于"));
    forhelp->setObjectName("forhelp");
    connect(forhelp, &QAction::triggered, this, [this] { ShowInfo(aboutWindow_, 1); });
    connect(config, &QAction::triggered, this, &Form1::OpenSettings);

    auto timer = [&](const char* name, int interval) {
        auto* t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setInterval(interval);
        return t;
    };
    Timer1_ = timer("Timer1", 100);
    Timer2_ = timer("Timer2", 1000);
    Timer3_ = timer("Timer3", 1000);
    Timer5_ = timer("Timer5", 1000);
    Timer7_ = timer("Timer7", 3000);
    connect(Timer1_, &QTimer::timeout, this, &Form1::OnTimer1);

    setFixedWidth(Px(kClientWidth));
    SetOuterHeightTwips(kCompactHeight);
}

void Form1::SetOuterHeightTwips(int twips)
{
    outerHeightTwips_ = twips;
    // The outer height includes the title bar and borders, which the window
    // manager adds; until the window is shown, assume a usual title bar.
    int frame = frameGeometry().height() - geometry().height();
    if (!isVisible() || frame <= 0)
        frame = Px(450);
    setFixedHeight(std::max(Px(twips) - frame, 1));
}

void Form1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Now the real frame is known.
    QTimer::singleShot(0, this, [this] { SetOuterHeightTwips(outerHeightTwips_); });
}

void Form1::SelectNoChangeMode()
{
    opt_whennotchange_->setChecked(true);
}

void Form1::ApplyCompactLayout()
{
    Text3_->hide();
    serch_proc_->hide();
    Command1_->hide();
    ListView1_->hide();
    SetOuterHeightTwips(kCompactHeight);
}

void Form1::SetEmailText(const std::string& text)
{
    Text2_->setText(QString::fromStdString(text));
}

void Form1::SetSearchText(const std::string& text)
{
    serch_proc_->setText(QString::fromStdString(text));
}

void Form1::ShowTipsWindow()
{
    ShowInfo(tipsWindow_, 0);
}

void Form1::ShowInfo(QPointer<InfoWindow>& window, int kind)
{
    // One instance: a second request brings the same window forward.
    if (!window)
        window = new InfoWindow(kind == 0 ? InfoWindow::Kind::Tips : InfoWindow::Kind::About, this);
    window->show();
    window->raise();
    window->activateWindow();
}

void Form1::PrepareWindowList()
{
    windowList_.Clear();
    for (int c = 0; c < 4; ++c)
        ListView1_->setColumnWidth(c, Px(windows::WindowListModel::kColumns[c].widthTwips));
}

void Form1::OnCheck1()
{
    if (!windows::SwitchRuleHolds(state_)) {
        Check1_->setChecked(false);
        ShowMessage(U(windows::kSwitchRuleMessage));
        return;
    }
    const bool tall = Check1_->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{Text3_, serch_proc_, Command1_, ListView1_})
        w->setVisible(tall);
    if (noSwitching_) {
        ListView1_->setVisible(false);
        noSwitching_->setVisible(tall);
    }
    SetOuterHeightTwips(tall ? kTallHeight : kCompactHeight);
}

void Form1::OnSearch()
{
    if (services_.windows)
        windows::WindowSearch(windowList_, search_, *services_.windows, SearchText());
}

void Form1::OnSwitchTick()
{
    if (services_.windows && timer3_)
        windows::SwitchTick(switch_, windowList_, state_, table_, *timer3_, *services_.windows, *this);
}

void Form1::ShowSwitchTicks(int32_t ticks)
{
    Label1_->setText(QString::number(ticks));
}

void Form1::HeldWait(int milliseconds)
{
    // The window thread waits, but the window still repaints: every timer is
    // held (and restarted afresh, so no tick is made up) and user input waits
    // until the end, as it would for a sleeping thread.
    std::vector<QTimer*> held;
    for (QTimer* t : {Timer1_, Timer2_, Timer3_, Timer5_, Timer7_}) {
        if (t->isActive()) {
            t->stop();
            held.push_back(t);
        }
    }
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    for (QTimer* t : held)
        t->start();
}

std::string Form1::Now()
{
    return windows::GeneralDateTimeText(QDateTime::currentDateTime()).toStdString();
}

void Form1::OpenSettings()
{
    // One instance: a second command brings the same window forward.
    if (!settingsWindow_)
        settingsWindow_ = new config::Form3(state_, configFile_, this);
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

void Form1::PreparePointTable()
{
    table_.Clear();
    for (int c = 0; c < 7; ++c)
        ListView2_->setColumnWidth(c, Px(PointTableModel::kColumns[c].widthTwips));
}

void Form1::OnTimer1()
{
    if (!services_.screen)
        return;
    // Where the pointer's position is not known the caption is left as it is.
    if (const std::string caption = TrackCursor(*services_.screen, state_); !caption.empty())
        setWindowTitle(QString::fromStdString(caption));
}

void Form1::AddPointFromHotKey()
{
    if (AddMonitorPoint(table_, state_) == AddResult::TableFull)
        ShowMessage(U("监控点已达到上限（%1个），不能再添加。").arg(kMaxPoints));
}

void Form1::MarkPoint()
{
    if (!services_.screen)
        return;
    if (!services_.screen->KnowsCursorPosition()) {
        // The picker shows the desktop as the screen reads it: not at all
        // while it cannot be read.
        if (const std::string why = services_.screen->Unavailable(); !why.empty()) {
            ShowMessage(why);
            return;
        }
        picker_->Open(); // the point is added when the user clicks
        return;
    }
    TrackCursor(*services_.screen, state_);
    AddPointFromHotKey();
}

void Form1::Notice(const std::string& text)
{
    if (std::find(told_.begin(), told_.end(), text) != told_.end())
        return;
    told_.push_back(text);
    std::fprintf(stderr, "zarvex: %s\n", text.c_str());
    if (!notices_) {
        notices_ = new QMessageBox(QMessageBox::Information, U("提示"), QString(), QMessageBox::Ok, this);
        notices_->setObjectName("desktopNotices");
        notices_->setAttribute(Qt::WA_DeleteOnClose);
        notices_->setModal(false);
    }
    QString all;
    for (const std::string& line : told_)
        all += (all.isEmpty() ? "" : "\n\n") + QString::fromStdString(line);
    notices_->setText(all);
    // Shown once the main window is there, so that the box sits over it.
    QTimer::singleShot(0, notices_.data(), [box = notices_] {
        if (box)
            box->show();
    });
}

void Form1::OnStartStop()
{
    if (run_)
        StartStopAction(*run_);
}

void Form1::OnSampling()
{
    if (run_)
        SamplingPass(*run_);
}

void Form1::OnAlertPass()
{
    if (run_)
        AlertPass(*run_);
}

void Form1::OnSoundTick()
{
    // Plays synchronously: the window waits for the sound, as the timers do.
    if (state_.LocalAlertOn && state_.AlertRaised && services_.sound)
        services_.sound->PlaySync(soundFile_);
}

void Form1::CheckForUpdate()
{
    if (services_.checkForUpdate) {
        services_.checkForUpdate();
        return;
    }
    updateCheck_->Start(notify::UpdateUrl(notify::ServiceHost(configFile_)),
                        [this](const std::string& message) { ShowMessage(QString::fromUtf8(message.c_str())); });
}

void Form1::SendNotification(int point, const std::string& address)
{
    if (services_.notify) {
        services_.notify(address);
        return;
    }
    notifications_->Send(point, notify::NotificationUrl(notify::ServiceHost(configFile_), address));
}

void Form1::RunStarted()
{
    ShowNotificationFailure(""); // the line stays until the next run starts
}

void Form1::ShowNotificationFailure(const std::string& line)
{
    mailFailure_->setText(QString::fromStdString(line));
    mailFailure_->setVisible(!line.empty());
    Label2_->setVisible(line.empty());
}

std::string Form1::EmailText() const
{
    return Text2_->text().toStdString();
}

std::string Form1::SearchText() const
{
    return serch_proc_->text().toStdString();
}

std::string Form1::StartStopCaption() const
{
    return Command2_->text().toStdString();
}

void Form1::SetStartStopCaption(const std::string& caption)
{
    Command2_->setText(QString::fromStdString(caption));
}

void Form1::SetWindowCaption(const std::string& caption)
{
    setWindowTitle(QString::fromStdString(caption));
}

AlertMode Form1::Mode() const
{
    return opt_whenchange_->isChecked() ? AlertMode::Change : AlertMode::NoChange;
}

void Form1::ShowMessage(const std::string& text)
{
    ShowMessage(QString::fromStdString(text));
}

void Form1::ShowMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, U("提示"), text, QMessageBox::Ok, this);
    box.exec();
}

void Form1::closeEvent(QCloseEvent* event)
{
    QMessageBox box(QMessageBox::Question, U("提示"), U("你真的要退出吗?"), QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setObjectName("exitConfirmation");
    if (box.exec() == QMessageBox::Ok) {
        // The settings window saves its numbers as it closes; a bad number
        // keeps it open with its message, and the program with it.
        if (settingsWindow_ && settingsWindow_->isVisible() && !settingsWindow_->close()) {
            event->ignore();
            return;
        }
        for (QTimer* t : {Timer1_, Timer2_, Timer3_, Timer5_, Timer7_})
            t->stop();
        for (InfoWindow* w : {tipsWindow_.data(), aboutWindow_.data()}) {
            if (w)
                w->close();
        }
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace zarvex::monitor
