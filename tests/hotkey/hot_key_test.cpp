#include "hotkey/hot_key.h"
#include "platform/fake/fake_platform.h"

#include <gtest/gtest.h>

using namespace zarvex::hotkey;
using zarvex::platform::FakeHotKeys;

TEST(HotKeySpec, ModifierNamesAndKeyCodes)
{
    EXPECT_EQ(ParseHotKeySpec("Ctrl,87").modifiers, 2);
    EXPECT_EQ(ParseHotKeySpec("Ctrl,87").key, 87);
    EXPECT_EQ(ParseHotKeySpec("87").modifiers, 0);
    EXPECT_EQ(ParseHotKeySpec("87").key, 87);
    EXPECT_EQ(ParseHotKeySpec("Ctrl+Alt+Shift, 112 ").modifiers, 7);
    EXPECT_EQ(ParseHotKeySpec("Ctrl+Alt+Shift, 112 ").key, 112);
    EXPECT_EQ(ParseHotKeySpec("Shift+Alt,65").modifiers, 5);
    // Only the listed spellings count.
    EXPECT_EQ(ParseHotKeySpec("Alt+Shift,65").modifiers, 0);
    EXPECT_EQ(ParseHotKeySpec("Shift+Ctrl,65").modifiers, 0);
    EXPECT_EQ(ParseHotKeySpec("ctrl,87").modifiers, 0);
    EXPECT_EQ(ParseHotKeySpec(",87").modifiers, 0);
    // Fractions round half to even; no comma takes the leading number.
    EXPECT_EQ(ParseHotKeySpec("Alt,86.5").key, 86);
    EXPECT_EQ(ParseHotKeySpec("Alt,87.5").key, 88);
    EXPECT_EQ(ParseHotKeySpec("87Ctrl").key, 87);
    EXPECT_EQ(ParseHotKeySpec("Ctrl").key, 0);
    EXPECT_EQ(ParseHotKeySpec("").key, 0);
    EXPECT_THROW((void)ParseHotKeySpec("Ctrl,W"), std::invalid_argument);
    EXPECT_THROW((void)ParseHotKeySpec("Ctrl,"), std::invalid_argument);
    EXPECT_THROW((void)ParseHotKeySpec("Ctrl,99999999999"), std::out_of_range);
}

TEST(HotKeyModule, AddRegistersAndTheHookAddsPointsForIdOne)
{
    FakeHotKeys keys;
    std::vector<int32_t> passedOn;
    const auto windowProc = [&](int32_t id) { passedOn.push_back(id); }; // the window's own handling
    keys.SetHandler(windowProc);
    int points = 0;
    HotKeyModule module(keys, [&] { ++points; });

    module.SetHotKey(1, "Ctrl,87", "Add");
    ASSERT_EQ(keys.registered.size(), 1u);
    EXPECT_EQ(keys.registered[0].id, 1);
    EXPECT_EQ(keys.registered[0].modifiers, 2);
    EXPECT_EQ(keys.registered[0].virtualKey, 87);
    EXPECT_TRUE(module.HookInstalled());

    keys.Press(1);
    keys.Press(2); // another id: no point, but still passed on
    EXPECT_EQ(points, 1);
    EXPECT_EQ(passedOn, (std::vector<int32_t>{1, 2}));

    // A second Add registers another key but does not hook twice: one press, one point.
    module.SetHotKey(3, "Alt,65", "Add");
    EXPECT_EQ(keys.registered.size(), 2u);
    EXPECT_EQ(module.HotKeyId(), 3);
    keys.Press(1);
    EXPECT_EQ(points, 2);
    EXPECT_EQ(passedOn.size(), 3u);

    // Del gives the key back and restores the previous handler.
    module.SetHotKey(3, "Alt,65", "Del");
    EXPECT_EQ(keys.unregistered, (std::vector<int32_t>{3}));
    EXPECT_FALSE(module.HookInstalled());
    EXPECT_EQ(module.HotKeyKey(), 0);
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
}

TEST(HotKeyModule, RefusedRegistrationIsSilentAndMalformedSpecChangesNothing)
{
    FakeHotKeys keys;
    keys.refuse = true;
    int points = 0;
    HotKeyModule module(keys, [&] { ++points; });
    module.SetHotKey(1, "Ctrl,87", "Add");
    EXPECT_TRUE(module.HookInstalled());
    EXPECT_FALSE(module.LastRegistrationOk());

    EXPECT_THROW(module.SetHotKey(2, "Ctrl,x", "Add"), std::invalid_argument);
    EXPECT_EQ(module.HotKeyId(), 1);
    EXPECT_EQ(module.HotKeyKey(), 87);
    EXPECT_EQ(keys.registered.size(), 1u);
}
