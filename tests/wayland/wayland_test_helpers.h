// Helpers shared by the Wayland and portal tests: waiting, skipping with a
// reason, and a private PipeWire daemon with test video nodes standing for
// monitors' screen-cast streams.
#pragma once

#include "support/child_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Skips the case, printing the reason where CTest looks for it, when
// `reason` is not empty.
#define ZARVEX_SKIP_IF(reason)                                                                                         \
    if (const std::string skipReason = (reason); !skipReason.empty()) {                                                \
        std::printf("SKIPPED: %s\n", skipReason.c_str());                                                              \
        GTEST_SKIP() << skipReason;                                                                                    \
    }

namespace zarvex::test {

// Asks `done` until it holds or `ms` have passed; `pause` runs between the
// questions (a Qt test handles its events there).
inline bool WaitFor(const std::function<bool()>& done, int ms = 10000, const std::function<void()>& pause = {})
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        pause ? pause() : std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

inline std::string CommandOutput(const std::string& command)
{
    std::string text;
    if (FILE* out = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, out))
            text += buffer;
        ::pclose(out);
    }
    return text;
}

// The first tool a PipeWire test needs that is not installed, or "".
inline std::string MissingPipeWireTool()
{
    for (const char* tool : {"pipewire", "pw-cli", "pw-link", "gst-launch-1.0"})
        if (std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) != 0)
            return std::string(tool) + " is not installed (scripts/setup installs it)";
    return "";
}

// Starts a PipeWire daemon whose socket is in `runtime`, a private folder
// that this process and the programs it starts then use; true once it listens.
inline bool StartPipeWire(ChildProcess& daemon, const std::filesystem::path& runtime,
                          const std::function<void()>& pause = {})
{
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("PIPEWIRE_RUNTIME_DIR", runtime.c_str(), 1);
    ::unsetenv("PIPEWIRE_REMOTE");
    daemon.Start({"pipewire"}, runtime / "pipewire.log");
    return WaitFor([&] { return std::filesystem::exists(runtime / "pipewire-0"); }, 10000, pause);
}

// The id of the node called `name`, once pw-cli lists it.
inline std::optional<uint32_t> NodeId(const std::string& name, const std::function<void()>& pause = {})
{
    std::optional<uint32_t> node;
    WaitFor([&] {
        const std::string listing = CommandOutput("pw-cli ls Node 2>/dev/null");
        const size_t at = listing.find("node.name = \"" + name + "\"");
        const size_t id = listing.rfind("\tid ", at);
        if (at != std::string::npos && id != std::string::npos)
            node = static_cast<uint32_t>(std::stoul(listing.substr(id + 4)));
        return node.has_value();
    }, 10000, pause);
    return node;
}

// A 320x200 BGRx source of seven colour bars (white, yellow, cyan, green,
// magenta, red, blue) over the upper part.
inline std::vector<std::string> TestBars(const std::string& name)
{
    return {"gst-launch-1.0", "-q", "videotestsrc", "pattern=smpte", "!",
            "video/x-raw,format=BGRx,width=320,height=200,framerate=10/1", "!", "pipewiresink", "mode=provide",
            "stream-properties=p,node.name=" + name};
}

// Links the source `name` to the screen's stream of node `id`, as the
// desktop's session manager would (the link may already be there from an
// earlier attempt that reported a failure).
inline bool Link(const std::string& name, uint32_t id, const std::function<void()>& pause = {})
{
    const std::string stream = "zarvex-screen-" + std::to_string(id) + ":in_0";
    return WaitFor([&] {
        return CommandOutput("pw-link " + name + ":out_0 " + stream + " 2>&1").find("failed") == std::string::npos
            || CommandOutput("pw-link -l").find("|-> " + stream) != std::string::npos;
    }, 10000, pause);
}

} // namespace zarvex::test
