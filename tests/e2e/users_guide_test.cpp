// The scene authors' guide (docs/guide.md): each examples/guide_*.kx scene
// it names is rendered as make demo renders it, from a folder beside
// examples/, and shows the figures the guide gives; the import example is
// what the guide's commands write; the orbit script writes 48 frames that
// render.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/png_read.h"
#include "support/run.h"

using namespace kxtest;

namespace {

const std::string kSource = KX_SOURCE_DIR;

// A folder with examples/ (a link to the project's) and run/ beside it;
// returns run/.
std::string RunFolder() {
    const std::string root = MakeTempDir();
    EXPECT_EQ(symlink((kSource + "/examples").c_str(), (root + "/examples").c_str()), 0);
    EXPECT_EQ(mkdir((root + "/run").c_str(), 0755), 0);
    return root + "/run";
}

// Renders examples/NAME.kx from run/ as make demo does; returns run/.
std::string Render(const std::string& name) {
    const std::string run = RunFolder();
    RunResult r = RunKx({"../examples/" + name + ".kx"}, run);
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(r.err, "") << name;
    return run;
}

std::string Pixel(const Image& img, int x, int y) {
    if (!img.ok || x < 0 || y < 0 || x >= img.width || y >= img.height) return "no pixel";
    const uint8_t* p = img.at(x, y);
    return std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]);
}

// The first and last row (or column) of a run of `value` through (x, y),
// down the column (vertical) or along the row.
std::pair<int, int> Extent(const Image& img, int x, int y, bool vertical, const std::string& value) {
    int lo = vertical ? y : x, hi = lo;
    auto at = [&](int i) { return vertical ? Pixel(img, x, i) : Pixel(img, i, y); };
    while (at(lo - 1) == value) --lo;
    while (at(hi + 1) == value) ++hi;
    return {lo, hi};
}

int Count(const Image& img, const std::string& value) {
    int n = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) n += Pixel(img, x, y) == value;
    return n;
}

// The pixels not black, and those with a channel at 255.
std::pair<int, int> ShownAndSaturated(const Image& img) {
    int shown = 0, saturated = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const uint8_t* p = img.at(x, y);
            shown += p[0] || p[1] || p[2];
            saturated += p[0] == 255 || p[1] == 255 || p[2] == 255;
        }
    return {shown, saturated};
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

}  // namespace

// Every guide_*.kx is named in the guide, and the guide states the figures
// the tests below check.
TEST(Guide, TheGuideNamesItsScenesAndTheirFigures) {
    const std::string guide = ReadFile(kSource + "/docs/guide.md");
    std::vector<std::string> scenes;
    if (DIR* d = opendir((kSource + "/examples").c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.rfind("guide_", 0) == 0 && n.size() > 3 && n.compare(n.size() - 3, 3, ".kx") == 0) scenes.push_back(n);
        }
        closedir(d);
    }
    EXPECT_EQ(scenes.size(), 6u);
    for (const std::string& n : scenes) EXPECT_NE(guide.find("`examples/" + n + "`"), std::string::npos) << n;
    for (const char* figure :
         {"640 x 480", "90 degrees", "rows 120 to 359", "columns 200 to 439", "1/9 (28)", "white (255)", "**63**",
          "corners get 50", "**181**", "255 at the centre, 248", "136 further out", "**89**", "**25**", "178 0 0",
          "50 0 0", "are 51", "`examples/orbit.py`", "48 frames", "../man/kx.5.scd", "../man/kxrender.1.scd",
          "engines.md"})
        EXPECT_NE(guide.find(figure), std::string::npos) << figure;
}

// The guide's own scenes (its code blocks that start with Display), saved
// beside the examples' textures, render without a word: a lit sphere, an
// upright map, two posts.
TEST(Guide, TheScenesWrittenInTheGuideRender) {
    const std::string guide = ReadFile(kSource + "/docs/guide.md");
    const std::string root = MakeTempDir();
    ASSERT_EQ(symlink((kSource + "/examples/textures").c_str(), (root + "/textures").c_str()), 0);
    int blocks = 0;
    for (size_t at = 0; (at = guide.find("\n```\nDisplay \"", at)) != std::string::npos; ++blocks) {
        const size_t start = at + 5, end = guide.find("```\n", start);
        ASSERT_NE(end, std::string::npos);
        WriteFile(root, "scene.kx", guide.substr(start, end - start));
        RunResult r = RunKx({"scene.kx"}, root);
        EXPECT_EQ(r.status, 0) << blocks << ": " << r.err;
        EXPECT_EQ(r.err, "") << blocks;
        at = end;
    }
    EXPECT_EQ(blocks, 3);
    EXPECT_EQ(Pixel(ReadPNG(root + "/first0000.png"), 160, 120), "167 83 0");
    Image upright = ReadPNG(root + "/upright0000.png");
    EXPECT_EQ(Pixel(upright, 60, 40), "254 0 0");
    EXPECT_EQ(Pixel(upright, 100, 80), "254 254 254");
    Image posts = ReadPNG(root + "/posts0000.png");
    EXPECT_EQ(Pixel(posts, 128, 160), "255 0 0");
    EXPECT_EQ(Pixel(posts, 512, 160), "255 0 0");
    EXPECT_EQ(Pixel(posts, 320, 240), "0 0 0");
}

// No Format, no camera: 640 x 480, eye at the origin looking down -z, +x to
// the right, +y up, 90 degrees from top to bottom, nothing nearer than 1.
TEST(Guide, TheDefaultCamera) {
    Image img = ReadPPM(Render("guide_camera") + "/guide_camera0000.ppm");
    ASSERT_TRUE(img.ok);
    EXPECT_EQ(img.width, 640);
    EXPECT_EQ(img.height, 480);
    EXPECT_EQ(Extent(img, 320, 240, true, "127 127 127"), std::make_pair(120, 359));
    EXPECT_EQ(Extent(img, 320, 240, false, "127 127 127"), std::make_pair(200, 439));
    EXPECT_EQ(Pixel(img, 560, 240), "255 0 0");  // +x: right
    EXPECT_EQ(Pixel(img, 320, 60), "0 255 0");   // +y: up
    EXPECT_EQ(Count(img, "0 0 255"), 0);         // behind the eye
    EXPECT_EQ(Count(img, "127 127 127"), 240 * 240);

    // A square nearer than 1: cut away by the direct engine, not by the
    // ray tracer.
    const std::string scene =
        Replace(ReadFile(kSource + "/examples/guide_camera.kx"), "WorldEnd",
                "Color 1 1 0\nPolySet \"P\" 4 1  -0.6 -0.6 -0.5  -0.2 -0.6 -0.5  -0.2 -0.2 -0.5  -0.6 -0.2 -0.5  "
                "0 1 2 3 -1\nWorldEnd");
    for (const char* engine : {"direct", "raytrace"}) {
        std::string dir;
        RunResult r = RunScene(std::string("Engine \"") + engine + "\"\n" + scene, &dir);
        ASSERT_EQ(r.status, 0) << r.err;
        Image near = ReadPPM(dir + "/guide_camera0000.ppm");
        EXPECT_EQ(Count(near, "255 255 0") > 0, std::string(engine) == "raytrace") << engine;
    }
}

// The grey at the centre of each frame's square; the point light's corners,
// the far light's even light, the cone's edge.
TEST(Guide, HowEachLightFallsOff) {
    const std::string run = Render("guide_lights");
    const char* centre[] = {"28", "255", "63", "255", "0", "181", "255"};
    std::vector<Image> frames;
    for (int f = 1; f <= 7; ++f) {
        char name[32];
        snprintf(name, sizeof name, "/guide_lights%04d.ppm", f);
        frames.push_back(ReadPPM(run + name));
        const std::string c = centre[f - 1];
        EXPECT_EQ(Pixel(frames.back(), 32, 32), c + " " + c + " " + c) << "frame " << f;
    }
    EXPECT_EQ(Pixel(frames[1], 0, 0), "50 50 50");        // point light: the corners
    EXPECT_EQ(Pixel(frames[3], 0, 0), "255 255 255");     // far light: all alike
    EXPECT_EQ(Pixel(frames[5], 63, 63), "181 181 181");
    EXPECT_EQ(Pixel(frames[6], 36, 32), "248 248 248");   // cone: within 10 degrees
    EXPECT_EQ(Pixel(frames[6], 40, 32), "136 136 136");   // fading
    EXPECT_EQ(Pixel(frames[6], 44, 32), "0 0 0");         // beyond 20 degrees
}

// Front row: matte and plastic lit, metal (Ks 0) only its ambient part,
// painted plastic the map. Back row, DoubleSide on: the same but painted
// plastic, which shows only the ambient part of the map.
TEST(Guide, TheFourMaterialsAndDoubleSide) {
    Image img = ReadPPM(Render("guide_materials") + "/guide_materials0000.ppm");
    const int columns[] = {16, 48, 80};
    const char* lit[] = {"89 89 89", "25 25 25", "89 89 89"};
    for (int row : {16, 48})
        for (int i = 0; i < 3; ++i) EXPECT_EQ(Pixel(img, columns[i], row), lit[i]) << columns[i] << ", " << row;
    EXPECT_EQ(Pixel(img, 106, 10), "178 0 0");
    EXPECT_EQ(Pixel(img, 118, 22), "178 178 178");
    EXPECT_EQ(Pixel(img, 106, 42), "50 0 0");
    EXPECT_EQ(Pixel(img, 118, 54), "50 50 50");
}

// (0, 0) is the picture's bottom left: upright with v up, upside down with
// v down, four times over 0..2 with "repeat".
TEST(Guide, WhichWayUpATextureGoes) {
    Image img = ReadPPM(Render("guide_texture") + "/guide_texture0000.ppm");
    const char* red = "254 0 0";
    const char* green = "0 254 0";
    const char* blue = "0 0 254";
    const char* white = "254 254 254";
    EXPECT_EQ(Pixel(img, 12, 10), red);
    EXPECT_EQ(Pixel(img, 20, 10), green);
    EXPECT_EQ(Pixel(img, 12, 22), blue);
    EXPECT_EQ(Pixel(img, 20, 22), white);
    EXPECT_EQ(Pixel(img, 44, 10), blue);
    EXPECT_EQ(Pixel(img, 52, 22), green);
    const int xs[] = {74, 78, 82, 86}, ys[] = {9, 12, 17, 21};
    const char* expected[4][4] = {
        {red, green, red, green}, {blue, white, blue, white}, {red, green, red, green}, {blue, white, blue, white}};
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) EXPECT_EQ(Pixel(img, xs[i], ys[j]), expected[j][i]) << xs[i] << ", " << ys[j];
}

// Three instances where their transforms put them; the definition's colour
// stays in force after them.
TEST(Guide, AnObjectDefinedOnceAndDrawnThreeTimes) {
    Image img = ReadPPM(Render("guide_objects") + "/guide_objects0000.ppm");
    for (int x : {24, 48, 72}) {
        EXPECT_EQ(Extent(img, x, 24, false, "255 0 0"), std::make_pair(x - 4, x + 3)) << x;
        EXPECT_EQ(Extent(img, x, 24, true, "255 0 0"), std::make_pair(16, 31)) << x;
    }
    EXPECT_EQ(Pixel(img, 48, 52), "255 0 0");
    EXPECT_EQ(Count(img, "0 0 255"), 0);
}

// examples/guide_import.kx is what the guide's lines write for gem.stl; it
// shows the model shaded, never saturated, the faces turned away from the
// light at 0.2 of white (51). Without its AmbientLight the model is a white
// blob.
TEST(Guide, AnImportedModelNeedsLightsOfItsOwn) {
    const std::string head =
        "Format 160 120\nCameraFOV 45\nWorldBegin\nAmbientLight 1 1 1 0.2\nFarLight 1 -1 -1  1 1 1  0.8\n"
        "Translate 0 0 -3\nRotate \"X\" -60\n";
    const std::string guide = ReadFile(kSource + "/docs/guide.md");
    for (size_t start = 0, end; (end = head.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = " echo '" + head.substr(start, end - start) + "'\n";
        EXPECT_NE(guide.find(line), std::string::npos) << line;
    }
    EXPECT_NE(guide.find(" build/kxrender-import --fit model.glb\n echo 'WorldEnd') > model.kx\n"), std::string::npos);
    RunResult model = RunBinary(KX_IMPORT, {"--fit", "examples/models/gem.stl"}, kSource);
    ASSERT_EQ(model.status, 0) << model.err;
    const std::string scene = "Display \"guide_import\" \"PNG\" \"rgb\"\n" + head + model.out + "WorldEnd\n";
    EXPECT_EQ(ReadFile(kSource + "/examples/guide_import.kx"), scene);

    Image img = ReadPNG(Render("guide_import") + "/guide_import0000.png");
    ASSERT_TRUE(img.ok);
    const auto [shown, saturated] = ShownAndSaturated(img);
    EXPECT_GT(shown, 3000);
    EXPECT_EQ(saturated, 0);
    EXPECT_GT(Count(img, "51 51 51"), 100);

    const std::string dir = MakeTempDir();
    WriteFile(dir, "blob.kx", Replace(scene, "AmbientLight 1 1 1 0.2\n", ""));
    RunResult r = RunKx({"blob.kx"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    Image blob = ReadPNG(dir + "/guide_import0000.png");
    EXPECT_EQ(Count(blob, "255 255 255"), shown);
    EXPECT_EQ(Count(blob, "0 0 0"), 160 * 120 - shown);
}

// examples/orbit.py imports a model and writes 48 frames round it; the
// scene lists 48 images, and one frame of it renders on its own.
TEST(Guide, TheOrbitScriptWrites48FramesThatRender) {
    const std::string dir = MakeTempDir();
    RunResult r = RunBinary("/usr/bin/python3",
                            {kSource + "/examples/orbit.py", "--importer", KX_IMPORT,
                             kSource + "/examples/models/crate.gltf", dir + "/orbit.kx"},
                            dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(FileExists(dir + "/orbit.kx.import.tmp"));
    r = RunKx({"--list-images", "orbit.kx"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string expected;
    for (int f = 1; f <= 48; ++f) {
        char line[64];
        snprintf(line, sizeof line, "image %d 320 240 orbit%04d.png\n", f, f);
        expected += line;
    }
    EXPECT_EQ(r.out, expected);

    r = RunKx({"--frames", "13", "orbit.kx"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(FileExists(dir + "/orbit0012.png"));
    EXPECT_FALSE(FileExists(dir + "/orbit0014.png"));
    Image img = ReadPNG(dir + "/orbit0013.png");
    ASSERT_TRUE(img.ok);
    EXPECT_EQ(img.width, 320);
    EXPECT_LT(Count(img, "0 0 0"), 320 * 240 - 5000);  // the crate fills a good part
}

// The README's import example, run as written (with this build's programs),
// shows the model lit: no more than its highlights saturated.
TEST(Guide, TheReadmeImportExampleShowsTheModel) {
    const std::string readme = ReadFile(kSource + "/README.md");
    const size_t section = readme.find("## Importing a model\n\n```\n");
    ASSERT_NE(section, std::string::npos);
    const size_t begin = readme.find('\n', readme.find("```", section)) + 1;
    std::string block = readme.substr(begin, readme.find("```", begin) - begin);
    // Each name as the README writes it, once through, longest first.
    const std::pair<std::string, std::string> names[] = {
        {"build/kxrender-import", KX_IMPORT}, {"build/kxrender", KX_BINARY}, {"examples/", kSource + "/examples/"}};
    for (size_t at = 0; at < block.size(); ++at)
        for (const auto& [from, to] : names)
            if (block.compare(at, from.size(), from) == 0) {
                block.replace(at, from.size(), to);
                at += to.size() - 1;
                break;
            }
    const std::string dir = MakeTempDir();
    RunResult r = RunBinary("/bin/sh", {"-c", block}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Image img = ReadPNG(dir + "/model0000.png");
    ASSERT_TRUE(img.ok);
    const auto [shown, saturated] = ShownAndSaturated(img);
    EXPECT_GT(shown, img.width * img.height / 50);
    EXPECT_LT(saturated * 20, shown);
}
