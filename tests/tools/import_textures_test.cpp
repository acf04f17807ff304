// kxrender-import's textures and attributes: texture files found as a user
// would expect, only in the model's folder; textures stored in a model
// written beside the --output file; what cannot be used left out with one
// warning each, so that the scene written always renders; wrap modes as
// MapBorder, vertex colours as the "C" vertex type; values that are not
// finite numbers.
#include <gtest/gtest.h>

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "support/image_write.h"
#include "support/model_write.h"
#include "support/png_read.h"
#include "support/run.h"

using namespace kxtest;

namespace {

const std::string kSceneHead = "Display \"img\" \"PNM\" \"rgb\"\nFormat 96 96\nCameraEye 3 4 5\nCameraAt 0 0 0\n"
                               "CameraFOV 40\nWorldBegin\nFarLight -1 -2 -1.5 1 1 1 1\n";

RunResult Import(const std::string& dir, const std::vector<std::string>& args) {
    return RunBinary(KX_IMPORT, args, dir);
}

// The model's scene inside a world, rendered from dir (scene file sceneFile,
// relative to dir): the image, status 0 and nothing on standard error
// expected.
Image RenderIn(const std::string& dir, const std::string& sceneFile, const std::string& model) {
    WriteFile(dir, sceneFile, kSceneHead + model + "WorldEnd\n");
    const RunResult r = RunKx({sceneFile}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return ReadPPM(dir + "/img0000.ppm");
}

std::string Real(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? buf : "";
}

std::set<std::string> Files(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

Image Checker(uint8_t r, uint8_t g, uint8_t b) {
    Image tex;
    tex.width = tex.height = 16;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool on = ((x / 4) + (y / 4)) % 2;
            tex.rgb.insert(tex.rgb.end(), {uint8_t(on ? r : 20), uint8_t(on ? g : 60), uint8_t(on ? b : 160)});
        }
    return tex;
}

// The lines of text that start with start.
std::string LinesWith(const std::string& text, const std::string& start) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
        if (line.rfind(start, 0) == 0) out += line;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return out;
}

}  // namespace

// Names in another case, with backslashes, Windows paths and names leading
// out of the folder; a texture outside the model's folder is not read, a
// missing or unreadable one is left out with one warning and its material
// keeps its colour; a path too long for a scene string gets a short link.
TEST(ImportTextures, FoundAsAUserExpectsAndOnlyInTheModelsFolder) {
    const std::string dir = MakeTempDir();
    const std::string tex = PngBytes(Checker(230, 200, 40), PngKind::Rgb);
    ASSERT_EQ(mkdir((dir + "/models").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir + "/models/textures").c_str(), 0755), 0);
    WriteFile(dir, "secret.png", tex);  // outside the model's folder
    WriteFile(dir, "models/textures/Cwall02.png", tex);
    WriteFile(dir, "models/floor.png", tex);
    WriteFile(dir, "models/grass.png", tex);
    WriteFile(dir, "models/notes.png", "not a picture\n");
    ASSERT_EQ(symlink("../secret.png", (dir + "/models/link.png").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/models/fifo.png").c_str(), 0644), 0);  // opened, it would block
    std::string deep = "models";
    for (char c : {'a', 'b', 'c'}) {
        deep += "/" + std::string(110, c);
        ASSERT_EQ(mkdir((dir + "/" + deep).c_str(), 0755), 0);
    }
    WriteFile(dir, deep + "/long.png", tex);
    const std::string longName = deep.substr(7) + "/long.png";
    WriteFile(dir, "models/walls.mtl",
              "newmtl wall\nmap_Kd TEXTURES\\CWALL02.PNG\n"
              "newmtl floor\nmap_Kd D:\\projects\\art\\floor.png\n"
              "newmtl grass\nmap_Kd ..\\LWO\\grass.png\n"
              "newmtl secret\nKd 0.5 0.5 0.5\nKs 0.25 0.25 0.25\nmap_Kd ../secret.png\n"
              "newmtl missing\nKd 0.25 0.5 0.75\nKs 0 0 0\nmap_Kd missing.png\n"
              "newmtl notes\nKd 1 0 0\nKs 0 0 0\nmap_Kd notes.png\n"
              "newmtl long\nmap_Kd " + longName + "\n"
              "newmtl link\nmap_Kd link.png\nnewmtl fifo\nmap_Kd fifo.png\n");
    // One material for each of the cube's first triangles, in that order.
    std::string obj = ObjText(CubeMesh(true), "mtllib walls.mtl\n");
    const char* materials[] = {"wall", "floor", "grass", "secret", "missing", "notes", "long", "link", "fifo"};
    size_t at = 0;
    for (const char* m : materials) {
        at = obj.find("\nf ", at) + 1;
        const std::string use = std::string("usemtl ") + m + "\n";
        obj.insert(at, use);
        at += use.size();
    }
    WriteFile(dir, "models/walls.obj", obj);

    for (int run = 0; run < 2; ++run) {  // the second run takes the link of the first
        const RunResult r = Import(dir, {"models/walls.obj"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err,
                  "models/walls.obj: warning: material \"secret\": texture \"../secret.png\" left out: outside the "
                  "model's folder, and not found in it (looked in models: No such file or directory)\n"
                  "models/walls.obj: warning: material \"missing\": texture \"missing.png\" left out: not found "
                  "(looked in models: No such file or directory)\n"
                  "models/walls.obj: warning: material \"notes\": texture \"notes.png\" left out: not readable as a "
                  "map: a format kxrender does not read, or a damaged file (" +
                      Real(dir + "/models/notes.png") +
                      ")\n"
                      "models/walls.obj: warning: material \"link\": texture \"link.png\" left out: leads outside "
                      "the model's folder\n"
                      "models/walls.obj: warning: material \"fifo\": texture \"fifo.png\" left out: not a regular "
                      "file\n");
        EXPECT_EQ(LinesWith(r.out, "MapLoad"),
                  "MapLoad \"models/textures/Cwall02.png\" \"walls.obj#1\"\n"
                  "MapLoad \"models/floor.png\" \"walls.obj#2\"\n"
                  "MapLoad \"models/grass.png\" \"walls.obj#3\"\n"
                  "MapLoad \"walls_file1.png\" \"walls.obj#4\"\n");
        EXPECT_EQ(LinesWith(r.out, "Surface"),
                  "Surface \"painted plastic\"\nSurface \"painted plastic\"\nSurface \"painted plastic\"\n"
                  "Surface \"plastic\"\nSurface \"matte\"\nSurface \"matte\"\nSurface \"painted plastic\"\n"
                  "Surface \"matte\"\nSurface \"matte\"\n");
        EXPECT_NE(r.out.find("Color 0.25 0.5 0.75\nKd 1\nKs 0\nSpecular 1 1 1 10\nSurface \"matte\"\nPolySet"),
                  std::string::npos);
        RenderIn(dir, "scene.kx", r.out);
    }
    char link[PATH_MAX + 1] = {};
    ASSERT_GT(readlink((dir + "/walls_file1.png").c_str(), link, PATH_MAX), 0);
    EXPECT_EQ(link, Real(dir + "/" + deep + "/long.png"));
    EXPECT_EQ(Files(dir), (std::set<std::string>{"img0000.ppm", "models", "scene.kx", "secret.png",
                                                 "walls_file1.png"}));
}

// A PNG stored in a GLB is written beside the --output file, found by the
// renderer from another folder, and shows its texels; a file of that name
// that the importer did not write is left alone.
TEST(ImportTextures, StoredTexturesAreWrittenBesideTheOutput) {
    const std::string dir = MakeTempDir();
    const Image tex = Checker(230, 200, 40);
    WriteFile(dir, "tex.ppm", PnmBytes(tex, false));
    WriteFile(dir, "ball.glb",
              GltfBytes(SphereMesh(true), true,
                        "[{\"name\":\"skin\",\"pbrMetallicRoughness\":{\"baseColorTexture\":{\"index\":0}}}]",
                        ",\"textures\":[{\"source\":0}],\"images\":[{\"uri\":\"data:image/png;base64," +
                            Base64(PngBytes(tex, PngKind::Rgb)) + "\"}]"));
    ASSERT_EQ(mkdir((dir + "/out").c_str(), 0755), 0);
    RunResult r = Import(dir, {"--output", "out/ball.kx", "ball.glb"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    const std::string scene = ReadFile(dir + "/out/ball.kx");
    EXPECT_EQ(LinesWith(scene, "Map"), "MapLoad \"ball_0.png\" \"ball.glb#1\"\nMap \"texture\" \"ball.glb#1\"\n"
                                       "MapBorder \"texture\" \"repeat\" \"repeat\"\n");
    const Image written = ReadPNG(dir + "/out/ball_0.png");
    ASSERT_TRUE(written.ok);
    EXPECT_EQ(written.rgb, tex.rgb);
    // Rendered from dir, the scene in out/: the map is found beside it, and
    // the picture is the one with the texture written by hand.
    const Image a = RenderIn(dir, "out/render.kx", scene);
    std::string byHand = scene;
    byHand.replace(byHand.find("ball_0.png"), 10, "tex.ppm");
    const Image b = RenderIn(dir, "render.kx", byHand);
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(a.rgb, b.rgb);
    int covered = 0;
    for (size_t i = 0; i + 2 < a.rgb.size(); i += 3) covered += a.rgb[i] || a.rgb[i + 1] || a.rgb[i + 2];
    EXPECT_GT(covered, 96 * 96 / 10);

    // Again: the file of the first run is taken as it is.
    r = Import(dir, {"-o", "out/ball.kx", "ball.glb"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir + "/out/ball.kx"), scene);
    EXPECT_EQ(Files(dir + "/out"), (std::set<std::string>{"ball.kx", "ball_0.png", "render.kx"}));
    // A file of another content under the name is not replaced; standard
    // output names the file from the current folder.
    WriteFile(dir, "ball_0.png", "the user's own\n");
    r = Import(dir, {"ball.glb"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(LinesWith(r.out, "MapLoad"), "MapLoad \"ball_0-2.png\" \"ball.glb#1\"\n");
    EXPECT_EQ(ReadFile(dir + "/ball_0.png"), "the user's own\n");
    EXPECT_EQ(ReadFile(dir + "/ball_0-2.png"), ReadFile(dir + "/out/ball_0.png"));
    // A scene that cannot be written leaves nothing under its name.
    r = Import(dir, {"-o", "missing/ball.kx", "ball.glb"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "missing/ball.kx: cannot write: No such file or directory\n");
}

// A texture not found is left out naming the folders looked in and the
// system's reason; one found but not opened, the file and the reason.
TEST(ImportTextures, TexturesThatCannotBeOpenedSayWhy) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(mkdir((dir + "/models").c_str(), 0755), 0);
    WriteFile(dir, "models/wall", "a file where a folder should be\n");
    WriteFile(dir, "models/locked.png", PngBytes(Checker(4, 4, 40), PngKind::Rgb));
    WriteFile(dir, "models/m.mtl",
              "newmtl a\nmap_Kd wall/brick.png\nnewmtl b\nmap_Kd /nowhere/brick.png\nnewmtl c\nmap_Kd locked.png\n");
    WriteFile(dir, "models/m.obj",
              "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl a\nf 1/1 2/2 3/3\n"
              "usemtl b\nf 1/1 2/2 3/3\nusemtl c\nf 1/1 2/2 3/3\n");
    const bool root = geteuid() == 0;
    if (!root) {
        ASSERT_EQ(chmod((dir + "/models/locked.png").c_str(), 0), 0);
    }
    const RunResult r = Import(dir, {"models/m.obj"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string expected =
        "models/m.obj: warning: material \"a\": texture \"wall/brick.png\" left out: not found (looked in models: "
        "Not a directory)\n"
        "models/m.obj: warning: material \"b\": texture \"/nowhere/brick.png\" left out: outside the model's "
        "folder, and not found in it (looked in /nowhere and models: No such file or directory)\n";
    if (!root)
        expected += "models/m.obj: warning: material \"c\": texture \"locked.png\" left out: cannot be opened (" +
                    Real(dir + "/models/locked.png") + ": Permission denied)\n";
    EXPECT_EQ(r.err, expected);
}

// Wrap modes as MapBorder, vertex colours as "C", at most 20 maps, and
// values that are not finite numbers.
TEST(ImportTextures, BordersColoursMapCountAndNonFiniteValues) {
    const std::string dir = MakeTempDir();
    WriteFile(dir, "tex.png", PngBytes(Checker(230, 200, 40), PngKind::Rgb));
    WriteFile(dir, "tiled.gltf",
              GltfBytes(SphereMesh(true), false,
                        "[{\"name\":\"skin\",\"pbrMetallicRoughness\":{\"baseColorTexture\":{\"index\":0}}}]",
                        ",\"samplers\":[{\"wrapS\":33071,\"wrapT\":33648}],"
                        "\"textures\":[{\"source\":0,\"sampler\":0}],\"images\":[{\"uri\":\"tex.png\"}]"));
    RunResult r = Import(dir, {"tiled.gltf"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "tiled.gltf: warning: material \"skin\": texture \"tex.png\" mirrored at its edges, repeated "
                     "instead (a map has no mirrored border)\n");
    EXPECT_EQ(LinesWith(r.out, "Map"), "MapLoad \"tex.png\" \"tiled.gltf#1\"\nMap \"texture\" \"tiled.gltf#1\"\n"
                                       "MapBorder \"texture\" \"clamp\" \"repeat\"\n");

    WriteFile(dir, "colours.obj", "v 0 0 0 1 0 0\nv 1 0 0 0 1 0\nv 0 1 0 0 0 0.5\nf 1 2 3\n");
    WriteFile(dir, "colours.ply",
              "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
              "property uchar red\nproperty uchar green\nproperty uchar blue\nelement face 1\n"
              "property list uchar int vertex_indices\nend_header\n0 0 0 255 0 0\n1 0 0 0 255 0\n0 1 0 0 0 128\n"
              "3 0 1 2\n");
    for (const char* model : {"colours.obj", "colours.ply"}) {
        r = Import(dir, {model});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, std::string("# ") + model + ": 3 vertices, 1 faces\nPolySet \"PC\" 3 1\n  0 0 0 1 0 0\n"
                         "  1 0 0 0 1 0\n  0 1 0 0 0 " + (model[8] == 'o' ? "0.5" : "0.5019608") + "\n  0 1 2 -1\n");
        RenderIn(dir, "scene.kx", r.out);
    }

    // 22 textures: the first 20 used, the others left out.
    std::string obj, mtl;
    for (int i = 0; i < 22; ++i) {
        const std::string n = std::to_string(i);
        Image one;
        one.width = one.height = 1;
        one.rgb = {uint8_t(i * 10), 100, 200};
        WriteFile(dir, "t" + n + ".png", PngBytes(one, PngKind::Rgb));
        mtl += "newmtl m" + n + "\nmap_Kd t" + n + ".png\n";
        obj += "v " + n + " 0 0\nv " + n + " 1 0\nv " + n + ".5 0 1\nusemtl m" + n + "\nf -3 -2 -1\n";
    }
    WriteFile(dir, "many.mtl", mtl);
    WriteFile(dir, "many.obj", "mtllib many.mtl\n" + obj);
    r = Import(dir, {"--fit", "many.obj"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "many.obj: warning: material \"m20\": texture \"t20.png\" left out: more than 20 texture files, "
                     "the most a scene holds\n"
                     "many.obj: warning: material \"m21\": texture \"t21.png\" left out: more than 20 texture files, "
                     "the most a scene holds\n");
    const std::string loads = LinesWith(r.out, "MapLoad");
    EXPECT_EQ(std::count(loads.begin(), loads.end(), '\n'), 20);
    EXPECT_NE(r.out.find("MapLoad \"t19.png\" \"many.obj#20\"\n"), std::string::npos);
    EXPECT_EQ(r.out.find("t20.png"), std::string::npos);
    RenderIn(dir, "scene.kx", r.out);

    // A position that is not a finite number refuses the model; a normal
    // leaves the normals out.
    WriteFile(dir, "inf.obj", "v 0 0 0\nv 1 0 0\nv inf 1 0\nf 1 2 3\n");
    r = Import(dir, {"--fit", "inf.obj"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "inf.obj: vertex 2 of mesh \"defaultobject\" has a position that is not a finite number\n");
    WriteFile(dir, "nan.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn nan 0 1\nf 1//1 2//1 3//1\n");
    r = Import(dir, {"nan.obj"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "nan.obj: warning: normals left out: vertex 0 of mesh \"defaultobject\" has a normal that is "
                     "not a finite number\n");
    EXPECT_EQ(r.out, "# nan.obj: 3 vertices, 1 faces\nPolySet \"P\" 3 1\n  0 0 0\n  1 0 0\n  0 1 0\n  0 1 2 -1\n");
}
