#include "import.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include "obj_check.h"

namespace kx {

namespace {

// A kx string holds at most this many characters.
constexpr size_t kKxStringLimit = 300;

// Messages are one line each, whatever the names in them hold.
int Fail(std::FILE* err, const std::string& path, const std::string& what) {
    std::fprintf(err, "%s: %s\n", KxEscape(path, false).c_str(), KxEscape(what, false).c_str());
    return 1;
}

void Warn(std::FILE* err, const std::string& path, const std::string& what) {
    std::fprintf(err, "%s: warning: %s\n", KxEscape(path, false).c_str(), KxEscape(what, false).c_str());
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The name's extension without the dot, in lower case; "" when none.
std::string Extension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return Lower(path.substr(dot + 1));
}

std::string Folder(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The library's messages may span lines: one line.
std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n' || c == '\r') {
            if (!out.empty() && out.back() != ' ') out += "; ";
        } else {
            out += c;
        }
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == ';')) out.pop_back();
    return out;
}

// The input: a stream read in pieces, each handed to the OBJ check and,
// for standard input and other non-files, kept for the library.
struct Source {
    std::string bytes;  // kept text (not for regular files)
    bool kept = false;  // read from memory rather than from the file by name
};

bool ReadInput(const std::string& path, std::FILE* f, bool keep, ObjCheck* check, Source& src, std::FILE* err,
               int& status) {
    static char buf[1 << 16];
    uint64_t total = 0;
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        total += n;
        if (total > kMaxModelBytes) {
            status = Fail(err, path, "larger than 1 GiB");
            return false;
        }
        if (check && !check->feed(buf, n)) {
            status = Fail(err, path, check->error());
            return false;
        }
        if (keep) src.bytes.append(buf, n);
    }
    if (std::ferror(f)) {
        status = Fail(err, path, std::strerror(errno ? errno : EIO));
        return false;
    }
    if (check && !check->finish()) {
        status = Fail(err, path, check->error());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Meshes to PolySets

struct Vertex {
    float v[8];  // position, normal, texture coordinates (as many as written)
};

struct VertexKey {
    uint32_t bits[8];
    int n;
    bool operator==(const VertexKey& o) const {
        return n == o.n && std::memcmp(bits, o.bits, sizeof(uint32_t) * static_cast<size_t>(n)) == 0;
    }
};
struct VertexKeyHash {
    size_t operator()(const VertexKey& k) const {
        size_t h = 1469598103934665603ull;
        for (int i = 0; i < k.n; ++i) h = (h ^ k.bits[i]) * 1099511628211ull;
        return h;
    }
};

struct Placed {
    const aiMesh* mesh;
    aiMatrix4x4 transform;
    bool identity;
};

// One PolySet: every mesh of one material.
struct Group {
    unsigned material = 0;
    std::vector<Placed> meshes;
    bool normals = true, texcoords = true;
    std::vector<Vertex> vertices;
    std::vector<int> faceStarts;  // into corners; one past the end last
    std::vector<int> corners;
};

void Collect(const aiScene* scene, const aiNode* node, const aiMatrix4x4& parent, std::vector<Group>& groups) {
    const aiMatrix4x4 global = parent * node->mTransformation;
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        const aiMesh* mesh = scene->mMeshes[node->mMeshes[i]];
        auto it = std::find_if(groups.begin(), groups.end(),
                               [&](const Group& g) { return g.material == mesh->mMaterialIndex; });
        if (it == groups.end()) {
            groups.emplace_back();
            groups.back().material = mesh->mMaterialIndex;
            it = groups.end() - 1;
        }
        it->meshes.push_back({mesh, global, global.IsIdentity()});
    }
    for (unsigned i = 0; i < node->mNumChildren; ++i) Collect(scene, node->mChildren[i], global, groups);
}

// Vertices shared by value, faces as index lists; returns the number of
// faces split into triangles and adds up the points and lines left out.
// False for an index past the mesh's vertices.
bool Build(Group& g, size_t& split, size_t& leftOut) {
    std::unordered_map<VertexKey, int, VertexKeyHash> index;
    std::vector<int> local;
    std::vector<int> face;
    g.faceStarts.push_back(0);
    for (const Placed& p : g.meshes) {
        const aiMesh* m = p.mesh;
        aiMatrix3x3 normalMatrix(p.transform);
        normalMatrix.Inverse().Transpose();
        local.assign(m->mNumVertices, -1);
        for (unsigned f = 0; f < m->mNumFaces; ++f) {
            const aiFace& af = m->mFaces[f];
            if (af.mNumIndices < 3) {
                ++leftOut;
                continue;
            }
            face.clear();
            for (unsigned k = 0; k < af.mNumIndices; ++k) {
                const unsigned vi = af.mIndices[k];
                if (vi >= m->mNumVertices) return false;
                if (local[vi] < 0) {
                    Vertex v{};
                    aiVector3D pos = m->mVertices[vi];
                    if (!p.identity) pos = p.transform * pos;
                    int n = 0;
                    v.v[n++] = pos.x;
                    v.v[n++] = pos.y;
                    v.v[n++] = pos.z;
                    if (g.normals) {
                        aiVector3D nor = m->mNormals[vi];
                        if (!p.identity) nor = (normalMatrix * nor).NormalizeSafe();
                        v.v[n++] = nor.x;
                        v.v[n++] = nor.y;
                        v.v[n++] = nor.z;
                    }
                    if (g.texcoords) {
                        v.v[n++] = m->mTextureCoords[0][vi].x;
                        v.v[n++] = m->mTextureCoords[0][vi].y;
                    }
                    VertexKey key{};
                    key.n = n;
                    std::memcpy(key.bits, v.v, sizeof(float) * static_cast<size_t>(n));
                    auto [it, added] = index.try_emplace(key, static_cast<int>(g.vertices.size()));
                    if (added) g.vertices.push_back(v);
                    local[vi] = it->second;
                }
                face.push_back(local[vi]);
            }
            if (face.size() <= kObjMaxFaceVertices) {
                g.corners.insert(g.corners.end(), face.begin(), face.end());
                g.faceStarts.push_back(static_cast<int>(g.corners.size()));
                continue;
            }
            ++split;
            for (size_t k = 1; k + 1 < face.size(); ++k) {
                g.corners.insert(g.corners.end(), {face[0], face[k], face[k + 1]});
                g.faceStarts.push_back(static_cast<int>(g.corners.size()));
            }
        }
    }
    return true;
}

void WriteNumber(std::string& line, float value) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    line += ' ';
    line.append(buf, r.ptr);
}

// ---------------------------------------------------------------------------
// Materials

struct MaterialText {
    std::string commands;
    bool named = false;
    std::string name;
};

// Texture file names as the model gives them, relative to the model's
// folder; written relative to where the importer was run, as the model's
// path is.
std::string TexturePath(const std::string& modelPath, const std::string& given) {
    std::string name = given;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.rfind("file://", 0) == 0) name = name.substr(7);
    if (!name.empty() && name[0] == '/') return name;
    return (modelPath == "-" ? "" : Folder(modelPath)) + name;
}

MaterialText Material(const aiScene* scene, unsigned index, const std::string& path,
                      std::unordered_map<std::string, std::string>& labels, std::FILE* err) {
    MaterialText t;
    if (index >= scene->mNumMaterials) return t;
    const aiMaterial* m = scene->mMaterials[index];
    aiString name;
    if (m->Get(AI_MATKEY_NAME, name) == AI_SUCCESS) t.name = name.C_Str();
    aiColor3D diffuse(1, 1, 1), specular(0, 0, 0);
    m->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
    aiString texture;
    const bool hasTexture = m->GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS ||
                            m->GetTexture(aiTextureType_BASE_COLOR, 0, &texture) == AI_SUCCESS;
    // Files without materials (PLY, STL, OBJ without MTL) get the library's
    // default one, with no name or its own: nothing to say. An unnamed
    // material of the file's own still has a colour or a texture.
    t.named = t.name.empty() ? hasTexture || diffuse != aiColor3D(1, 1, 1)
                             : t.name != AI_DEFAULT_MATERIAL_NAME && t.name != "%%%DEFAULT";  // 3DS's own
    if (!t.named) return t;

    m->Get(AI_MATKEY_COLOR_SPECULAR, specular);
    // No exponent (or 0, which formats use for none): kxrender's own 10.
    float shininess = 0;
    m->Get(AI_MATKEY_SHININESS, shininess);
    if (!(shininess > 0)) shininess = 10;
    const float ks = std::max({specular.r, specular.g, specular.b, 0.0f});
    const int exponent = static_cast<int>(std::clamp(std::lround(std::min(shininess, 1e6f)), 1L, 10000L));

    std::string line = "Color";
    WriteNumber(line, diffuse.r);
    WriteNumber(line, diffuse.g);
    WriteNumber(line, diffuse.b);
    t.commands += line + "\nKd 1\nKs";
    line.clear();
    WriteNumber(line, ks);
    t.commands += line + "\nSpecular";
    line.clear();
    for (float c : {specular.r, specular.g, specular.b}) WriteNumber(line, ks > 0 ? c / ks : 1.0f);
    t.commands += line + " " + std::to_string(exponent) + "\n";

    bool textured = false;
    if (hasTexture) {
        const std::string given = texture.C_Str();
        if (!given.empty() && given[0] == '*') {
            Warn(err, path, "material \"" + t.name + "\": texture stored inside the model left out");
        } else if (!given.empty()) {
            const std::string file = TexturePath(path, given);
            auto [it, added] = labels.try_emplace(file, BaseName(path) + "#" + std::to_string(labels.size() + 1));
            const std::string quoted = KxEscape(file);
            if (quoted.size() >= kKxStringLimit)
                Warn(err, path, "texture path longer than a scene string may be (300 characters): " + file);
            if (added) t.commands += "MapLoad \"" + quoted + "\" \"" + KxEscape(it->second) + "\"\n";
            t.commands += "Map \"texture\" \"" + KxEscape(it->second) + "\"\n";
            textured = true;
        }
    }
    t.commands += std::string("Surface \"") + (textured ? "painted plastic" : ks > 0 ? "plastic" : "matte") + "\"\n";
    return t;
}

bool Write(std::FILE* out, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

int Convert(const std::string& path, const aiScene* scene, const ObjCheck* obj, const ImportOptions& options,
            std::FILE* out, std::FILE* err) {
    std::vector<Group> groups;
    Collect(scene, scene->mRootNode, aiMatrix4x4(), groups);

    // Which attributes each PolySet has: those every mesh in it has (for
    // OBJ, every face corner of the file).
    for (Group& g : groups) {
        for (const Placed& p : g.meshes) {
            g.normals = g.normals && p.mesh->HasNormals();
            g.texcoords = g.texcoords && p.mesh->HasTextureCoords(0);
        }
        if (obj) {
            g.normals = g.normals && obj->allNormals();
            g.texcoords = g.texcoords && obj->allTexcoords();
        }
    }
    if (obj && obj->anyNormals() && !obj->allNormals())
        Warn(err, path, "normals left out: not every face vertex has one");
    if (obj && obj->anyTexcoords() && !obj->allTexcoords())
        Warn(err, path, "texture coordinates left out: not every face vertex has them");

    size_t split = 0, leftOut = 0, faces = 0;
    for (Group& g : groups) {
        if (!Build(g, split, leftOut)) return Fail(err, path, "vertex index out of range");
        faces += g.faceStarts.size() - 1;
    }
    if (faces == 0) return Fail(err, path, "no faces");
    if (split)
        Warn(err, path, std::to_string(split) + " faces of more than " + std::to_string(kObjMaxFaceVertices) +
                            " vertices split into triangles");
    if (leftOut) Warn(err, path, std::to_string(leftOut) + " points and lines left out (a PolySet holds polygons)");

    // Placement: centre, fit, scale, in that order.
    if (options.center || options.fit || options.scale != 1) {
        float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
        for (const Group& g : groups)
            for (const Vertex& v : g.vertices)
                for (int k = 0; k < 3; ++k) {
                    lo[k] = std::min(lo[k], v.v[k]);
                    hi[k] = std::max(hi[k], v.v[k]);
                }
        double c[3] = {0, 0, 0};
        double s = options.scale;
        if (options.center || options.fit)
            for (int k = 0; k < 3; ++k) c[k] = (static_cast<double>(lo[k]) + hi[k]) / 2;
        if (options.fit) {
            const double extent = std::max({static_cast<double>(hi[0]) - lo[0], static_cast<double>(hi[1]) - lo[1],
                                            static_cast<double>(hi[2]) - lo[2]});
            if (extent > 0 && std::isfinite(extent)) s *= 2 / extent;
        }
        for (Group& g : groups)
            for (Vertex& v : g.vertices)
                for (int k = 0; k < 3; ++k) v.v[k] = static_cast<float>((v.v[k] - c[k]) * s);
    }

    std::unordered_map<std::string, std::string> labels;
    const bool several = groups.size() > 1;
    std::string line;
    for (const Group& g : groups) {
        const size_t faceCount = g.faceStarts.size() - 1;
        if (faceCount == 0) continue;
        MaterialText mat = Material(scene, g.material, path, labels, err);
        std::string head = "# " + KxEscape(path);
        if (mat.named || several) head += ", material \"" + KxEscape(mat.name) + "\"";
        head += ": " + std::to_string(g.vertices.size()) + " vertices, " + std::to_string(faceCount) + " faces\n";
        std::string type = "P";
        if (g.normals) type += 'N';
        if (g.texcoords) type += 'T';
        if (!Write(out, head + mat.commands + "PolySet \"" + type + "\" " + std::to_string(g.vertices.size()) + " " +
                            std::to_string(faceCount) + "\n"))
            break;
        const int n = 3 + (g.normals ? 3 : 0) + (g.texcoords ? 2 : 0);
        for (const Vertex& v : g.vertices) {
            line.assign(1, ' ');
            for (int k = 0; k < n; ++k) WriteNumber(line, v.v[k]);
            line += '\n';
            if (!Write(out, line)) break;
        }
        for (size_t f = 0; f < faceCount; ++f) {
            line.assign(1, ' ');
            for (int k = g.faceStarts[f]; k < g.faceStarts[f + 1]; ++k) {
                line += ' ';
                line += std::to_string(g.corners[static_cast<size_t>(k)]);
            }
            line += " -1\n";
            if (!Write(out, line)) break;
        }
    }
    if (std::fflush(out) != 0 || std::ferror(out)) return Fail(err, "output", std::strerror(errno ? errno : EIO));
    return 0;
}

int Import(const std::string& path, const ImportOptions& options, std::FILE* out, std::FILE* err) {
    const bool standardInput = path == "-";
    std::string ext = standardInput ? (options.format.empty() ? "obj" : Lower(options.format)) : Extension(path);
    Assimp::Importer importer;
    if (ext.empty() || !importer.IsExtensionSupported("." + ext))
        return Fail(err, path,
                    ext.empty() ? "no file name extension to tell the model format by (.obj, .ply, .stl, .gltf, "
                                  ".glb, .dae, .3ds, ...)"
                                : "unknown model format \"." + ext + "\"");
    const bool isObj = ext == "obj";

    std::FILE* f = stdin;
    bool regular = false;
    if (!standardInput) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) return Fail(err, path, std::strerror(errno));
        if (S_ISDIR(st.st_mode)) return Fail(err, path, std::strerror(EISDIR));
        regular = S_ISREG(st.st_mode);
        if (regular && static_cast<uint64_t>(st.st_size) > kMaxModelBytes)
            return Fail(err, path, "larger than 1 GiB");
        // Regular files are read by the library itself (it finds their
        // material and buffer files); others are read here, once.
        if (!regular || isObj) {
            f = std::fopen(path.c_str(), "rb");
            if (!f) return Fail(err, path, std::strerror(errno));
        }
    }
    ObjCheck check;
    Source src;
    int status = 0;
    bool ok = true;
    if (!regular || isObj) {
        ok = ReadInput(path, f, !regular, isObj ? &check : nullptr, src, err, status);
        if (f != stdin) std::fclose(f);
    }
    if (!ok) return status;

    // Vertices are shared here, exactly (the library's own joining merges
    // vertices closer than a fraction of the model's size), and indices
    // checked here (the library's own check refuses faces of more than
    // 32767 vertices).
    const unsigned flags = 0;
    const aiScene* scene =
        regular ? importer.ReadFile(path, flags)
                : importer.ReadFileFromMemory(src.bytes.data(), src.bytes.size(), flags, ext.c_str());
    if (!scene || !scene->mRootNode) {
        const std::string why = OneLine(importer.GetErrorString());
        return Fail(err, path, why.find("bad_alloc") != std::string::npos ? "out of memory"
                               : why.empty()                              ? "cannot be read"
                                                                          : why);
    }
    return Convert(path, scene, isObj ? &check : nullptr, options, out, err);
}

}  // namespace

std::string KxEscape(const std::string& text, bool quotes) {
    std::string out;
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (quotes && (c == '"' || c == '\\')) {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7F) {
            const char oct[5] = {'\\', static_cast<char>('0' + (c >> 6)), static_cast<char>('0' + ((c >> 3) & 7)),
                                 static_cast<char>('0' + (c & 7)), 0};
            out += oct;
        } else {
            out += ch;
        }
    }
    return out;
}

int ImportModel(const std::string& path, const ImportOptions& options, std::FILE* out, std::FILE* err) {
    try {
        return Import(path, options, out, err);
    } catch (const std::bad_alloc&) {
        return Fail(err, path, "out of memory");
    } catch (const std::exception& e) {
        return Fail(err, path, OneLine(e.what()));
    }
}

}  // namespace kx
