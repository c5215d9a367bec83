#include "hotkey/hot_key.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

using namespace zarvex::hotkey;
using zarvex::test::FakeHotKeys;

TEST(HotKeySpec, ModifierNamesAndKeyCodes)
{
    // Only the listed spellings name modifiers; fractions round half to even;
    // without a comma the code is the leading number.
    const struct {
        const char* spec;
        int32_t modifiers, key;
    } cases[] = {
        {"Alt,65", 1, 65}, {"Ctrl,87", 2, 87}, {"Ctrl+Alt,65", 3, 65}, {"Shift,65", 4, 65}, {"Shift+Alt,65", 5, 65},
        {"Ctrl+Shift,65", 6, 65}, {"Ctrl+Alt+Shift, 112 ", 7, 112}, {"Alt+Shift,65", 0, 65}, {"Shift+Ctrl,65", 0, 65},
        {"ctrl,87", 0, 87}, {",87", 0, 87}, {"Alt,86.5", 1, 86}, {"Alt,87.5", 1, 88}, {"87", 0, 87},
        {"87Ctrl", 0, 87}, {"Ctrl", 0, 0}, {"", 0, 0},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseHotKeySpec(c.spec);
        EXPECT_EQ(std::pair(parsed.modifiers, parsed.key), std::pair(c.modifiers, c.key)) << c.spec;
    }
    EXPECT_THROW((void)ParseHotKeySpec("Ctrl,W"), std::invalid_argument);
    EXPECT_THROW((void)ParseHotKeySpec("Ctrl,"), std::invalid_argument);
    EXPECT_THROW((void)ParseHotKeySpec("Ctrl,99999999999"), std::out_of_range);
}

TEST(HotKeyModule, AddRegistersHooksOnceDelAndDestructionGiveBackAndRefusalIsSilent)
{
    FakeHotKeys keys;
    std::vector<int32_t> passedOn;
    const auto windowProc = [&](int32_t id) { passedOn.push_back(id); }; // the window's own handling
    keys.SetHandler(windowProc);
    int points = 0;
    HotKeyModule module(keys, [&] { ++points; });

    module.SetHotKey(1, "Ctrl,87", "Add");
    ASSERT_EQ(keys.registered.size(), 1u);
    const auto& r = keys.registered[0];
    EXPECT_EQ(std::tuple(r.id, r.modifiers, r.virtualKey), std::tuple(1, 2, 87));
    keys.Press(1);
    keys.Press(2); // another id: no point, but still passed on
    // A second Add registers another key but does not hook twice: one press, one point.
    module.SetHotKey(3, "Alt,65", "Add");
    EXPECT_EQ(keys.registered.size(), 2u);
    keys.Press(1);
    EXPECT_EQ(points, 2);
    EXPECT_EQ(passedOn, (std::vector<int32_t>{1, 2, 1}));

    // Del gives the key back and restores the previous handler.
    module.SetHotKey(3, "Alt,65", "Del");
    EXPECT_EQ(keys.unregistered, (std::vector<int32_t>{3}));
    keys.Press(1);
    EXPECT_EQ(points, 2);
    EXPECT_EQ(passedOn.size(), 4u);

    // A module that goes away gives its key back and unhooks itself.
    {
        HotKeyModule gone(keys, [&] { ++points; });
        gone.SetHotKey(1, "Ctrl,87", "Add");
    }
    EXPECT_EQ(keys.unregistered, (std::vector<int32_t>{3, 1}));
    EXPECT_NE(keys.CurrentHandler().target<decltype(windowProc)>(), nullptr);

    // A key another program holds: hooked all the same, without a word. A
    // malformed spec changes nothing.
    keys.refuse = true;
    module.SetHotKey(1, "Ctrl,87", "Add");
    EXPECT_FALSE(module.LastRegistrationOk());
    keys.Press(1);
    EXPECT_EQ(points, 3);
    EXPECT_THROW(module.SetHotKey(2, "Ctrl,x", "Add"), std::invalid_argument);
    EXPECT_EQ(std::tuple(module.HotKeyId(), module.HotKeyKey(), keys.registered.size()),
              std::tuple(1, 87, 4u));
}
