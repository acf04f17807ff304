#include "support/engines.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <set>

namespace kxtest {

namespace {

// One command of a scene: its keyword and its text.
struct Command {
    std::string keyword, text;
};

// Splits scene text into commands: a command starts at a word beginning
// with a capital letter outside strings and comments, and runs to the next
// one.
std::vector<Command> Commands(const std::string& s) {
    std::vector<Command> out;
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == '#') {
            while (i < s.size() && s[i] != '\n') ++i;
        } else if (c == '"') {
            size_t j = s.find('"', i + 1);
            j = j == std::string::npos ? s.size() : j + 1;
            if (!out.empty()) {
                out.back().text += ' ';
                out.back().text.append(s, i, j - i);
            }
            i = j;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else {
            size_t j = i;
            while (j < s.size() && !std::isspace(static_cast<unsigned char>(s[j])) && s[j] != '"' && s[j] != '#') ++j;
            std::string word = s.substr(i, j - i);
            if (std::isupper(static_cast<unsigned char>(word[0])))
                out.push_back({word, word});
            else if (!out.empty())
                out.back().text += " " + word;
            i = j;
        }
    }
    return out;
}

const std::set<std::string> kDropped = {
    "Engine", "Display",  "AmbientLight", "PointLight", "FarLight", "ConeLight",   "Ka",  "Kd",
    "Ks",     "Specular", "Line",         "Point",      "Circle",   "Curve",       "LineSet",
    "PointSet", "Fill",   "Custom"};

const std::set<std::string> kSurfaces = {"PolySet", "Patch",    "Cone",     "Cube",  "Cylinder",
                                         "Disk",    "Hyperboloid", "Paraboloid", "Sphere", "SqSphere",
                                         "SqTorus", "Torus",    "Tube",     "Subdivision", "ObjectInstance"};

bool KeptOption(const Command& c) {
    if (c.keyword == "OptionReal")
        return c.text.find("\"Divisions\"") != std::string::npos ||
               c.text.find("\"MaxTextureLevel\"") != std::string::npos ||
               c.text.find("\"SubdivisionLevel\"") != std::string::npos;
    if (c.keyword == "OptionBool") return c.text.find("\"Interpolate\"") != std::string::npos;
    return c.keyword != "OptionArray" && c.keyword != "OptionList" && c.keyword != "OptionString";
}

// The one PPM file in dir.
Image ReadOnlyImage(const std::string& dir, std::string& problem) {
    std::vector<std::string> found;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.compare(n.size() - 4, 4, ".ppm") == 0) found.push_back(n);
        }
        closedir(d);
    }
    if (found.size() != 1) {
        problem = dir + ": " + std::to_string(found.size()) + " images";
        return Image();
    }
    return ReadPPM(dir + "/" + found[0]);
}

bool Near(const uint8_t* a, const uint8_t* b) {
    for (int k = 0; k < 3; ++k)
        if (std::abs(int(a[k]) - int(b[k])) > 2) return false;
    return true;
}

bool EdgeAt(const Image& img, int x, int y) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            int X = x + dx, Y = y + dy;
            if (X < 0 || Y < 0 || X >= img.width || Y >= img.height) continue;
            if (!Near(img.at(x, y), img.at(X, Y))) return true;
        }
    return false;
}

}  // namespace

int WorldCount(const std::string& scene) {
    int n = 0;
    for (const Command& c : Commands(scene)) n += c.keyword == "WorldBegin";
    return n;
}

std::string FlatScene(const std::string& scene, const std::string& engine, int world, bool emptyWorld,
                      const FlatOptions& options) {
    std::string out = "Engine \"" + engine + "\"\nDisplay \"flat\" \"PNM\" \"rgb\"\n";
    if (options.divisions > 0) out += "OptionReal \"Divisions\" " + std::to_string(options.divisions) + "\n";
    if (options.finestLevel) out += "OptionReal \"MaxTextureLevel\" 1\n";
    if (options.levels > 0) out += "OptionReal \"Levels\" " + std::to_string(options.levels) + "\n";
    int seen = -1;
    bool inside = false;
    int depth = 0;  // object definitions
    for (const Command& c : Commands(scene)) {
        if (kDropped.count(c.keyword) || !KeptOption(c)) continue;
        if (c.keyword == "OptionReal" && ((options.divisions > 0 && c.text.find("\"Divisions\"") != std::string::npos) ||
                                          (options.finestLevel && c.text.find("\"MaxTextureLevel\"") != std::string::npos)))
            continue;
        if (c.keyword == "WorldBegin") {
            ++seen;
            inside = true;
        }
        const bool keep = !inside || seen == world;
        if (c.keyword == "WorldEnd") inside = false;
        if (c.keyword == "ObjectBegin") ++depth;
        if (c.keyword == "ObjectEnd") --depth;
        if (!keep) continue;
        if (emptyWorld && depth == 0 && kSurfaces.count(c.keyword)) continue;
        out += c.text + "\n";
    }
    return out;
}

EngineAgreement CompareEngines(const Image& direct, const Image& ray, const Image& background) {
    EngineAgreement r;
    if (!direct.ok || !ray.ok || !background.ok) {
        r.problem = "an image is missing";
        return r;
    }
    if (direct.width != ray.width || direct.height != ray.height || direct.width != background.width ||
        direct.height != background.height) {
        r.problem = "the images differ in size";
        return r;
    }
    for (int y = 0; y < direct.height; ++y)
        for (int x = 0; x < direct.width; ++x) {
            const uint8_t* a = direct.at(x, y);
            const uint8_t* b = ray.at(x, y);
            const uint8_t* g = background.at(x, y);
            if (!Near(a, g) || !Near(b, g)) ++r.covered;
            if (Near(a, b)) continue;
            ++r.differing;
            if (!EdgeAt(direct, x, y) && !EdgeAt(ray, x, y)) ++r.awayFromEdge;
        }
    return r;
}

EngineAgreement RenderAndCompare(const std::string& scene, int world, const std::string& dir,
                                 const FlatOptions& options) {
    EngineAgreement r;
    Image images[3];
    const char* engines[3] = {"direct", "raytrace", "direct"};
    for (int i = 0; i < 3; ++i) {
        const std::string sub = dir + "/" + std::to_string(world) + "_" + std::to_string(i);
        std::string mk = "mkdir -p '" + sub + "'";
        if (std::system(mk.c_str()) != 0) {
            r.problem = "cannot make " + sub;
            return r;
        }
        // Scenes name their textures from examples/ or from beside it.
        (void)symlink("../examples/textures", (sub + "/textures").c_str());
        const std::string text = FlatScene(scene, engines[i], world, i == 2, options);
        WriteFile(sub, "flat.kx", text);
        RunResult run = RunKx({"flat.kx"}, sub);
        if (run.status != 0) {
            r.problem = std::string(engines[i]) + " failed: " + run.err;
            return r;
        }
        images[i] = ReadOnlyImage(sub, r.problem);
        if (!r.problem.empty()) return r;
    }
    return CompareEngines(images[0], images[1], images[2]);
}

}  // namespace kxtest
