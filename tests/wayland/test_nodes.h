// PipeWire test video nodes for the tests that read screen-cast streams: a
// private daemon's videotestsrc sources standing for monitors.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace zarvex::test {

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

// The id of the node called `name`, from pw-cli's listing.
inline std::optional<uint32_t> NodeId(const std::string& name)
{
    const std::string listing = CommandOutput("pw-cli ls Node 2>/dev/null");
    const size_t at = listing.find("node.name = \"" + name + "\"");
    const size_t id = listing.rfind("\tid ", at);
    if (at == std::string::npos || id == std::string::npos)
        return std::nullopt;
    return static_cast<uint32_t>(std::stoul(listing.substr(id + 4)));
}

// A 320x200 BGRx source: "solid-color" is #336699, "smpte" seven colour bars
// (white, yellow, cyan, green, magenta, red, blue) over the upper part.
inline std::vector<std::string> TestSource(const std::string& name, const std::string& pattern)
{
    return {"gst-launch-1.0", "-q", "videotestsrc", "pattern=" + pattern, "foreground-color=0xff336699", "!",
            "video/x-raw,format=BGRx,width=320,height=200,framerate=10/1", "!", "pipewiresink", "mode=provide",
            "stream-properties=p,node.name=" + name};
}

} // namespace zarvex::test
