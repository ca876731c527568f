#include "support/testdata.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kalvora::test {

std::string testdataDir()
{
    const std::filesystem::path dir(KALVORA_TESTDATA_DIR);
    std::error_code ec;
    if (std::filesystem::is_directory(dir / "igc", ec))
        return dir.string();
    return {};
}

std::string igcPath(const std::string& name)
{
    const std::string dir = testdataDir();
    return dir.empty() ? std::string() : dir + "/igc/" + name;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace kalvora::test
