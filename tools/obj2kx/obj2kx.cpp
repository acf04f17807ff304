#include "obj2kx.h"

#include <tiny_obj_loader.h>

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <unordered_map>
#include <vector>

namespace kx {

namespace {

// One OBJ face corner: position, texture coordinate and normal indices
// (-1 when absent), all counted from 0.
struct Corner {
    int v, t, n;
    bool operator==(const Corner& o) const { return v == o.v && t == o.t && n == o.n; }
};
struct CornerHash {
    size_t operator()(const Corner& c) const {
        size_t h = static_cast<size_t>(static_cast<unsigned>(c.v));
        h = h * 1000003u ^ static_cast<size_t>(static_cast<unsigned>(c.t));
        return h * 1000003u ^ static_cast<size_t>(static_cast<unsigned>(c.n));
    }
};

int Fail(std::FILE* err, const std::string& path, const std::string& what) {
    std::fprintf(err, "%s: %s\n", path.c_str(), what.c_str());
    return 1;
}

// tinyobjloader's messages span lines, some of them a lone '.': one line.
std::string OneLine(const std::string& text) {
    std::string result, line;
    auto flush = [&] {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
        if (!line.empty() && line != ".") result += (result.empty() ? "" : "; ") + line;
        line.clear();
    };
    for (char c : text) {
        if (c == '\n')
            flush();
        else
            line += c;
    }
    flush();
    return result;
}

// The parser's report of a face it cannot read names the line; say what is
// wrong in plain words.
std::string ParseError(const std::string& text) {
    size_t at = text.find("Failed parse `f' line");
    size_t line = text.find("line ", at == std::string::npos ? 0 : at + 20);
    if (at == std::string::npos || line == std::string::npos) return OneLine(text);
    size_t end = line + 5;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    return text.substr(line, end - line) + ": bad face (indices are numbers counted from 1, or negative from the end)";
}

// The whole file ("-": standard input) as text.
bool ReadText(const std::string& path, std::string& text, std::FILE* err, int& status) {
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        status = Fail(err, path, std::strerror(errno));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        status = Fail(err, path, std::strerror(EISDIR));
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        status = Fail(err, path, std::strerror(errno));
        return false;
    }
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    bool failed = std::ferror(f) != 0;
    int error = errno;
    std::fclose(f);
    if (failed) {
        status = Fail(err, path, std::strerror(error ? error : EIO));
        return false;
    }
    return true;
}

bool Parse(const std::string& path, const std::string& text, bool triangulate, tinyobj::ObjReader& reader,
           std::FILE* err, int& status) {
    tinyobj::ObjReaderConfig config;
    config.triangulate = triangulate;
    config.vertex_color = false;
    // Materials play no part in a PolySet: the text is parsed without them.
    if (!reader.ParseFromString(text, std::string(), config)) {
        status = Fail(err, path, ParseError(reader.Error()));
        return false;
    }
    return true;
}

// The parser records a face's vertex count in one byte: after a face of more
// than 255 vertices the counts no longer add up to the index list.
bool FaceCountsAgree(const tinyobj::ObjReader& reader) {
    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        size_t total = 0;
        for (unsigned char count : shape.mesh.num_face_vertices) total += count;
        if (total != shape.mesh.indices.size()) return false;
    }
    return true;
}

void WriteNumber(std::string& line, float value) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    line += ' ';
    line.append(buf, r.ptr);
}

}  // namespace

int ConvertObj(const std::string& path, std::FILE* out, std::FILE* err) {
    std::string text;
    int status = 0;
    if (!ReadText(path, text, err, status)) return status;
    tinyobj::ObjReader reader;
    if (!Parse(path, text, false, reader, err, status)) return status;
    if (!FaceCountsAgree(reader)) {
        std::fprintf(err, "%s: warning: faces of more than 255 vertices: every face split into triangles\n",
                     path.c_str());
        reader = tinyobj::ObjReader();
        if (!Parse(path, text, true, reader, err, status)) return status;
        if (!FaceCountsAgree(reader)) return Fail(err, path, "faces do not add up to the index list");
    }
    // Index range warnings are checked below with a message of our own.
    std::string warning = OneLine(reader.Warning());
    if (!warning.empty() && warning.find("out of bounds") == std::string::npos)
        std::fprintf(err, "%s: warning: %s\n", path.c_str(), warning.c_str());
    const tinyobj::attrib_t& attrib = reader.GetAttrib();
    const long long positions = static_cast<long long>(attrib.vertices.size() / 3);
    const long long normals = static_cast<long long>(attrib.normals.size() / 3);
    const long long texcoords = static_cast<long long>(attrib.texcoords.size() / 2);
    if (positions == 0) return Fail(err, path, "no vertices");

    // Check every corner and see which attributes every corner has.
    size_t faceCount = 0;
    bool allNormals = true, allTexcoords = true, anyNormals = false, anyTexcoords = false;
    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        const tinyobj::mesh_t& mesh = shape.mesh;
        size_t at = 0;
        for (unsigned char count : mesh.num_face_vertices) {
            ++faceCount;
            for (size_t k = 0; k < count; ++k) {
                const tinyobj::index_t& i = mesh.indices[at + k];
                char what[160];
                if (i.vertex_index < 0 || i.vertex_index >= positions) {
                    std::snprintf(what, sizeof what, "face %zu: vertex index out of range (the file has %lld vertices)",
                                  faceCount, positions);
                    return Fail(err, path, what);
                }
                if (i.texcoord_index >= texcoords || i.texcoord_index < -1) {
                    std::snprintf(what, sizeof what,
                                  "face %zu: texture coordinate index out of range (the file has %lld)", faceCount,
                                  texcoords);
                    return Fail(err, path, what);
                }
                if (i.normal_index >= normals || i.normal_index < -1) {
                    std::snprintf(what, sizeof what, "face %zu: normal index out of range (the file has %lld)",
                                  faceCount, normals);
                    return Fail(err, path, what);
                }
                allNormals = allNormals && i.normal_index >= 0;
                allTexcoords = allTexcoords && i.texcoord_index >= 0;
                anyNormals = anyNormals || i.normal_index >= 0;
                anyTexcoords = anyTexcoords || i.texcoord_index >= 0;
            }
            at += count;
        }
    }
    if (faceCount == 0) return Fail(err, path, "no faces");
    if (anyNormals && !allNormals)
        std::fprintf(err, "%s: warning: normals left out: not every face vertex has one\n", path.c_str());
    if (anyTexcoords && !allTexcoords)
        std::fprintf(err, "%s: warning: texture coordinates left out: not every face vertex has them\n",
                     path.c_str());

    // One kx vertex per distinct corner; faces as index lists.
    std::unordered_map<Corner, int, CornerHash> index;
    std::vector<Corner> vertices;
    std::vector<std::vector<int>> faces;
    size_t splitFaces = 0;
    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        const tinyobj::mesh_t& mesh = shape.mesh;
        size_t at = 0;
        for (unsigned char count : mesh.num_face_vertices) {
            std::vector<int> face;
            for (size_t k = 0; k < count; ++k) {
                const tinyobj::index_t& i = mesh.indices[at + k];
                Corner c{i.vertex_index, allTexcoords ? i.texcoord_index : -1, allNormals ? i.normal_index : -1};
                auto [it, added] = index.try_emplace(c, static_cast<int>(vertices.size()));
                if (added) vertices.push_back(c);
                face.push_back(it->second);
            }
            at += count;
            if (face.size() <= kObjMaxFaceVertices) {
                faces.push_back(std::move(face));
                continue;
            }
            ++splitFaces;
            for (size_t k = 1; k + 1 < face.size(); ++k) faces.push_back({face[0], face[k], face[k + 1]});
        }
    }
    if (splitFaces)
        std::fprintf(err, "%s: warning: %zu faces of more than %zu vertices split into triangles\n", path.c_str(),
                     splitFaces, kObjMaxFaceVertices);

    std::string type = "P";
    if (allNormals) type += 'N';
    if (allTexcoords) type += 'T';
    std::fprintf(out, "# %s: %zu vertices, %zu faces\n", path.c_str(), vertices.size(), faces.size());
    std::fprintf(out, "PolySet \"%s\" %zu %zu\n", type.c_str(), vertices.size(), faces.size());
    std::string line;
    for (const Corner& c : vertices) {
        line = " ";
        for (int k = 0; k < 3; ++k) WriteNumber(line, attrib.vertices[3 * static_cast<size_t>(c.v) + k]);
        if (allNormals)
            for (int k = 0; k < 3; ++k) WriteNumber(line, attrib.normals[3 * static_cast<size_t>(c.n) + k]);
        if (allTexcoords)
            for (int k = 0; k < 2; ++k) WriteNumber(line, attrib.texcoords[2 * static_cast<size_t>(c.t) + k]);
        line += '\n';
        std::fputs(line.c_str(), out);
    }
    for (const std::vector<int>& face : faces) {
        line = " ";
        for (int i : face) {
            line += ' ';
            line += std::to_string(i);
        }
        line += " -1\n";
        std::fputs(line.c_str(), out);
    }
    if (std::fflush(out) != 0 || std::ferror(out)) return Fail(err, "output", std::strerror(errno ? errno : EIO));
    return 0;
}

}  // namespace kx
