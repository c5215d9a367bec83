#include "ui/win32/main_window.h"

#include "notify/http_post.h"
#include "notify/services.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace zarvex::ui::win32 {

namespace {

enum : int {
    kText1 = 101,
    kText2,
    kCommand2,
    kOptWhenChange,
    kOptWhenNotChange,
    kCheck1,
    kLabel2,
    kListView2,
    kLabel1,
    kText3,
    kSerchProc,
    kCommand1,
    kListView1,
    kMailFailure,
    kMenuConfig = 201,
    kMenuForHelp,
    kTimer1 = 1,
    kTimer2 = 2,
    kTimer3 = 3,
    kTimer5 = 5,
    kTimer7 = 7,
};

// Design sizes in twips.
constexpr int kClientWidth = 4785, kClientHeight = 6015, kCompactHeight = 3900, kTallHeight = 6330;

constexpr const char* kWindowColumns[] = {"序号", "句柄", "程序名称", "状态"};
constexpr int kWindowWidths[] = {800, 800, 2000, 1000};
constexpr const char* kPointColumns[] = {"序号", "X坐标", "Y坐标", "分组", "阀值", "颜色", "状态"};
constexpr int kPointWidths[] = {500, 800, 800, 800, 800, 1, 800};

constexpr const wchar_t* kTips =
    L"1. 把鼠标移到要监控的位置，按 Ctrl+W，这个位置和它现在的颜色就加入监控点列表。可以设置多个监控点。\r\n\r\n"
    L"2. 选择提醒方式：有变化时提醒（颜色一变就提醒），或无变化时提醒（颜色连续不变达到阀值秒数时提醒）。\r\n\r\n"
    L"3. 填写收信邮箱（只能是 163 邮箱），点启动。监控时每秒检查一次每个监控点。\r\n\r\n"
    L"4. 提醒时会发送邮件，并且每 3 秒播放一次提示音。\r\n\r\n"
    L"监控点是屏幕上的固定位置：被监控的窗口要保持在最前面，不要移动它。";

std::wstring Widen(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(std::max(n, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string WindowText(HWND control)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

void SetListText(HWND list, int row, const std::string* texts, int count, bool insert)
{
    for (int c = 0; c < count; ++c) {
        std::wstring text = Widen(texts[c]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = c;
        item.pszText = text.data();
        SendMessageW(list, c == 0 && insert ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
    }
}

template <typename Function> Function UserFunction(const char* name)
{
    // Present from Windows 10 version 1607 on; older systems go without.
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The settings, tips and about windows are made system-DPI aware: Windows
// scales them on a monitor of another DPI, while Form1 lays itself out anew.
class SystemAwareWindows {
public:
    SystemAwareWindows()
    {
        if (set_)
            previous_ = set_(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-2))); // DPI_AWARENESS_CONTEXT_SYSTEM_AWARE
    }
    ~SystemAwareWindows()
    {
        if (set_ && previous_)
            set_(previous_);
    }
    SystemAwareWindows(const SystemAwareWindows&) = delete;
    SystemAwareWindows& operator=(const SystemAwareWindows&) = delete;

private:
    using SetContext = HANDLE(WINAPI*)(HANDLE);
    SetContext set_ = UserFunction<SetContext>("SetThreadDpiAwarenessContext");
    HANDLE previous_ = nullptr;
};

LRESULT CALLBACK InfoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

MainWindow::MainWindow(config::FileLocations files)
    : configFile_(std::move(files.configFile)), soundFile_(std::move(files.soundFile))
{
}

void MainWindow::WindowTimer::Start()
{
    running_ = SetTimer(owner_.window_, id_, interval_, nullptr) != 0;
}

void MainWindow::WindowTimer::Stop()
{
    if (owner_.window_)
        KillTimer(owner_.window_, id_);
    running_ = false;
}

MainWindow::~MainWindow()
{
    table_.SetListener(nullptr);
    windowList_.SetListener(nullptr);
    settings_.reset();
    hotKey_.reset();
    if (window_)
        DestroyWindow(window_);
    for (HFONT font : {font_, systemFont_}) {
        if (font)
            DeleteObject(font);
    }
}

int MainWindow::Px(int twips) const { return MulDiv(twips, dpi_, 1440); }

HWND MainWindow::AddControl(const wchar_t* type, const std::string& text, DWORD style, int id, int left, int top,
                            int width, int height)
{
    const bool edit = std::wstring_view(type) == L"EDIT" || std::wstring_view(type) == WC_LISTVIEWW;
    HWND control = CreateWindowExW(edit ? WS_EX_CLIENTEDGE : 0, type, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                                   Px(left), Px(top), Px(width), Px(height), window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    placed_.push_back({control, left, top, width, height});
    return control;
}

void MainWindow::ApplyDpi(int dpi)
{
    dpi_ = dpi;
    LOGFONTW scaled = messageFont_;
    scaled.lfHeight = MulDiv(scaled.lfHeight, dpi_, systemDpi_);
    HFONT old = font_;
    font_ = CreateFontIndirectW(&scaled);
    for (const Placed& p : placed_) {
        SetWindowPos(p.control, nullptr, Px(p.left), Px(p.top), Px(p.width), Px(p.height),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(p.control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
    for (int c = 0; listView1_ && c < static_cast<int>(std::size(kWindowWidths)); ++c)
        SendMessageW(listView1_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), std::max(Px(kWindowWidths[c]), 1));
    for (int c = 0; listView2_ && c < static_cast<int>(std::size(kPointWidths)); ++c)
        SendMessageW(listView2_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), std::max(Px(kPointWidths[c]), 1));
    if (old)
        DeleteObject(old);
}

bool MainWindow::Create(HINSTANCE instance)
{
    HDC screen = GetDC(nullptr);
    systemDpi_ = dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"ZarvexForm1";
    RegisterClassExW(&wc);
    WNDCLASSEXW info = wc;
    info.lpfnWndProc = InfoWindowProc;
    info.lpszClassName = L"ZarvexInfo";
    RegisterClassExW(&info);

    HMENU menu = CreateMenu();
    AppendMenuW(menu, MF_STRING, kMenuConfig, L"系统配置");
    AppendMenuW(menu, MF_STRING, kMenuForHelp, L"关于");
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT r{0, 0, Px(kClientWidth), Px(kClientHeight)};
    AdjustWindowRectEx(&r, style, TRUE, 0);
    window_ = CreateWindowExW(0, wc.lpszClassName, L"Zarvex提醒", style, CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left,
                              r.bottom - r.top, nullptr, menu, instance, this);
    if (!window_)
        return false;

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    messageFont_ = metrics.lfMessageFont;
    systemFont_ = CreateFontIndirectW(&messageFont_);
    settings_ = std::make_unique<SettingsWindow>(state_, configFile_, systemDpi_, systemFont_);
    // The monitor the window opens on may have another DPI than the system's.
    using WindowDpi = UINT(WINAPI*)(HWND);
    const auto windowDpi = UserFunction<WindowDpi>("GetDpiForWindow");
    const int dpi = windowDpi ? static_cast<int>(windowDpi(window_)) : systemDpi_;
    ApplyDpi(dpi > 0 ? dpi : systemDpi_);
    if (dpi_ != systemDpi_) {
        RECT outer{0, 0, Px(kClientWidth), Px(kClientHeight)};
        AdjustWindowRectEx(&outer, style, TRUE, 0);
        SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    const DWORD prompt = ES_READONLY | ES_AUTOHSCROLL, box = WS_TABSTOP | ES_AUTOHSCROLL;
    const DWORD list = WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS;
    AddControl(L"EDIT", "收信邮箱：", prompt, kText1, 30, 120, 1100, 375);
    text2_ = AddControl(L"EDIT", "", box, kText2, 1080, 120, 2415, 375);
    command2_ = AddControl(L"BUTTON", "启动", WS_TABSTOP | BS_PUSHBUTTON, kCommand2, 3600, 120, 1095, 375);
    // 1695 twips wide by design, it would reach under the next button and
    // paint over its circle whenever it repaints; it ends where that begins.
    optChange_ = AddControl(L"BUTTON", "有变化时提醒", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, kOptWhenChange, 120,
                            600, 1560 - 120, 255);
    optNoChange_ = AddControl(L"BUTTON", "无变化时提醒", BS_AUTORADIOBUTTON, kOptWhenNotChange, 1560, 600, 1575, 255);
    check1_ = AddControl(L"BUTTON", "多窗口自动切换", WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, kCheck1, 3120, 600, 1695,
                         255);
    label2_ = AddControl(L"STATIC", "鼠标移到指定位置后按CTRL+W即可设置监控点。", 0, kLabel2, 120, 960, 4575, 255);
    // In Label2's place while a notification could not be sent.
    mailFailure_ = AddControl(L"STATIC", "", 0, kMailFailure, 120, 960, 4575, 255);
    ShowWindow(mailFailure_, SW_HIDE);
    listView2_ = AddControl(WC_LISTVIEWW, "", list, kListView2, 30, 1320, 4695, 1815);
    label1_ = AddControl(L"STATIC", "Label1", 0, kLabel1, 2880, 3240, 615, 375);
    text3_ = AddControl(L"EDIT", "程序名称：", prompt, kText3, 30, 3300, 1100, 375);
    serchProc_ = AddControl(L"EDIT", "", box, kSerchProc, 1080, 3300, 2415, 375);
    command1_ = AddControl(L"BUTTON", "搜索", WS_TABSTOP | BS_PUSHBUTTON, kCommand1, 3600, 3300, 1095, 375);
    listView1_ = AddControl(WC_LISTVIEWW, "", list, kListView1, 30, 3720, 4695, 1815);
    // A label lies under every box of the form: serch_proc covers Label1 but
    // for its top edge, and Label1 never paints over it.
    SetWindowLongPtrW(label1_, GWL_STYLE, GetWindowLongPtrW(label1_, GWL_STYLE) | WS_CLIPSIBLINGS);
    SetWindowPos(label1_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_FRAMECHANGED);

    hotKey_ = std::make_unique<hotkey::HotKeyModule>(hotKeys_, [this] {
        if (monitor::AddMonitorPoint(table_, state_) == monitor::AddResult::TableFull)
            ShowMessage("监控点已达到上限（" + std::to_string(monitor::kMaxPoints) + "个），不能再添加。");
    });
    table_.SetListener(&pointRows_);
    windowList_.SetListener(&windowRows_);
    const std::filesystem::path config = configFile_;
    monitor::StartupServices services;
    services.checkForUpdate = [this, config] {
        updateCheck_.Start(notify::UpdateUrl(notify::ServiceHost(config)), [this](const std::string& message) {
            MessageBoxW(window_, Widen(message).c_str(), L"提示", MB_OK);
        });
    };
    services.registerHotKey = [this] { hotKey_->SetHotKey(1, "Ctrl,87", "Add"); };
    monitor::RunStartup(state_, config, *this, services);

    run_ = std::unique_ptr<monitor::RunContext>(new monitor::RunContext{
        state_, table_, *this, timer1_, timer2_, timer3_, screen_,
        [this](int point, const std::string& address) {
            notifications_.Send(point, notify::NotificationUrl(notify::ServiceHost(configFile_), address));
        },
        configFile_});
    // After start-up no run is active: cursor tracking, alerting, switching
    // and sound run; sampling waits for 启动.
    for (WindowTimer* timer : {&timer1_, &timer2_, &timer5_, &timer7_})
        timer->Start();
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    return true;
}

void MainWindow::SetOuterHeightTwips(int twips)
{
    RECT r;
    GetWindowRect(window_, &r);
    SetWindowPos(window_, nullptr, 0, 0, r.right - r.left, Px(twips), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::PrepareList(HWND list, const char* const* names, const int* widths, int count)
{
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    while (SendMessageW(list, LVM_DELETECOLUMN, 0, 0))
        ;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    for (int c = 0; c < count; ++c) {
        std::wstring name = Widen(names[c]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = name.data();
        column.cx = std::max(Px(widths[c]), 1);
        column.iSubItem = c;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    }
}

void MainWindow::ShowInfoWindow(bool tips)
{
    HWND& window = tips ? tips_ : about_;
    if (window && IsWindow(window)) {
        SetForegroundWindow(window);
        return;
    }
    const int width = tips ? 440 : 320, height = tips ? 320 : 170;
    SystemAwareWindows systemAware;
    window = CreateWindowExW(0, L"ZarvexInfo", tips ? L"使用提示" : L"关于", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                             CW_USEDEFAULT, CW_USEDEFAULT, width, height, window_, nullptr, GetModuleHandleW(nullptr),
                             nullptr);
    RECT client;
    GetClientRect(window, &client);
    const std::wstring about = Widen(std::string("Zarvex ") + monitor::kVersion
                                     + "\r\n\r\n屏幕变化提醒：监控屏幕上的点，颜色变化或长时间不变时，发送邮件并播放提示音。"
                                       "\r\n\r\n按 Ctrl+W 添加监控点；详见使用提示。");
    HWND text = CreateWindowExW(0, L"STATIC", tips ? kTips : about.c_str(), WS_CHILD | WS_VISIBLE, 12, 12,
                                client.right - 24, client.bottom - 60, window, nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND ok = CreateWindowExW(0, L"BUTTON", L"确定", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                              client.right - 92, client.bottom - 36, 80, 26, window,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), GetModuleHandleW(nullptr), nullptr);
    for (HWND control : {text, ok})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(systemFont_), FALSE);
    ShowWindow(window, SW_SHOWNORMAL);
}

void MainWindow::SelectNoChangeMode()
{
    SendMessageW(optChange_, BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(optNoChange_, BM_SETCHECK, BST_CHECKED, 0);
}

void MainWindow::ApplyCompactLayout()
{
    SetSearchPartVisible(false);
}

void MainWindow::SetSearchPartVisible(bool visible)
{
    for (HWND control : {text3_, serchProc_, command1_, listView1_})
        ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
    SetOuterHeightTwips(visible ? kTallHeight : kCompactHeight);
}

void MainWindow::OnCheck1()
{
    if (!windows::SwitchRuleHolds(state_)) {
        SendMessageW(check1_, BM_SETCHECK, BST_UNCHECKED, 0);
        MessageBoxW(window_, Widen(windows::kSwitchRuleMessage).c_str(), L"提示", MB_OK);
        return;
    }
    SetSearchPartVisible(SendMessageW(check1_, BM_GETCHECK, 0, 0) == BST_CHECKED);
}

void MainWindow::OnSearch() { windows::WindowSearch(windowList_, search_, windows_, WindowText(serchProc_)); }

void MainWindow::ShowWindowRow(int row, bool insert)
{
    const windows::WindowEntry& e = windowList_.At(row);
    const std::string texts[] = {std::to_string(e.entryNo), windows::HandleText(e.handle), e.title, e.shownAt};
    SetListText(listView1_, row, texts, static_cast<int>(std::size(texts)), insert);
}

void MainWindow::WindowRows::RowAppended() { window.ShowWindowRow(appended, true); }
void MainWindow::WindowRows::Cleared() { SendMessageW(window.listView1_, LVM_DELETEALLITEMS, 0, 0); }
void MainWindow::WindowRows::RowChanged(int row) { window.ShowWindowRow(row, false); }

void MainWindow::SetEmailText(const std::string& text) { SetWindowTextW(text2_, Widen(text).c_str()); }
void MainWindow::SetSearchText(const std::string& text) { SetWindowTextW(serchProc_, Widen(text).c_str()); }
void MainWindow::ShowTipsWindow() { ShowInfoWindow(true); }

void MainWindow::PrepareWindowList()
{
    PrepareList(listView1_, kWindowColumns, kWindowWidths, static_cast<int>(std::size(kWindowColumns)));
}

void MainWindow::PreparePointTable()
{
    PrepareList(listView2_, kPointColumns, kPointWidths, static_cast<int>(std::size(kPointColumns)));
}

void MainWindow::ShowPointRow(int row, bool insert)
{
    const monitor::MonitorPoint& p = table_.At(row);
    const std::string texts[] = {std::to_string(p.number), std::to_string(p.x),          std::to_string(p.y),
                                 p.group,                  monitor::CounterText(p.counter), std::to_string(p.lastColor),
                                 monitor::StatusText(p)};
    SetListText(listView2_, row, texts, static_cast<int>(std::size(texts)), insert);
}

void MainWindow::PointRows::RowsAboutToBeAppended(int firstRow, int lastRow)
{
    first = firstRow;
    last = lastRow;
}

void MainWindow::PointRows::RowsAppended()
{
    for (int row = first; row <= last; ++row)
        window.ShowPointRow(row, true);
}

void MainWindow::PointRows::RowsChanged(int firstRow, int lastRow)
{
    for (int row = firstRow; row <= lastRow; ++row)
        window.ShowPointRow(row, false);
}

void MainWindow::PointRows::Cleared() { SendMessageW(window.listView2_, LVM_DELETEALLITEMS, 0, 0); }

std::string MainWindow::EmailText() const { return WindowText(text2_); }
std::string MainWindow::SearchText() const { return WindowText(serchProc_); }
std::string MainWindow::StartStopCaption() const { return WindowText(command2_); }
void MainWindow::SetStartStopCaption(const std::string& caption) { SetWindowTextW(command2_, Widen(caption).c_str()); }
void MainWindow::SetWindowCaption(const std::string& caption) { SetWindowTextW(window_, Widen(caption).c_str()); }

monitor::AlertMode MainWindow::Mode() const
{
    return SendMessageW(optChange_, BM_GETCHECK, 0, 0) == BST_CHECKED ? monitor::AlertMode::Change
                                                                       : monitor::AlertMode::NoChange;
}

void MainWindow::ShowMessage(const std::string& text) { MessageBoxW(window_, Widen(text).c_str(), L"提示", MB_OK); }

void MainWindow::RunStarted() { ShowNotificationFailure(""); } // the line stays until the next run starts

void MainWindow::ShowNotificationFailure(const std::string& line)
{
    if (!window_)
        return;
    SetWindowTextW(mailFailure_, Widen(line).c_str());
    ShowWindow(mailFailure_, line.empty() ? SW_HIDE : SW_SHOW);
    ShowWindow(label2_, line.empty() ? SW_SHOW : SW_HIDE);
}

void MainWindow::ShowSwitchTicks(int32_t ticks) { SetWindowTextW(label1_, std::to_wstring(ticks).c_str()); }

void MainWindow::HeldWait(int milliseconds)
{
    // The window thread waits, but its windows still repaint: every timer of
    // Form1 is held (and restarted afresh, so no tick is made up), and input
    // stays queued until the end, as it would for a sleeping thread.
    std::vector<WindowTimer*> held;
    for (WindowTimer* timer : {&timer1_, &timer2_, &timer3_, &timer5_, &timer7_}) {
        if (timer->IsRunning()) {
            timer->Stop();
            held.push_back(timer);
        }
    }
    // Every message outside the keyboard, mouse (also on the frame) and hot-key ranges.
    constexpr std::pair<UINT, UINT> kNotInput[] = {{0, WM_NCMOUSEMOVE - 1},
                                                   {WM_NCXBUTTONDBLCLK + 1, WM_KEYFIRST - 1},
                                                   {WM_KEYLAST + 1, WM_MOUSEFIRST - 1},
                                                   {WM_MOUSELAST + 1, WM_HOTKEY - 1},
                                                   {WM_HOTKEY + 1, 0xFFFFFFFF}};
    bool quit = false;
    int exitCode = 0;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    for (ULONGLONG now = GetTickCount64(); now < end && !quit; now = GetTickCount64()) {
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT, 0);
        MSG message;
        for (const auto& [first, last] : kNotInput) {
            while (!quit && PeekMessageW(&message, nullptr, first, last, PM_REMOVE)) {
                if (message.message == WM_QUIT) {
                    quit = true;
                    exitCode = static_cast<int>(message.wParam);
                    break;
                }
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    if (quit) {
        PostQuitMessage(exitCode);
        return;
    }
    if (window_) {
        for (WindowTimer* timer : held)
            timer->Start();
    }
}

std::string MainWindow::Now()
{
    // The system's general date-and-time format: its short date, then its time.
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t date[64] = {}, time[64] = {};
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, 64);
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, 64);
    return Narrow(std::wstring(date) + L" " + time);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && self->window_ == window)
        return self->Handle(message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        switch (wParam) {
        case kTimer1:
            SetWindowTextW(window_, Widen(monitor::TrackCursor(screen_, state_)).c_str());
            break;
        case kTimer2:
            monitor::AlertPass(*run_);
            break;
        case kTimer3:
            monitor::SamplingPass(*run_);
            break;
        case kTimer5:
            windows::SwitchTick(switch_, windowList_, state_, table_, timer3_, windows_, *this);
            break;
        case kTimer7:
            // Plays synchronously: the window waits for the sound, as the timers do.
            if (state_.LocalAlertOn && state_.AlertRaised)
                sound_.PlaySync(soundFile_);
            break;
        default:
            break;
        }
        return 0;
    case WM_DPICHANGED: {
        ApplyDpi(HIWORD(wParam));
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == mailFailure_) {
            const auto dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(0xc0, 0, 0));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        return DefWindowProcW(window_, message, wParam, lParam);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kMenuConfig: {
            SystemAwareWindows systemAware;
            settings_->Open(window_);
            break;
        }
        case kMenuForHelp:
            ShowInfoWindow(false);
            break;
        case kCheck1:
            OnCheck1();
            break;
        case kCommand1:
            OnSearch();
            break;
        case kCommand2:
            monitor::StartStopAction(*run_);
            break;
        default:
            break;
        }
        return 0;
    case WM_CLOSE:
        // Cancel leaves everything running as it was. The settings window
        // saves its numbers as it closes; a bad number keeps it open with its
        // message, and the program with it.
        if (MessageBoxW(window_, L"你真的要退出吗?", L"提示", MB_OKCANCEL) == IDOK && settings_->Close())
            DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        for (WindowTimer* timer : {&timer1_, &timer2_, &timer3_, &timer5_, &timer7_})
            timer->Stop();
        window_ = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}

} // namespace zarvex::ui::win32
