// The scenes of tests/regression: inputs that once crashed, hung or misled
// the program (most of them found by the fuzz targets of fuzz/). Each
// NAME.kx is run as scene.kx in a fresh folder; NAME.expected holds the
// exact outcome:
//   status N          the exit status the shell sees
//   --- stderr        then the exact standard error text
//   --- stdout        then the exact standard output text (optional)
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/run.h"

namespace {

const std::string kFolder = std::string(KX_SOURCE_DIR) + "/tests/regression";

struct Expected {
    int status = 0;
    std::string err, out;
    bool checkOut = false;
    bool ok = false;
};

Expected ReadExpected(const std::string& path) {
    Expected e;
    std::string text = kxtest::ReadFile(path);
    const std::string errMark = "--- stderr\n", outMark = "--- stdout\n";
    if (std::sscanf(text.c_str(), "status %d", &e.status) != 1) return e;
    size_t err = text.find(errMark);
    if (err == std::string::npos) return e;
    size_t out = text.find(outMark, err);
    e.err = text.substr(err + errMark.size(), out == std::string::npos ? std::string::npos : out - err - errMark.size());
    if (out != std::string::npos) {
        e.checkOut = true;
        e.out = text.substr(out + outMark.size());
    }
    e.ok = true;
    return e;
}

std::vector<std::string> Scenes() {
    std::vector<std::string> names;
    if (DIR* d = opendir(kFolder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 3 && n.compare(n.size() - 3, 3, ".kx") == 0) names.push_back(n.substr(0, n.size() - 3));
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(Regression, EveryKeptSceneEndsAsRecorded) {
    std::vector<std::string> names = Scenes();
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names) {
        Expected e = ReadExpected(kFolder + "/" + name + ".expected");
        ASSERT_TRUE(e.ok) << name << ".expected is missing or malformed";
        kxtest::RunResult r = kxtest::RunScene(kxtest::ReadFile(kFolder + "/" + name + ".kx"));
        EXPECT_EQ(r.status, e.status) << name;
        EXPECT_EQ(r.err, e.err) << name;
        if (e.checkOut) {
            EXPECT_EQ(r.out, e.out) << name;
        }
    }
}
