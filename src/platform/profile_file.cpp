#include "platform/profile_file.h"

#include <random>

namespace zarvex::platform {

std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target)
{
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device random;
    std::string suffix = ".";
    for (int i = 0; i < 10; ++i)
        suffix += kDigits[random() % 36];
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    return folder / (target.filename().native() + std::filesystem::path(suffix + ".tmp").native());
}

} // namespace zarvex::platform
