#include "hotkey/hot_key.h"

#include "config/number_text.h"

#include <stdexcept>
#include <string>

namespace zarvex::hotkey {

int32_t ModifiersForName(std::string_view name)
{
    // Only these spellings; "Alt+Shift" or "ctrl" name nothing.
    static constexpr std::pair<std::string_view, int32_t> kNames[] = {
        {"Alt", 1}, {"Ctrl", 2}, {"Ctrl+Alt", 3}, {"Shift", 4}, {"Shift+Alt", 5}, {"Ctrl+Shift", 6}, {"Ctrl+Alt+Shift", 7},
    };
    for (const auto& [n, bits] : kNames) {
        if (n == name)
            return bits;
    }
    return 0;
}

ParsedSpec ParseHotKeySpec(std::string_view spec)
{
    ParsedSpec parsed;
    const size_t comma = spec.find(',');
    if (comma == std::string_view::npos) {
        const int64_t key = config::LeadingNumber(spec);
        if (key < INT32_MIN || key > INT32_MAX)
            throw std::out_of_range("hot-key code does not fit 32 bits: " + std::string(spec));
        parsed.key = static_cast<int32_t>(key);
        return parsed;
    }
    const std::string_view keyText = spec.substr(comma + 1);
    const auto key = config::ParseWholeNumber(keyText, INT64_MIN, INT64_MAX);
    if (!key)
        throw std::invalid_argument("hot-key code is not a number: \"" + std::string(keyText) + "\"");
    if (*key < INT32_MIN || *key > INT32_MAX)
        throw std::out_of_range("hot-key code does not fit 32 bits: " + std::string(keyText));
    parsed.key = static_cast<int32_t>(*key);
    parsed.modifiers = ModifiersForName(spec.substr(0, comma));
    return parsed;
}

HotKeyModule::HotKeyModule(platform::HotKeys& backend, std::function<void()> addMonitorPoint)
    : backend_(backend), addMonitorPoint_(std::move(addMonitorPoint))
{
}

HotKeyModule::~HotKeyModule()
{
    if (hookInstalled_)
        backend_.SetHandler(savedWindowProc_);
    for (const int32_t id : held_)
        backend_.Unregister(id);
}

void HotKeyModule::SetHotKey(int32_t id, std::string_view spec, std::string_view action)
{
    // The spec is parsed first: a malformed one changes nothing.
    const ParsedSpec parsed = ParseHotKeySpec(spec);
    hotKeyId_ = 0;
    hotKeyModifiers_ = 0;
    hotKeyKey_ = 0;
    if (!hookInstalled_) {
        // Never installed twice, so the hook never chains to itself.
        savedWindowProc_ = backend_.CurrentHandler();
        backend_.SetHandler([this](int32_t pressed) { HotKeyWindowProc(pressed); });
    }
    hotKeyId_ = id;
    if (action == "Add") {
        hotKeyModifiers_ = parsed.modifiers;
        hotKeyKey_ = parsed.key;
        lastRegistrationOk_ = backend_.Register(hotKeyId_, hotKeyModifiers_, hotKeyKey_);
        if (lastRegistrationOk_)
            held_.push_back(hotKeyId_);
        hookInstalled_ = true;
    } else if (action == "Del") {
        backend_.SetHandler(savedWindowProc_);
        backend_.Unregister(hotKeyId_);
        std::erase(held_, hotKeyId_);
        hookInstalled_ = false;
    }
}

void HotKeyModule::HotKeyWindowProc(int32_t id)
{
    // The test is for id 1 itself, whatever id was registered last.
    if (id == 1 && addMonitorPoint_)
        addMonitorPoint_();
    if (savedWindowProc_)
        savedWindowProc_(id);
}

} // namespace zarvex::hotkey
