// Calls go down the layers of src/: api -> convert, edit, media, tools ->
// metadata -> dss, wav, afc, codecs -> platform -> trace. Folders of one
// layer may include each other. A file that includes a header of a higher
// layer fails this test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::map<std::string, int>& layer_of() {
    static const std::map<std::string, int> layers = {
        {"api", 0},      {"convert", 1}, {"edit", 1}, {"media", 1}, {"tools", 1}, {"metadata", 2},
        {"dss", 3},      {"wav", 3},     {"afc", 3},  {"codecs", 3}, {"platform", 4}, {"trace", 5}};
    return layers;
}

std::string read_text(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(Layers, IncludesOnlyGoDown) {
    const fs::path src = fs::path(ORVKT_SOURCE_DIR) / "src";
    const std::regex include(R"re(#\s*include\s+"([a-z_]+)/[^"]+")re");
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const auto ext = entry.path().extension();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp" && ext != ".inc")) continue;
        const std::string folder = fs::relative(entry.path(), src).begin()->string();
        auto own = layer_of().find(folder);
        ASSERT_NE(own, layer_of().end()) << "src/" << folder << " has no layer";
        ++files;
        const std::string text = read_text(entry.path());
        for (std::sregex_iterator m(text.begin(), text.end(), include), end; m != end; ++m) {
            auto target = layer_of().find((*m)[1].str());
            if (target == layer_of().end()) continue;
            EXPECT_GE(target->second, own->second)
                << fs::relative(entry.path(), src).string() << " includes " << (*m)[0].str() << ", a higher layer";
        }
    }
    EXPECT_GT(files, 100) << "the source tree was not found";
}
