// kxrender-import: a cube and a sphere written in every format render as the
// same mesh written by hand; materials and textures come through; bad and
// hostile files end with one line and status 1.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/image_write.h"
#include "support/model_write.h"
#include "support/run.h"

using namespace kxtest;

namespace {

RunResult Import(const std::string& dir, const std::vector<std::string>& args) {
    return RunBinary(KX_IMPORT, args, dir);
}

Image Render(const std::string& scene, const std::string& dir = "") {
    std::string where = dir;
    RunResult r = dir.empty() ? RunScene(scene, &where) : RunKx({"scene.kx"}, (WriteFile(dir, "scene.kx", scene), dir));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return ReadPPM(where + "/img0000.ppm");
}

std::string FirstLineWith(const std::string& text, const std::string& start) {
    size_t at = text.rfind("\n" + start) != std::string::npos ? text.find("\n" + start) + 1 : 0;
    if (text.compare(at, start.size(), start) != 0) return "";
    return text.substr(at, text.find('\n', at) - at + 1);
}

int Covered(const Image& im) {
    int n = 0;
    for (size_t i = 0; i + 2 < im.rgb.size(); i += 3) n += im.rgb[i] || im.rgb[i + 1] || im.rgb[i + 2];
    return n;
}

}  // namespace

TEST(Import, EveryFormatGivesTheMeshWrittenByHand) {
    const TestMesh cube = CubeMesh(false), cubeTriangles = CubeMesh(true), sphere = SphereMesh(true);
    TestMesh cubeNoTexture = cube;
    cubeNoTexture.texcoords.clear();
    const TestMesh spherePN = SphereMesh(false);
    const TestMesh cubeFacets = Faceted(cubeTriangles), sphereFacets = Faceted(spherePN);
    struct Case {
        const char* file;
        std::string bytes;
        const TestMesh* mesh;  // as the file holds it
    } cases[] = {
        {"cube.obj", ObjText(cube), &cube},
        {"sphere.obj", ObjText(sphere), &sphere},
        {"cube.ply", PlyBytes(cubeNoTexture, false), &cubeNoTexture},
        {"sphere.ply", PlyBytes(spherePN, false), &spherePN},
        {"cube-binary.ply", PlyBytes(cubeNoTexture, true), &cubeNoTexture},
        {"sphere-binary.ply", PlyBytes(spherePN, true), &spherePN},
        {"cube.stl", StlBytes(cubeFacets, false), &cubeFacets},
        {"sphere.stl", StlBytes(sphereFacets, false), &sphereFacets},
        {"cube-binary.stl", StlBytes(cubeFacets, true), &cubeFacets},
        {"sphere-binary.stl", StlBytes(sphereFacets, true), &sphereFacets},
        {"cube.gltf", GltfBytes(cubeTriangles, false), &cubeTriangles},
        {"sphere.gltf", GltfBytes(sphere, false), &sphere},
        {"cube.glb", GltfBytes(cubeTriangles, true), &cubeTriangles},
        {"sphere.glb", GltfBytes(sphere, true), &sphere},
    };
    const std::string dir = MakeTempDir();
    for (const Case& c : cases) {
        WriteFile(dir, c.file, c.bytes);
        RunResult r = Import(dir, {c.file});
        ASSERT_EQ(r.status, 0) << c.file << ": " << r.err;
        EXPECT_EQ(r.err, "") << c.file;
        const std::string byHand = PolySetText(*c.mesh);
        // Same vertex type, vertex count and face count ...
        EXPECT_EQ(FirstLineWith(r.out, "PolySet"), byHand.substr(0, byHand.find('\n') + 1)) << c.file;
        EXPECT_EQ(r.out.rfind(std::string("# ") + c.file + ": ", 0), 0u) << r.out.substr(0, 80);
        // ... and the same picture.
        const Image imported = Render(TexturedMeshScene(r.out)), written = Render(TexturedMeshScene(byHand));
        ASSERT_TRUE(imported.ok && written.ok) << c.file;
        EXPECT_EQ(imported.rgb, written.rgb) << c.file;
        EXPECT_GT(Covered(imported), 96 * 96 / 10) << c.file;
    }
}

TEST(Import, MaterialsAndTexturesFromObjAndGltf) {
    const std::string dir = MakeTempDir();
    // A texture of 16 x 16 squares, as PNG for the models and as PPM for the
    // scene written by hand.
    Image tex;
    tex.width = tex.height = 16;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool on = ((x / 4) + (y / 4)) % 2;
            tex.rgb.insert(tex.rgb.end(), {uint8_t(on ? 230 : 20), uint8_t(on ? 200 : 60), uint8_t(on ? 40 : 160)});
        }
    WriteFile(dir, "tex.png", PngBytes(tex, PngKind::Rgb));
    WriteFile(dir, "tex.ppm", PnmBytes(tex, false));

    // OBJ: the cube's first three sides in red plastic, the others textured.
    const TestMesh cube = CubeMesh(false);
    std::string obj = ObjText(cube, "mtllib cube.mtl\n");
    const size_t fourth = obj.find("f 13/");
    obj.insert(fourth, "usemtl textured\n");
    obj.insert(obj.find("f 1/"), "usemtl red\n");
    WriteFile(dir, "cube.obj", obj);
    WriteFile(dir, "cube.mtl",
              "newmtl red\nKd 0.75 0.125 0.125\nKs 0.5 0.25 0.25\nNs 20\n"
              "newmtl textured\nKd 1 1 1\nKs 0 0 0\nmap_Kd tex.png\n");
    RunResult r = Import(dir, {"cube.obj"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string red = "Color 0.75 0.125 0.125\nKd 1\nKs 0.5\nSpecular 1 0.5 0.5 20\nSurface \"plastic\"\n";
    const std::string textured =
        "Color 1 1 1\nKd 1\nKs 0\nSpecular 1 1 1 10\nMapLoad \"tex.png\" \"cube.obj#1\"\n"
        "Map \"texture\" \"cube.obj#1\"\nMapBorder \"texture\" \"repeat\" \"repeat\"\n"
        "Surface \"painted plastic\"\n";
    TestMesh first = cube, second = cube;
    first.faces.resize(3);
    second.faces.erase(second.faces.begin(), second.faces.begin() + 3);
    auto renumber = [](TestMesh m) {  // vertices of the faces kept, in order
        TestMesh out;
        for (auto& f : m.faces) {
            std::vector<int> g;
            for (int i : f) {
                g.push_back(static_cast<int>(out.positions.size()));
                out.positions.push_back(m.positions[i]);
                out.normals.push_back(m.normals[i]);
                out.texcoords.push_back(m.texcoords[i]);
            }
            out.faces.push_back(g);
        }
        return out;
    };
    EXPECT_EQ(r.out.find("# cube.obj, material \"red\": 12 vertices, 3 faces\n" + red + "PolySet \"PNT\" 12 3\n"),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("# cube.obj, material \"textured\": 12 vertices, 3 faces\n" + textured +
                         "PolySet \"PNT\" 12 3\n"),
              std::string::npos)
        << r.out;
    // The same scene by hand, with the PPM texture.
    std::string byHand = red + PolySetText(renumber(first)) + textured + PolySetText(renumber(second));
    byHand.replace(byHand.find("tex.png"), 7, "tex.ppm");
    const std::string sceneHead = "Display \"img\" \"PNM\" \"rgb\"\nFormat 96 96\nCameraEye 3 4 5\nCameraAt 0 0 0\n"
                                  "CameraFOV 40\nWorldBegin\nFarLight -1 -2 -1.5 1 1 1 1\n";
    const Image a = Render(sceneHead + r.out + "WorldEnd\n", dir);
    const Image b = Render(sceneHead + byHand + "WorldEnd\n", dir);
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(a.rgb, b.rgb);

    // glTF: a base colour and a base colour texture, unnamed material.
    const TestMesh sphere = SphereMesh(true);
    WriteFile(dir, "ball.gltf",
              GltfBytes(sphere, false, "[{\"pbrMetallicRoughness\":{\"baseColorFactor\":[0.25,0.5,1,1],"
                                       "\"baseColorTexture\":{\"index\":0}}}]",
                        ",\"textures\":[{\"source\":0}],\"images\":[{\"uri\":\"tex.png\"}]"));
    r = Import(dir, {"ball.gltf"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string material = "Color 0.25 0.5 1\nKd 1\nKs 0\n";
    EXPECT_EQ(r.out.find(material), r.out.find('\n') + 1) << r.out.substr(0, 300);
    const std::string map = "MapLoad \"tex.png\" \"ball.gltf#1\"\nMap \"texture\" \"ball.gltf#1\"\n"
                            "MapBorder \"texture\" \"repeat\" \"repeat\"\nSurface \"painted plastic\"\n"
                            "PolySet \"PNT\" 151 224\n";
    EXPECT_NE(r.out.find(map), std::string::npos) << r.out.substr(0, 300);
    std::string ball = r.out;
    ball.replace(ball.find("tex.png"), 7, "tex.ppm");
    const Image c = Render(sceneHead + r.out + "WorldEnd\n", dir);
    const Image d = Render(sceneHead + ball + "WorldEnd\n", dir);
    ASSERT_TRUE(c.ok && d.ok);
    EXPECT_EQ(c.rgb, d.rgb);
    EXPECT_GT(Covered(c), 96 * 96 / 10);
}

TEST(Import, BadFilesGiveOneLineAndStatusOne) {
    const std::string dir = MakeTempDir();
    const TestMesh cube = CubeMesh(true);
    TestMesh facets = Faceted(cube);
    const std::string ply = PlyBytes(facets, true), stl = StlBytes(facets, true), glb = GltfBytes(cube, true);
    const std::string gltf = GltfBytes(cube, false), plyText = PlyBytes(facets, false);
    struct Case {
        const char* file;
        std::string bytes;
    } cases[] = {
        {"cut.ply", ply.substr(0, ply.size() - 30)},
        {"cut-text.ply", plyText.substr(0, plyText.size() / 2)},
        {"bad.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nend_header\n1\n2\n"},
        {"index.ply", PlyBytes(facets, false).replace(plyText.rfind("3 "), 5, "3 0 1 999")},
        {"cut.stl", stl.substr(0, stl.size() - 20)},
        {"cut.glb", glb.substr(0, glb.size() - 40)},
        {"bad.glb", "glTF" + std::string(40, '\x7f')},
        {"cut.gltf", gltf.substr(0, gltf.size() / 2)},
        {"empty.stl", ""},
        {"noise.dae", "<?xml version=\"1.0\"?><COLLADA><broken"},
        {"noise.3ds", std::string("\x4d\x4d\xff\xff\xff\x7f", 6) + std::string(64, '\x3d')},
        {"model.xyz123", "v 0 0 0\n"},
    };
    for (const Case& c : cases) {
        WriteFile(dir, c.file, c.bytes);
        RunResult r = Import(dir, {c.file});
        EXPECT_EQ(r.status, 1) << c.file << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.file;
        EXPECT_EQ(r.err.rfind(std::string(c.file) + ": ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    RunResult r = Import(dir, {"missing.stl"});
    EXPECT_EQ(r.err, "missing.stl: No such file or directory\n");
    r = Import(dir, {"model.xyz123"});
    EXPECT_EQ(r.err, "model.xyz123: unknown model format \".xyz123\"\n");
}

TEST(Import, HostileObjFiles) {
    const std::string dir = MakeTempDir();
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    // Indices that wrap around in 32 or 64 bits are out of range.
    for (const char* index : {"4294967298", "99999999999999999999", "18446744073709551617", "-4294967295"}) {
        WriteFile(dir, "wrap.obj", tri + "f 1 2 3\nf 1 2 " + index + "\n");
        RunResult r = Import(dir, {"wrap.obj"});
        EXPECT_EQ(r.status, 1) << index;
        EXPECT_EQ(r.err, "wrap.obj: face 2: vertex index out of range (the file has 3 vertices)\n") << index;
    }
    // A name that would start a new line in the comment, or end a string.
    const std::string odd = "a\nWorldEnd\n\"b.obj";
    WriteFile(dir, odd, tri + "f 1 2 3\n");
    RunResult r = Import(dir, {odd});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), "# a\\012WorldEnd\\012\\\"b.obj: 3 vertices, 1 faces\n");
    // An endless line is cut off at the bound, in constant memory.
    ASSERT_EQ(symlink("/dev/zero", (dir + "/zero.obj").c_str()), 0);
    r = Import(dir, {"zero.obj"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zero.obj: line 1: longer than 67108864 bytes\n");
    // A face of 100,000 of the file's 1,000,000 vertices: split into a fan
    // of triangles.
    std::string big;
    std::string face = "f";
    for (int i = 0; i < 1000000; ++i) {
        big.append("v ").append(std::to_string(i % 1000)).append(" ").append(std::to_string(i / 1000)).append(" 0\n");
        if (i % 10 == 0) face.append(" ").append(std::to_string(i + 1));
    }
    WriteFile(dir, "big.obj", big + face + "\n");
    r = Import(dir, {"big.obj"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "big.obj: warning: 1 faces of more than 50 vertices split into triangles\n");
    EXPECT_NE(r.out.find("PolySet \"P\" 100000 99998\n"), std::string::npos);
#ifndef __SANITIZE_ADDRESS__  // the sanitizer itself needs more address space
    // Memory the system refuses ends with a report, not an abort.
    r = RunBinary("/bin/sh", {"-c", std::string("ulimit -v 50000; exec ") + KX_IMPORT + " big.obj"}, dir);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "big.obj: out of memory\n");
#endif
}

TEST(Import, PlacementOptionsHelpAndVersion) {
    const std::string dir = MakeTempDir();
    WriteFile(dir, "box.obj", "v 10 20 30\nv 14 20 30\nv 14 22 31\nf 1 2 3\n");
    RunResult r = Import(dir, {"--fit", "box.obj"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("  -1 -0.5 -0.25\n  1 -0.5 -0.25\n  1 0.5 0.25\n"), std::string::npos) << r.out;
    r = Import(dir, {"--center", "--scale", "2", "box.obj"});
    EXPECT_NE(r.out.find("  -4 -2 -1\n  4 -2 -1\n  4 2 1\n"), std::string::npos) << r.out;
    r = Import(dir, {"--scale", "0.5", "box.obj"});
    EXPECT_NE(r.out.find("  5 10 15\n  7 10 15\n  7 11 15.5\n"), std::string::npos) << r.out;
    r = Import(dir, {"--scale", "x", "box.obj"});
    EXPECT_EQ(r.status, 2);

    for (const char* program : {KX_IMPORT, KX_OBJ2KX}) {
        const std::string name = std::string(program).substr(std::string(program).rfind('/') + 1);
        for (const char* help : {"--help", "-h"}) {
            r = RunBinary(program, {help}, dir);
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.out.rfind(std::string("Usage: ") + program, 0), 0u) << r.out;
            EXPECT_NE(r.out.find("--fit"), std::string::npos);
            EXPECT_EQ(r.err, "");
        }
        r = RunBinary(program, {"--version"}, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, name + RunKx({"--version"}, dir).out.substr(std::strlen("kxrender")));
        // The old name is the same program.
        r = RunBinary(program, {"box.obj"}, dir);
        EXPECT_EQ(r.out, "# box.obj: 3 vertices, 1 faces\nPolySet \"P\" 3 1\n  10 20 30\n  14 20 30\n  14 22 31\n  0 1 2 -1\n");
    }
}

// The gallery's model scene is what the importer writes for the models.
TEST(Import, GallerySceneIsTheImportOfTheModels) {
    const std::string dir = MakeTempDir();
    RunResult r = RunBinary("/bin/sh", {KX_SOURCE_DIR "/examples/models/make_gallery.sh", KX_IMPORT, dir + "/g.kx"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(ReadFile(dir + "/g.kx") == ReadFile(KX_SOURCE_DIR "/examples/gallery_models.kx"))
        << "examples/models/make_gallery.sh refreshes examples/gallery_models.kx";
}

// Node transforms are applied to the positions (and normals): a triangle
// moved by 2 along x and doubled in Collada and glTF; 3DS, whose z is up,
// comes out with y up as the library turns it.
TEST(Import, NodeTransformsAreAppliedToThePositions) {
    const std::string dir = MakeTempDir();
    WriteFile(dir, "tri.dae",
              "<?xml version=\"1.0\"?>\n<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" "
              "version=\"1.4.1\"><asset><up_axis>Y_UP</up_axis></asset><library_geometries><geometry id=\"g\">"
              "<mesh><source id=\"p\"><float_array id=\"pa\" count=\"9\">0 0 0 1 0 0 0 1 0</float_array>"
              "<technique_common><accessor source=\"#pa\" count=\"3\" stride=\"3\"><param name=\"X\" "
              "type=\"float\"/><param name=\"Y\" type=\"float\"/><param name=\"Z\" type=\"float\"/>"
              "</accessor></technique_common></source><vertices id=\"v\"><input semantic=\"POSITION\" "
              "source=\"#p\"/></vertices><triangles count=\"1\"><input semantic=\"VERTEX\" source=\"#v\" "
              "offset=\"0\"/><p>0 1 2</p></triangles></mesh></geometry></library_geometries>"
              "<library_visual_scenes><visual_scene id=\"s\"><node id=\"n\"><translate>2 0 0</translate>"
              "<scale>2 2 2</scale><instance_geometry url=\"#g\"/></node></visual_scene></library_visual_scenes>"
              "<scene><instance_visual_scene url=\"#s\"/></scene></COLLADA>\n");
    RunResult r = Import(dir, {"tri.dae"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "# tri.dae: 3 vertices, 1 faces\nPolySet \"P\" 3 1\n  2 0 0\n  4 0 0\n  2 2 0\n  0 1 2 -1\n");

    TestMesh tri;
    tri.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    tri.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    tri.faces = {{0, 1, 2}};
    std::string gltf = GltfBytes(tri, false);
    gltf.replace(gltf.find("\"nodes\":[{\"mesh\":0}]"), 20,
                 "\"nodes\":[{\"translation\":[2,0,0],\"children\":[1]},{\"mesh\":0,\"scale\":[2,2,2]}]");
    WriteFile(dir, "tri.gltf", gltf);
    r = Import(dir, {"tri.gltf"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(r.out.find("PolySet")),
              "PolySet \"PN\" 3 1\n  2 0 0 0 0 1\n  4 0 0 0 0 1\n  2 2 0 0 0 1\n  0 1 2 -1\n");

    // 3DS: main chunk, editor, object "tri" with its vertex and face lists.
    auto chunk = [](uint16_t id, const std::string& data) {
        std::string c(6, '\0');
        const uint32_t size = static_cast<uint32_t>(6 + data.size());
        std::memcpy(&c[0], &id, 2);
        std::memcpy(&c[2], &size, 4);
        return c + data;
    };
    std::string vertices("\3\0", 2), faces("\1\0", 2);
    for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) vertices.append(reinterpret_cast<char*>(&v), 4);
    for (uint16_t i : {0, 1, 2, 0}) faces.append(reinterpret_cast<char*>(&i), 2);
    const std::string mesh = chunk(0x4100, chunk(0x4110, vertices) + chunk(0x4120, faces));
    WriteFile(dir, "tri.3ds", chunk(0x4D4D, chunk(0x3D3D, chunk(0x4000, std::string("tri\0", 4) + mesh))));
    r = Import(dir, {"tri.3ds"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "# tri.3ds: 3 vertices, 1 faces\nPolySet \"PN\" 3 1\n  0 0 0 0 1 0\n  1 0 0 0 1 0\n"
                     "  0 0 -1 0 1 0\n  0 1 2 -1\n");
}
