// The manual's table of what each engine does with each command
// (docs/engines.md) against the program itself: every row is run as a tiny
// scene under each engine, with and without the command, and the difference
// must be the one the table names. A change of an engine that the table does
// not follow fails here.
#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/run.h"

using namespace kxtest;

namespace {

const char* const kEngines[] = {"direct", "raytrace", "data convert", "scan convert"};

// A square facing the camera, in front of it.
const std::string kSquare = "PolySet \"P\" 4 1 -1 -1 -2 1 -1 -2 1 1 -2 -1 1 -2 0 1 2 3 -1\n";
// The same with texture coordinates running from 0 to 3.
const std::string kTexturedSquare =
    "Surface \"painted plastic\"\n"
    "PolySet \"PT\" 4 1 -1 -1 -2 0 0 1 -1 -2 3 0 1 1 -2 3 3 -1 1 -2 0 3 0 1 2 3 -1\n";
const std::string kLit = "PointLight 0 0 0 1 1 1 1\nColor 0.3 0.3 0.3\n";

// One row's scenes. In the template "@" and "&" stand for the two parts of
// the command ("FrameBegin 5" ... "FrameEnd"), "%" for the probe: what
// shows the command's effect when the command draws nothing itself.
struct Row {
    Row(std::string t, std::string f, std::string s, std::string p, std::string r = "")
        : tmpl(std::move(t)), first(std::move(f)), second(std::move(s)), probe(std::move(p)), rayFirst(std::move(r)) {}
    std::string tmpl;
    std::string first, second;
    std::string probe;
    std::string rayFirst;  // the command under the ray tracer, when it differs
};

const std::string kWorld = "WorldBegin\n@%&WorldEnd\n";
const std::string kShape = "WorldBegin\nTranslate 0 0 -3\nRotate \"X\" 60\n@%&WorldEnd\n";
const std::string kTop = "@%&";
const std::string kTopWorld = "WorldBegin\n" + kSquare + "WorldEnd\n";
const std::string kMapped = "MapLoad \"tex.ppm\" \"t\"\nWorldBegin\n@%&WorldEnd\n";
const std::string kMappedShape = "MapLoad \"tex.ppm\" \"t\"\nWorldBegin\nTranslate 0 0 -3\n@%&WorldEnd\n";

std::map<std::string, Row> Rows() {
    const std::string light = "Color 0.3 0.3 0.3\nKd 0.5\n" + kSquare;
    return {
        {"AmbientLight", {kWorld, "AmbientLight 0.2 0.2 0.2 1\n", "", "Color 0.5 0.5 0.5\n" + kSquare}},
        {"Background", {kTop, "Background 0.5 0.2 0.1\n", "", kTopWorld}},
        {"CameraAt", {kTop, "CameraAt 0.3 0 -1\n", "", kTopWorld}},
        {"CameraEye", {kTop, "CameraEye 0.3 0 0\n", "", kTopWorld}},
        {"CameraFOV", {kTop, "CameraFOV 30\n", "", kTopWorld}},
        {"CameraUp", {kTop, "CameraUp 1 1 0\n", "", kTopWorld}},
        {"Circle", {kWorld, "Circle 0 0 -2 3\n", "", ""}},
        {"Clipping", {kTop, "Clipping 2.5 10\n", "", kTopWorld}},
        {"Color", {kWorld, "Color 1 0 0\n", "", kSquare}},
        {"Cone", {kShape, "Cone 1.5 1.5 360\n", "", ""}},
        {"ConeLight", {kWorld, "ConeLight 0 0 0 0 0 -1 40 60 1 1 1 1\n", "", light}},
        {"Cube", {kShape, "Cube\n", "", ""}},
        {"Curve", {kWorld, "Curve \"Bezier\" \"P\" 3 -1 -1 -2 -0.5 1 -2 0.5 -1 -2 1 1 -2\n", "", ""}},
        {"Custom", {kWorld, "Custom \"hello\"\n", "", kSquare}},
        {"Cylinder", {kShape, "Cylinder 1 -1 1 360\n", "", ""}},
        {"Disk", {kShape, "Disk 0 1 360\n", "", ""}},
        {"Display", {kTop, "Display \"img2\" \"PNM\" \"rgb\"\n", "", kTopWorld}},
        {"Emit", {kWorld, "Emit 1 0 0 1\n", "", "Ke 1\nColor 0.2 0.2 0.2\n" + kSquare}},
        {"FarLight", {kWorld, "FarLight 0 0 -1 1 1 1 1\n", "", light}},
        {"Fill", {kWorld, "Fill 0 0 -2\n", "", ""}},
        {"Format", {kTop, "Format 8 6\n", "", kTopWorld}},
        {"FrameBegin", {kTop, "FrameBegin 5\n", "FrameEnd\n", kTopWorld}},
        {"Hyperboloid", {kShape, "Hyperboloid 1 0 -1 1 0 1 360\n", "", ""}},
        {"Ka", {kWorld, "Ka 0.3\n", "", "Color 0.8 0.8 0.8\n" + kSquare}},
        {"Kd", {kWorld, "Kd 0.7\n", "", kLit + "Ka 0.2\n" + kSquare}},
        {"Ke", {kWorld, "Ke 0.5\n", "", "Emit 1 0 0 1\nColor 0.2 0.2 0.2\n" + kSquare}},
        {"Ks", {kWorld, "Ks 1\n", "", kLit + "Surface \"plastic\"\n" + kSquare}},
        {"Line", {kWorld, "Line -1 -1 -2 1 1 -2\n", "", ""}},
        {"LineSet", {kWorld, "LineSet \"P\" 3 1 -1 -1 -2 1 -1 -2 1 1 -2 0 1 2 -1\n", "", ""}},
        {"Map", {kMapped, "Map \"texture\" \"t\"\n", "", kTexturedSquare}},
        {"MapBorder", {kMapped, "MapBorder \"texture\" \"repeat\" \"repeat\"\n", "", "Map \"texture\" \"t\"\n" + kTexturedSquare}},
        {"MapBound", {kMappedShape, "MapBound \"texture\" 0 0 0.5 0.5\n", "", "Map \"texture\" \"t\"\nSurface \"painted plastic\"\nSphere 1.5 -1.5 1.5 360\n"}},
        {"MapLoad", {"WorldBegin\n@%&WorldEnd\n", "MapLoad \"tex.ppm\" \"t\"\n", "", "Map \"texture\" \"t\"\n" + kTexturedSquare}},
        {"MapSample", {kMapped, "MapSample \"texture\" \"linear\" \"linear\"\n", "", "Map \"texture\" \"t\"\n" + kTexturedSquare}},
        {"Opacity", {kWorld, "Opacity 0.5\n", "", kSquare}},
        {"OptionArray", {kWorld, "OptionArray \"x\" 2 1 2\n", "", kSquare}},
        {"OptionBool", {kTop, "OptionBool \"Statistics\" on\n", "", kTopWorld}},
        {"OptionList", {kWorld, "OptionList\n", "", kSquare}},
        {"OptionReal", {kShape, "OptionReal \"Divisions\" 3\n", "", "Sphere 1 -1 1 360\nPatch \"Bezier\" \"P\" 2 1 -1 -1 0 0 -1 1 1 -1 0 -1 1 0 0 1 1 1 1 0\n", "OptionReal \"Linear Subsamples\" 2\n"}},
        {"OptionString", {kWorld, "OptionString \"x\" \"y\"\n", "", kSquare}},
        {"Paraboloid", {kShape, "Paraboloid 1 0 1 360\n", "", ""}},
        {"Patch", {kShape, "Patch \"Bezier\" \"P\" 1 1 -1 -1 0 1 -1 0 -1 1 0 1 1 0\n", "", ""}},
        {"Point", {kWorld, "Point 0 0 -2\n", "", ""}},
        {"PointLight", {kWorld, "PointLight 0 0 0 1 1 1 1\n", "", light}},
        {"PointSet", {kWorld, "PointSet \"P\" 2 0 0 -2 0.5 0.5 -2\n", "", ""}},
        {"PolySet", {kWorld, kSquare, "", ""}},
        {"Rotate", {kWorld, "Rotate \"Z\" 30\n", "", kSquare}},
        {"Scale", {kWorld, "Scale 0.5 0.5 1\n", "", kSquare}},
        {"Specular", {kWorld, "Specular 1 0 0 3\n", "", kLit + "Surface \"plastic\"\nKs 1\n" + kSquare}},
        {"Sphere", {kShape, "Sphere 1 -1 1 360\n", "", ""}},
        {"SqSphere", {kShape, "SqSphere 1 1 1 -1 1 360\n", "", ""}},
        {"SqTorus", {kShape, "SqTorus 1 0.3 1 1 0 360 360\n", "", ""}},
        {"Subdivision", {kShape, "Subdivision \"Catmull-Clark\" \"P\" 4 1 0 -1 -1 0 1 -1 0 1 1 0 -1 1 0 0 1 2 3 -1\n", "", ""}},
        {"Surface", {kWorld, "Surface \"metal\"\n", "", kLit + "Ks 1\nKd 0.5\n" + kSquare}},
        {"Torus", {kShape, "Torus 1 0.3 0 360 360\n", "", ""}},
        {"Translate", {kWorld, "Translate 0.5 0 0\n", "", kSquare}},
        {"Tube", {kShape, "Tube 0 -1 0 0 1 0 0.3\n", "", ""}},
        {"WorldBegin", {kTop, "WorldBegin\n", "WorldEnd\n", ""}},
        {"XformPush", {"WorldBegin\n@Translate 0.5 0 0\n&%WorldEnd\n", "XformPush\n", "XformPop\n", kSquare}},
    };
}

std::string Fill(std::string text, const std::string& first, const std::string& second, const std::string& probe) {
    auto put = [&](char mark, const std::string& with) {
        size_t at = text.find(mark);
        if (at != std::string::npos) text.replace(at, 1, with);
    };
    put('@', first);
    put('&', second);
    put('%', probe);
    return text;
}

// What a run leaves: status, standard output, the images and standard
// error without the notices (statistics lines stay: they are output too).
struct Outcome {
    std::string result;
    std::string notices;
};

Outcome RunTiny(const std::string& dir, const std::string& engine, const std::string& body) {
    // Drop the images of the run before.
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name).rfind("img", 0) == 0) unlink((dir + "/" + e->d_name).c_str());
        closedir(d);
    }
    WriteFile(dir, "scene.kx", "Engine \"" + engine + "\"\nDisplay \"img\" \"PNM\" \"rgb\"\nFormat 16 12\n" + body);
    RunResult r = RunKx({"scene.kx"}, dir);
    Outcome o;
    o.result = "status " + std::to_string(r.status) + "\nout:\n" + r.out + "\nerr:\n";
    std::istringstream err(r.err);
    for (std::string line; std::getline(err, line);) {
        if (line.find(" not implemented") != std::string::npos)
            o.notices += line + "\n";
        else
            o.result += line.rfind("Statistics:", 0) == 0 ? "Statistics\n" : line + "\n";
    }
    std::vector<std::string> images;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name).rfind("img", 0) == 0) images.push_back(e->d_name);
        closedir(d);
    }
    std::sort(images.begin(), images.end());
    for (const std::string& name : images) o.result += name + ":" + ReadFile(dir + "/" + name) + "\n";
    return o;
}

bool Mentions(const std::string& notices, const std::vector<std::string>& keywords) {
    for (const std::string& k : keywords)
        if (notices.find(k + " command not implemented") != std::string::npos ||
            notices.find("for " + k + " command") != std::string::npos)
            return true;
    return false;
}

int LinesStartingWith(const std::string& text, const std::string& keyword) {
    int n = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(keyword + " ", 0) == 0 || line == keyword) ++n;
    return n;
}

// What the program does with a row's command under an engine, in the
// table's words.
// Scenes without the command repeat from row to row: each runs once.
using Outcomes = std::map<std::string, Outcome>;

Outcome RunOnce(Outcomes& seen, const std::string& dir, const std::string& engine, const std::string& body) {
    auto it = seen.find(body);
    if (it == seen.end()) it = seen.emplace(body, RunTiny(dir, engine, body)).first;
    return it->second;
}

std::string Observe(Outcomes& seen, const std::string& dir, const std::string& engine,
                    const std::vector<std::string>& keywords, const Row& row) {
    const std::string& first = engine == "raytrace" && !row.rayFirst.empty() ? row.rayFirst : row.first;
    Outcome with = RunTiny(dir, engine, Fill(row.tmpl, first, row.second, row.probe));
    Outcome without = RunOnce(seen, dir, engine, Fill(row.tmpl, "", "", row.probe));
    Outcome alone = RunTiny(dir, engine, Fill(row.tmpl, first, row.second, ""));
    Outcome neither = RunOnce(seen, dir, engine, Fill(row.tmpl, "", "", ""));
    if (Mentions(with.notices, keywords)) {
        if (with.result != without.result || alone.result != neither.result) return "notice, yet with an effect";
        return "notice";
    }
    if (engine == "data convert") {
        int echoed = 0, before = 0;
        for (const std::string& k : keywords) {
            echoed += LinesStartingWith(with.result, k);
            before += LinesStartingWith(without.result, k);
        }
        if (echoed > before) return "echoed";
        // Drawing commands go into the world's one mesh; settings change
        // what later ones write.
        if (alone.result != neither.result) return "merged";
        if (with.result != without.result) return "recorded";
        return "quiet";
    }
    if (alone.result != neither.result) return "drawn";
    if (with.result != without.result) return "recorded";
    return "quiet";
}

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, sep)) parts.push_back(part);
    return parts;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" `"), e = s.find_last_not_of(" `");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

struct TableRow {
    std::vector<std::string> keywords;
    std::string cells[4];
};

// The rows of the table in docs/engines.md: "| `A` / `B` | cell | cell | cell | cell |".
std::vector<TableRow> ReadTable() {
    std::vector<TableRow> rows;
    std::istringstream in(ReadFile(KX_SOURCE_DIR "/docs/engines.md"));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("| `", 0) != 0) continue;
        std::vector<std::string> cells = Split(line.substr(1), '|');
        if (cells.size() < 5) continue;
        TableRow row;
        for (const std::string& k : Split(cells[0], '/')) row.keywords.push_back(Trim(k));
        for (int i = 0; i < 4; ++i) row.cells[i] = Trim(cells[i + 1]);
        rows.push_back(row);
    }
    return rows;
}

// The commands of the command table in docs/format.md.
std::set<std::string> FormatPageCommands() {
    std::set<std::string> names;
    std::istringstream in(ReadFile(KX_SOURCE_DIR "/docs/format.md"));
    bool inTable = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("| Command | Arguments | Where |", 0) == 0) inTable = true;
        else if (inTable && line.rfind("|", 0) != 0) break;
        if (!inTable || line.rfind("| `", 0) != 0) continue;
        std::string first = Split(line.substr(1), '|')[0];
        for (const std::string& part : Split(first, ','))
            for (const std::string& name : Split(part, '/')) names.insert(Trim(name));
    }
    return names;
}

}  // namespace

TEST(EngineTable, EveryCommandOfTheFormatPageIsInTheTable) {
    std::set<std::string> inTable;
    for (const TableRow& row : ReadTable())
        for (const std::string& k : row.keywords) inTable.insert(k);
    std::set<std::string> commands = FormatPageCommands();
    ASSERT_GT(commands.size(), 50u);
    // Chosen or handled by the program itself, whatever the engine.
    for (const char* own : {"Engine", "ObjectBegin", "ObjectEnd", "ObjectInstance"}) commands.erase(own);
    EXPECT_EQ(inTable, commands);
}

TEST(EngineTable, EachEngineDoesWhatTheTableSays) {
    const std::map<std::string, Row> rows = Rows();
    const std::vector<TableRow> table = ReadTable();
    for (const TableRow& t : table)
        if (rows.find(t.keywords[0]) == rows.end()) ADD_FAILURE() << "no scene for the row of " << t.keywords[0];
    // One column per thread, each in its own folder.
    std::vector<std::string> seen[4];
    std::vector<std::thread> columns;
    for (int e = 0; e < 4; ++e)
        columns.emplace_back([&, e] {
            const std::string dir = MakeTempDir();
            // A 2 x 2 texture with four different texels.
            WriteFile(dir, "tex.ppm", std::string("P6\n2 2\n255\n") + std::string("\xff\0\0\0\xff\0\0\0\xff\xff\xff\xff", 12));
            Outcomes outcomes;
            for (const TableRow& t : table) {
                auto it = rows.find(t.keywords[0]);
                seen[e].push_back(it == rows.end() ? "" : Observe(outcomes, dir, kEngines[e], t.keywords, it->second));
            }
        });
    for (std::thread& c : columns) c.join();
    std::string observed;
    int wrong = 0;
    for (size_t i = 0; i < table.size(); ++i) {
        observed += "| `" + table[i].keywords[0] + "` |";
        for (int e = 0; e < 4; ++e) {
            observed += " " + seen[e][i] + " |";
            if (seen[e][i] != table[i].cells[e]) {
                ++wrong;
                ADD_FAILURE() << table[i].keywords[0] << " under \"" << kEngines[e] << "\": the table says "
                              << table[i].cells[e] << ", the program: " << seen[e][i];
            }
        }
        observed += "\n";
    }
    if (wrong) std::cerr << "What the program does:\n" << observed;
}

// An object instance replays its commands: under every engine the result is
// that of the same commands written in place.
TEST(EngineTable, AnInstanceDoesWhatItsCommandsDo) {
    const std::string dir = MakeTempDir();
    const std::string commands = "Color 1 0.5 0\nTranslate 0 0 -4\nSphere 1 -1 1 360\n" + kSquare;
    for (const char* engine : kEngines) {
        Outcome inPlace = RunTiny(dir, engine, "WorldBegin\n" + commands + "WorldEnd\n");
        Outcome instance =
            RunTiny(dir, engine, "ObjectBegin \"o\"\n" + commands + "ObjectEnd\nWorldBegin\nObjectInstance \"o\"\nWorldEnd\n");
        EXPECT_EQ(instance.result, inPlace.result) << engine;
        EXPECT_EQ(instance.notices, inPlace.notices) << engine;
    }
}
