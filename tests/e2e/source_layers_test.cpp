// The layers of src/ (docs/architecture.md): a file includes from its own folder's layer and
// the layers below it only, so that the bottom can be read, tested and changed without the
// top.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace quilmar::testing {
namespace {

TEST(SourceLayers, NoIncludeFromALowerLayerToAHigherOne) {
    const std::map<std::string, int> layer = {{"state", 1},  {"text", 2},      {"input", 2},
                                              {"results", 2}, {"matrixdiffusion", 2}, {"setup", 3},
                                              {"transport", 3}, {"driver", 4}};
    namespace fs = std::filesystem;
    const fs::path src = fs::path(QUILMAR_SOURCE_DIR) / "src";
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file()) continue;
        const std::string folder = fs::relative(entry.path(), src).begin()->string();
        ASSERT_TRUE(layer.count(folder)) << "src/" << folder << " is in no layer of docs/architecture.md";
        ++files;
        std::ifstream in(entry.path());
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("#include \"", 0) != 0) continue;
            const std::string target = line.substr(10, line.find('/', 10) - 10);
            ASSERT_TRUE(layer.count(target)) << entry.path() << ": " << line;
            EXPECT_LE(layer.at(target), layer.at(folder))
                << entry.path() << " (" << folder << ") includes from the higher layer " << target;
            // Within the second layer, a folder reaches only the shared text formatting.
            if (layer.at(target) == 2 && layer.at(folder) == 2) {
                EXPECT_TRUE(target == folder || target == "text")
                    << entry.path() << " (" << folder << ") includes from " << target;
            }
        }
    }
    EXPECT_GT(files, 50);
}

}  // namespace
}  // namespace quilmar::testing
