// Every example scene, rendered in parts: the images of --frames runs, and
// the images kxrender-assemble joins from --region runs, are byte for byte
// the files of a full run.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/run.h"

using namespace kxtest;

namespace {

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> ExampleScenes() {
    std::vector<std::string> scenes;
    for (const std::string& n : FilesIn(std::string(KX_SOURCE_DIR) + "/examples"))
        if (n.size() > 3 && n.compare(n.size() - 3, 3, ".kx") == 0) scenes.push_back(n);
    return scenes;
}

bool IsImage(const std::string& n) {
    auto ends = [&](const char* s) {
        std::string e = s;
        return n.size() > e.size() && n.compare(n.size() - e.size(), e.size(), e) == 0;
    };
    return ends(".ppm") || ends(".png");
}

// A folder beside a link to examples/, as make demo renders from out/ (the
// scenes read their textures as ../examples/textures/...); returns out/.
std::string DemoFolder() {
    std::string root = MakeTempDir();
    EXPECT_EQ(symlink((std::string(KX_SOURCE_DIR) + "/examples").c_str(), (root + "/examples").c_str()), 0);
    std::string out = root + "/out";
    EXPECT_EQ(mkdir(out.c_str(), 0755), 0);
    return out;
}

struct Listed {
    int frame = 0, width = 0, height = 0;
};

class ExampleInParts : public ::testing::TestWithParam<std::string> {};

TEST_P(ExampleInParts, FramesAndAssembledRegionsAreTheFullRunsFiles) {
    const std::string scene = "../examples/" + GetParam();
    const std::string full = DemoFolder();
    RunResult whole = RunKx({scene}, full);
    ASSERT_EQ(whole.status, 0) << whole.err;
    std::vector<std::string> images;
    for (const std::string& n : FilesIn(full))
        if (IsImage(n)) images.push_back(n);
    if (images.empty()) {
        // The echo engine writes no images: what it writes is the same.
        RunResult part = RunKx({"--frames", "1", "--region", "0", "0", "1", "1", scene}, DemoFolder());
        EXPECT_EQ(part.status, 0) << part.err;
        EXPECT_EQ(part.out, whole.out);
        return;
    }

    // The list names exactly the images of the full run, drawing nothing.
    const std::string listing = DemoFolder();
    RunResult list = RunKx({"--list-images", scene}, listing);
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(FilesIn(listing), std::vector<std::string>{});
    std::map<std::string, Listed> listed;
    std::istringstream lines(list.out);
    for (std::string word; lines >> word;) {
        if (word != "image") continue;  // the echo engine's own output
        Listed l;
        std::string name;
        lines >> l.frame >> l.width >> l.height >> name;
        listed[name] = l;
    }
    std::vector<std::string> names;
    for (const auto& [name, l] : listed) names.push_back(name);
    ASSERT_EQ(names, images);

    // Each frame on its own writes its images and no other file.
    std::set<int> frames;
    for (const auto& [name, l] : listed) frames.insert(l.frame);
    for (int frame : frames) {
        const std::string dir = DemoFolder();
        RunResult r = RunKx({"--frames", std::to_string(frame), scene}, dir);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> expected;
        for (const auto& [name, l] : listed)
            if (l.frame == frame) expected.push_back(name);
        std::vector<std::string> written;
        for (const std::string& n : FilesIn(dir))
            if (n.find(".out") == std::string::npos) written.push_back(n);
        EXPECT_EQ(written, expected) << "frame " << frame;
        for (const std::string& n : expected)
            EXPECT_TRUE(ReadFile(dir + "/" + n) == ReadFile(full + "/" + n)) << n << " of --frames " << frame;
    }

    // Regions: 2 uneven columns, 3 uneven bands, and 7 pieces of uneven
    // rows and columns.
    const Listed& size = listed.begin()->second;
    for (const auto& [name, l] : listed) ASSERT_TRUE(l.width == size.width && l.height == size.height);
    const int W = size.width, H = size.height;
    using Box = std::vector<int>;
    const std::vector<std::vector<Box>> splits = {
        {{0, 0, W / 3, H}, {W / 3, 0, W, H}},
        {{0, 0, W, H / 5}, {0, H / 5, W, H / 2 + 1}, {0, H / 2 + 1, W, H}},
        {{0, 0, 5, H / 3},
         {5, 0, W / 2 + 3, H / 3},
         {W / 2 + 3, 0, W, H / 3},
         {0, H / 3, W / 4 + 1, H},
         {W / 4 + 1, H / 3, W / 2, H},
         {W / 2, H / 3, W - 7, H},
         {W - 7, H / 3, W, H}},
    };
    for (const auto& split : splits) {
        const std::string dir = DemoFolder();
        for (const Box& b : split) {
            RunResult r = RunKx({"--region", std::to_string(b[0]), std::to_string(b[1]), std::to_string(b[2]),
                                 std::to_string(b[3]), scene},
                                dir);
            ASSERT_EQ(r.status, 0) << r.err;
        }
        for (const std::string& n : images) {
            std::vector<std::string> args = {"-o", n};
            for (const Box& b : split)
                args.push_back(n + ".region-" + std::to_string(b[0]) + "-" + std::to_string(b[1]) + "-" +
                               std::to_string(b[2]) + "-" + std::to_string(b[3]));
            RunResult a = RunBinary(KX_ASSEMBLE, args, dir);
            ASSERT_EQ(a.status, 0) << a.err;
            EXPECT_EQ(a.err, "");
            EXPECT_TRUE(ReadFile(dir + "/" + n) == ReadFile(full + "/" + n))
                << n << " from " << split.size() << " regions";
        }
        // The region runs wrote region files only.
        for (const std::string& n : FilesIn(dir)) {
            if (n.find(".region-") == std::string::npos && n.find(".out") == std::string::npos) {
                EXPECT_TRUE(std::find(images.begin(), images.end(), n) != images.end()) << n;
            }
        }
    }
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(0, info.param.size() - 3);
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleInParts, ::testing::ValuesIn(ExampleScenes()), TestName);

}  // namespace
