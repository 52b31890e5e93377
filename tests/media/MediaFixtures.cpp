#include "MediaFixtures.h"

#include "model/Files.h"

#include <cstdlib>
#include <fstream>
#include <random>

namespace vl::test {

const std::filesystem::path& fixtureFolder()
{
    static files::TemporaryDirectory folder("media-test");
    return folder.path();
}

std::string shellQuote(const std::string& arg)
{
    std::string out = "'";
    for (char c : arg) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

bool run(const std::vector<std::string>& args)
{
    std::string line;
    for (const auto& a : args)
        line += shellQuote(a) + " ";
    line += ">/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

std::filesystem::path tone(const std::string& name, double seconds, int rate, int channels,
                           const std::vector<std::string>& extra, int frequency)
{
    const auto path = fixtureFolder() / name;
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-y", "-v", "error", "-f", "lavfi", "-i",
                                     "sine=frequency=" + std::to_string(frequency) + ":sample_rate="
                                         + std::to_string(rate) + ":duration=" + std::to_string(seconds),
                                     "-ac", std::to_string(channels)};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(path.string());
    if (!run(args))
        return {};
    return path;
}

std::filesystem::path silentVideo(const std::string& name)
{
    const auto path = fixtureFolder() / name;
    if (!run({"ffmpeg", "-nostdin", "-y", "-v", "error", "-f", "lavfi", "-i", "color=c=blue:s=90x160:d=0.5", "-c:v",
              "libx264", path.string()}))
        return {};
    return path;
}

std::filesystem::path picture(const std::string& name)
{
    const auto path = fixtureFolder() / name;
    if (!run({"ffmpeg", "-nostdin", "-y", "-v", "error", "-f", "lavfi", "-i", "color=c=red:s=32x32:d=0.04",
              "-frames:v", "1", path.string()}))
        return {};
    return path;
}

std::filesystem::path bytesFile(const std::string& name, const std::string& bytes)
{
    const auto path = fixtureFolder() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string noise(std::size_t count, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string out(count, '\0');
    for (auto& c : out)
        c = static_cast<char>(gen() & 0xFF);
    return out;
}

} // namespace vl::test
