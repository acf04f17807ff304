// The gallery pictures in docs/, each shown in docs/gallery.md, are what the
// gallery scenes of examples/ render (as make demo runs them, from a folder
// beside examples/).
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "support/png_read.h"
#include "support/run.h"

using namespace kxtest;

namespace {

std::vector<std::string> Files(const std::string& dir, const std::string& prefix, const std::string& suffix) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > prefix.size() + suffix.size() && n.compare(0, prefix.size(), prefix) == 0 &&
                n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
                names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(Gallery, DocsPicturesAreWhatTheScenesRender) {
    const std::string source = KX_SOURCE_DIR;
    std::vector<std::string> scenes = Files(source + "/examples", "gallery_", ".kx");
    ASSERT_GE(scenes.size(), 6u);
    // The scenes read their textures as ../examples/textures/...
    std::string root = MakeTempDir();
    ASSERT_EQ(symlink((source + "/examples").c_str(), (root + "/examples").c_str()), 0);
    std::string out = root + "/out";
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    for (const std::string& scene : scenes) {
        RunResult r = RunKx({"../examples/" + scene}, out);
        EXPECT_EQ(r.status, 0) << scene << ": " << r.err;
    }
    std::vector<std::string> rendered = Files(out, "gallery_", ".png");
    std::vector<std::string> docs = Files(source + "/docs", "gallery_", ".png");
    EXPECT_EQ(rendered, docs) << "make gallery refreshes docs/";
    std::string gallery = ReadFile(source + "/docs/gallery.md");
    for (const std::string& name : rendered) {
        Image now = ReadPNG(out + "/" + name);
        Image committed = ReadPNG(source + "/docs/" + name);
        ASSERT_TRUE(now.ok) << name;
        ASSERT_TRUE(committed.ok) << name;
        EXPECT_EQ(now.width, committed.width) << name;
        EXPECT_EQ(now.height, committed.height) << name;
        EXPECT_TRUE(now.rgb == committed.rgb) << name << " differs from docs/" << name << "; make gallery refreshes it";
        EXPECT_NE(gallery.find("](" + name + ")"), std::string::npos) << name << " is not shown in docs/gallery.md";
    }
}

// From the folder above examples/, as the README's example runs, the
// ray-traced scene finds the textures it names ("../examples/textures/...")
// beside the scene file, as the direct engine does, and renders its picture.
TEST(Gallery, RayTracedSceneFindsItsTexturesBesideTheSceneFile) {
    const std::string source = KX_SOURCE_DIR;
    const std::string project = MakeTempDir() + "/project";  // with no ../examples
    ASSERT_EQ(mkdir(project.c_str(), 0755), 0);
    ASSERT_EQ(symlink((source + "/examples").c_str(), (project + "/examples").c_str()), 0);
    RunResult r = RunKx({"examples/gallery_raytrace.kx"}, project);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Image now = ReadPNG(project + "/gallery_raytrace0000.png");
    Image committed = ReadPNG(source + "/docs/gallery_raytrace0000.png");
    ASSERT_TRUE(now.ok && committed.ok);
    EXPECT_TRUE(now.rgb == committed.rgb);
}
