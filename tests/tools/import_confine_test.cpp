// kxrender-import against models made to hurt: a model reads only regular
// files in or below its own folder, and whatever the model library does
// with a file (claims of billions of vertices, recursion without end, a
// crash) ends in one line and status 1, or in the scene.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/run.h"

using namespace kxtest;

namespace {

RunResult Import(const std::string& dir, const std::vector<std::string>& args, const std::string* in = nullptr) {
    return RunBinary(KX_IMPORT, args, dir, in);
}

// Memory and processor time for one import, as the shell limits them (the
// address sanitizer needs far more address space than any such limit).
#ifdef __SANITIZE_ADDRESS__
const char* const kLimits = "ulimit -t 20";
#else
const char* const kLimits = "ulimit -v 1000000; ulimit -t 20";
#endif

// The importer under a shell's limits ("ulimit -t 1").
RunResult ImportLimited(const std::string& dir, const std::string& limits, const std::string& file) {
    return RunBinary("/bin/sh", {"-c", limits + "; exec " + KX_IMPORT + " '" + file + "'"}, dir);
}

// One triangle, (0 0 0) (1 0 0) (0 1 0): its 36 bytes of positions.
std::string TriangleBuffer() {
    std::string bin;
    for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) bin.append(reinterpret_cast<const char*>(&v), 4);
    return bin;
}

// A glTF of the triangle whose buffer is the file uri; nodes is the text of
// the node list (node 0 the scene's root).
std::string Gltf(const std::string& uri, const std::string& nodes = "[{\"mesh\":0}]") {
    return "{\"asset\":{\"version\":\"2.0\"},\"buffers\":[{\"uri\":\"" + uri +
           "\",\"byteLength\":36}],\"bufferViews\":[{\"buffer\":0,\"byteLength\":36}],\"accessors\":[{"
           "\"bufferView\":0,\"componentType\":5126,\"count\":3,\"type\":\"VEC3\",\"min\":[0,0,0],\"max\":[1,1,0]}],"
           "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0}}]}],\"nodes\":" +
           nodes + ",\"scenes\":[{\"nodes\":[0]}],\"scene\":0}";
}

const char* const kTriangle = "PolySet \"P\" 3 1\n  0 0 0\n  1 0 0\n  0 1 0\n  0 1 2 -1\n";

}  // namespace

// Each model is imported from its own folder (from inside it, so that an
// absolute name reaches the file system as written, and from above it).
TEST(ImportConfined, ModelsReadOnlyRegularFilesInTheirFolder) {
    const std::string top = MakeTempDir(), dir = top + "/models";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    mkdir((dir + "/sub").c_str(), 0755);
    WriteFile(top, "secret.bin", TriangleBuffer());
    WriteFile(dir, "sub/inside.bin", TriangleBuffer());
    ASSERT_EQ(symlink("../secret.bin", (dir + "/link.bin").c_str()), 0);
    ASSERT_EQ(symlink("sub/inside.bin", (dir + "/good-link.bin").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo.bin").c_str(), 0644), 0);
    struct Case {
        const char* file;
        const char* uri;
        const char* err;  // "" for the triangle
    } cases[] = {
        {"inside.gltf", "sub/inside.bin", ""},
        {"good-link.gltf", "good-link.bin", ""},
        {"dots.gltf", "sub/../sub/./inside.bin", ""},
        {"secret.gltf", "../secret.bin", "secret.gltf: \"../secret.bin\" is outside the model's folder: not read\n"},
        {"back.gltf", "sub\\\\..\\\\..\\\\secret.bin",
         "back.gltf: \"sub\\..\\..\\secret.bin\" is outside the model's folder: not read\n"},
        {"passwd.gltf", "/etc/passwd", "passwd.gltf: \"/etc/passwd\" is outside the model's folder: not read\n"},
        {"link.gltf", "link.bin", "link.gltf: \"link.bin\" leads outside the model's folder: not read\n"},
        {"fifo.gltf", "fifo.bin", "fifo.gltf: \"fifo.bin\" is not a regular file: not read\n"},
        {"folder.gltf", "sub", "folder.gltf: \"sub\" is not a regular file: not read\n"},
    };
    for (const Case& c : cases) {
        WriteFile(dir, c.file, Gltf(c.uri));
        // A FIFO would block a reader for ever: the timeout ends the test.
        RunResult r = RunBinary("/usr/bin/timeout", {"20", KX_IMPORT, c.file}, dir);
        EXPECT_EQ(r.err, c.err) << c.file;
        EXPECT_EQ(r.status, *c.err ? 1 : 0) << c.file;
        EXPECT_EQ(r.out, *c.err ? "" : std::string("# ") + c.file + ": 3 vertices, 1 faces\n" + kTriangle) << c.file;
    }
    RunResult r = Import(top, {"models/secret.gltf"});
    EXPECT_EQ(r.err, "models/secret.gltf: \"../secret.bin\" is outside the model's folder: not read\n");
    r = Import(top, {"models/inside.gltf"});
    EXPECT_EQ(r.status, 0) << r.err;

    // From standard input, no file at all; a data: URI is no file.
    const std::string secret = Gltf("../secret.bin"), inside = Gltf("sub/inside.bin");
    const std::string embedded =
        Gltf("data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA");
    r = Import(dir, {"--format", "gltf", "-"}, &secret);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "-: \"../secret.bin\" not read: a model from standard input may read no other file\n");
    r = Import(dir, {"--format", "gltf", "-"}, &inside);
    EXPECT_EQ(r.err, "-: \"sub/inside.bin\" not read: a model from standard input may read no other file\n");
    r = Import(dir, {"--format", "gltf", "-"}, &embedded);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string("# -: 3 vertices, 1 faces\n") + kTriangle);
}

TEST(ImportConfined, LibraryWorkIsBounded) {
    const std::string dir = MakeTempDir();
    // A short OFF file claiming 353,535,235,358 vertices, and a PLY file
    // claiming four billion: refused before the library reserves room.
    std::string off = "OFF\n353535235358 6 0\n";
    for (int i = 0; i < 8; ++i) off += "-0.500000 -0.500000 0.500000\n";
    for (int i = 0; i < 6; ++i) off += "4 0 1 3 2\n";
    WriteFile(dir, "huge.off", off);
    WriteFile(dir, "huge.ply",
              "ply\nformat binary_little_endian 1.0\nelement vertex 4000000000\nproperty float x\nproperty float y\n"
              "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n" +
                  std::string(64, '\0'));
    RunResult r = ImportLimited(dir, kLimits, "huge.off");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "huge.off: claims 353535235358 vertices and 6 faces, more than its " + std::to_string(off.size()) +
                         " bytes can hold\n");
    r = ImportLimited(dir, kLimits, "huge.ply");
    EXPECT_EQ(r.err,
              "huge.ply: claims 4000000000 \"vertex\" and 1 \"face\" elements, more than its 242 bytes can hold\n");

    // 30,000 nested nodes, each moving the next by 1 along x: the library
    // walks them on a stack large enough, the importer without recursion.
    std::string nodes = "[";
    for (int i = 0; i < 30000; ++i)
        nodes += "{\"translation\":[1,0,0]," +
                 (i + 1 < 30000 ? "\"children\":[" + std::to_string(i + 1) + "]}," : std::string("\"mesh\":0}]"));
    WriteFile(dir, "tri.bin", TriangleBuffer());
    WriteFile(dir, "deep.gltf", Gltf("tri.bin", nodes));
    r = Import(dir, {"deep.gltf"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        r.out,
        "# deep.gltf: 3 vertices, 1 faces\nPolySet \"P\" 3 1\n  30000 0 0\n  30001 0 0\n  30000 1 0\n  0 1 2 -1\n");

    // A RAW file of two groups: the library leaves a null node for the
    // first; both come out.
    WriteFile(dir, "two.raw", "first\n1 0 0 0 0 0 1 0 0 0 1 0\n\nsecond\n0 1 0 0 0 1 1 0 1 0 1 1\n");
    r = Import(dir, {"two.raw"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Each a triangle of its own (positions first on each line).
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 12) << r.out;
    for (const char* group : {"3 1\n  0 0 1 ", "3 1\n  0 0 0 "})
        EXPECT_NE(r.out.find(group), std::string::npos) << r.out;

    // A PLY header longer than what is checked and without its end: the
    // library loops for ever; the processor time limit (here the shell's)
    // ends it.
    std::string ply = "ply\nformat ascii 1.0\n";
    while (ply.size() < 70000) ply += "comment a header that never ends\n";
    WriteFile(dir, "endless.ply", ply + "element vertex 1\nproperty float x\n1\n");
    r = ImportLimited(dir, "ulimit -t 1", "endless.ply");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "endless.ply: reading the model took more than 1 s of processor time\n");
    WriteFile(dir, "short.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n1\n");
    r = Import(dir, {"short.ply"});
    EXPECT_EQ(r.err, "short.ply: the PLY header has no \"end_header\" line\n");

#ifndef __SANITIZE_ADDRESS__  // the sanitizer needs more address space, and reports the fault itself
    // JSON nested two million deep: the library's parser overflows any
    // stack the limit leaves room for, in the child; one line says so.
    WriteFile(dir, "nested.gltf", std::string(2000000, '['));
    r = ImportLimited(dir, "ulimit -v 100000; ulimit -t 20", "nested.gltf");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "nested.gltf: the model library failed (segmentation fault)\n");
#endif
}
