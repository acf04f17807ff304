#include "import.h"

#include <assimp/Importer.hpp>
#include <assimp/MemoryIOWrapper.h>
#include <assimp/scene.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include "child.h"
#include "claims.h"
#include "confine.h"
#include "import_text.h"
#include "materials.h"
#include "obj_check.h"

namespace kx {

namespace {

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

// Floats of a vertex: position, normal, colour, texture coordinates.
constexpr int kVertexFloats = 11;

struct Vertex {
    float v[kVertexFloats];  // position, normal, colour, texture coordinates (as many as written)
};

struct VertexKey {
    uint32_t bits[kVertexFloats];
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
    bool normals = true, colors = true, texcoords = true;
    std::vector<std::string> notes;  // attributes left out, and why
    std::vector<Vertex> vertices;
    std::vector<int> faceStarts;  // into corners; one past the end last
    std::vector<int> corners;
};

void Place(const aiMesh* mesh, const aiMatrix4x4& global, std::vector<Group>& groups) {
    auto it = std::find_if(groups.begin(), groups.end(),
                           [&](const Group& g) { return g.material == mesh->mMaterialIndex; });
    if (it == groups.end()) {
        groups.emplace_back();
        groups.back().material = mesh->mMaterialIndex;
        it = groups.end() - 1;
    }
    it->meshes.push_back({mesh, global, global.IsIdentity()});
}

// The node tree, parents before children, without recursion (trees may be
// tens of thousands of nodes deep). Null entries and mesh numbers out of
// range are passed over; the library leaves a null child where it failed to
// make a node (RAW files of several groups), and then the meshes no node
// places come out where they are, unmoved.
void Collect(const aiScene* scene, const aiNode* root, const aiMatrix4x4& parent, std::vector<Group>& groups) {
    struct Visit {
        const aiNode* node;
        aiMatrix4x4 parent;
    };
    std::vector<Visit> todo{{root, parent}};
    std::vector<bool> placed(scene->mNumMeshes, false);
    bool lost = false;
    while (!todo.empty()) {
        const Visit v = todo.back();
        todo.pop_back();
        if (!v.node) {
            lost = true;
            continue;
        }
        const aiMatrix4x4 global = v.parent * v.node->mTransformation;
        for (unsigned i = 0; v.node->mMeshes && i < v.node->mNumMeshes; ++i) {
            const unsigned m = v.node->mMeshes[i];
            if (m >= scene->mNumMeshes || !scene->mMeshes[m]) continue;
            placed[m] = true;
            Place(scene->mMeshes[m], global, groups);
        }
        for (unsigned i = v.node->mChildren ? v.node->mNumChildren : 0; i > 0; --i)
            todo.push_back({v.node->mChildren[i - 1], global});
    }
    for (unsigned m = 0; lost && m < scene->mNumMeshes; ++m)
        if (!placed[m] && scene->mMeshes[m]) Place(scene->mMeshes[m], parent, groups);
}

// What is wrong with vertex vi of mesh m: "vertex 12 of mesh \"x\" has a
// <what> that is not a finite number" (the mesh by number when unnamed).
std::string NotFinite(const aiScene* scene, const aiMesh* m, unsigned vi, const char* what) {
    std::string text = "vertex ";
    text += std::to_string(vi);
    text += " of mesh ";
    if (m->mName.length) {
        ((text += '"') += m->mName.C_Str()) += '"';
    } else {
        for (unsigned i = 0; i < scene->mNumMeshes; ++i)
            if (scene->mMeshes[i] == m) text += std::to_string(i);
    }
    ((text += " has a ") += what) += " that is not a finite number";
    return text;
}

bool Finite(const float* v, int n) {
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

// Vertices shared by value, faces as index lists; returns the number of
// faces split into triangles and adds up the points and lines left out.
// "" or what is wrong: an index past the mesh's vertices, a position that is
// not a finite number (infinite or NaN, as read or after the node's
// transform). A normal, colour or texture coordinate that is not finite
// leaves that attribute out of the group's PolySet, with a note; the group
// is then built again without it.
std::string BuildOnce(const aiScene* scene, Group& g, size_t& split, size_t& leftOut, bool& again) {
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
                if (vi >= m->mNumVertices) return "vertex index out of range";
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
                    const int colorAt = n;
                    if (g.colors) {
                        const aiColor4D& c = m->mColors[0][vi];
                        v.v[n++] = c.r;
                        v.v[n++] = c.g;
                        v.v[n++] = c.b;
                    }
                    const int texAt = n;
                    if (g.texcoords) {
                        v.v[n++] = m->mTextureCoords[0][vi].x;
                        v.v[n++] = m->mTextureCoords[0][vi].y;
                    }
                    if (!Finite(v.v, 3)) return NotFinite(scene, m, vi, "position");
                    bool* drop = !Finite(v.v + 3, colorAt - 3)              ? &g.normals
                                 : !Finite(v.v + colorAt, texAt - colorAt) ? &g.colors
                                 : !Finite(v.v + texAt, n - texAt)         ? &g.texcoords
                                                                           : nullptr;
                    if (drop) {
                        const char* what = drop == &g.normals ? "normal" : drop == &g.colors ? "colour"
                                                                                            : "texture coordinate";
                        const char* left = drop == &g.normals  ? "normals"
                                           : drop == &g.colors ? "vertex colours"
                                                               : "texture coordinates";
                        g.notes.push_back(std::string(left) + " left out: " + NotFinite(scene, m, vi, what));
                        *drop = false;
                        again = true;
                        return "";
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
    return "";
}

std::string Build(const aiScene* scene, Group& g, size_t& split, size_t& leftOut) {
    for (;;) {
        bool again = false;
        const size_t splitBefore = split, leftOutBefore = leftOut;
        const std::string wrong = BuildOnce(scene, g, split, leftOut, again);
        if (!again) return wrong;
        g.vertices.clear();
        g.faceStarts.clear();
        g.corners.clear();
        split = splitBefore;
        leftOut = leftOutBefore;
    }
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
            g.colors = g.colors && p.mesh->HasVertexColors(0);
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
        const std::string wrong = Build(scene, g, split, leftOut);
        if (!wrong.empty()) return Fail(err, path, wrong);
        for (const std::string& note : g.notes) Warn(err, path, note);
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
        bool finite = true;
        for (Group& g : groups)
            for (Vertex& v : g.vertices)
                for (int k = 0; k < 3; ++k) {
                    v.v[k] = static_cast<float>((v.v[k] - c[k]) * s);
                    finite = finite && std::isfinite(v.v[k]);
                }
        if (!finite) return Fail(err, path, "a coordinate is beyond the range of a float after --scale");
    }

    Materials materials(scene, path, options, err);
    const bool several = groups.size() > 1;
    std::string line;
    for (const Group& g : groups) {
        const size_t faceCount = g.faceStarts.size() - 1;
        if (faceCount == 0) continue;
        MaterialText mat = materials.Text(g.material);
        std::string head = "# " + KxEscape(path);
        if (mat.named || several) head += ", material \"" + KxEscape(mat.name) + "\"";
        head += ": " + std::to_string(g.vertices.size()) + " vertices, " + std::to_string(faceCount) + " faces\n";
        std::string type = "P";
        if (g.normals) type += 'N';
        if (g.colors) type += 'C';
        if (g.texcoords) type += 'T';
        if (!Write(out, head + mat.commands + "PolySet \"" + type + "\" " + std::to_string(g.vertices.size()) + " " +
                            std::to_string(faceCount) + "\n"))
            break;
        const int n = 3 + (g.normals ? 3 : 0) + (g.colors ? 3 : 0) + (g.texcoords ? 2 : 0);
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

// The model at path, or held in memory (then named path, its format the
// --format one). Runs in the child of ImportModel, or in this process for the
// fuzz target.
int Import(const std::string& path, const std::string* memory, const ImportOptions& options, std::FILE* out,
           std::FILE* err) {
    const bool standardInput = path == "-" || memory;
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
    uint64_t fileBytes = 0;
    if (memory && memory->size() > kMaxModelBytes) return Fail(err, path, "larger than 1 GiB");
    if (!standardInput) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) return Fail(err, path, std::strerror(errno));
        if (S_ISDIR(st.st_mode)) return Fail(err, path, std::strerror(EISDIR));
        regular = S_ISREG(st.st_mode);
        fileBytes = static_cast<uint64_t>(st.st_size);
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
    if (memory && isObj && (!check.feed(memory->data(), memory->size()) || !check.finish()))
        return Fail(err, path, check.error());
    if (!memory && (!regular || isObj)) {
        ok = ReadInput(path, f, !regular, isObj ? &check : nullptr, src, err, status);
        if (f != stdin) std::fclose(f);
    }
    if (!ok) return status;
    const std::string& bytes = memory ? *memory : src.bytes;

    // Counts in the header that the file's size cannot hold.
    std::string head;
    if (regular) {
        head.resize(kClaimsHeadBytes);
        std::FILE* h = std::fopen(path.c_str(), "rb");
        head.resize(h ? std::fread(&head[0], 1, head.size(), h) : 0);
        if (h) std::fclose(h);
    }
    const std::string claim = regular ? CheckClaims(ext, head.data(), head.size(), fileBytes)
                                      : CheckClaims(ext, bytes.data(), bytes.size(), bytes.size());
    if (!claim.empty()) return Fail(err, path, claim);

    // Every other file the model names goes through the confinement; the
    // library owns it.
    ConfinedFiles* files = new ConfinedFiles(regular ? path : "", path == "-");
    importer.SetIOHandler(files);
    StartLibraryClock();

    // Vertices are shared here, exactly (the library's own joining merges
    // vertices closer than a fraction of the model's size), and indices
    // checked here (the library's own check refuses faces of more than
    // 32767 vertices).
    const unsigned flags = 0;
    const aiScene* scene =
        regular ? importer.ReadFile(path, flags)
                : importer.ReadFileFromMemory(bytes.data(), bytes.size(), flags, ext.c_str());
    if (!files->refusal().empty()) return Fail(err, path, files->refusal());
    if (!scene || !scene->mRootNode) {
        // Not the library's name for a model in memory; not the words of a
        // file the library quotes.
        std::string why = OneLine(importer.GetErrorString());
        const std::string magic = AI_MEMORYIO_MAGIC_FILENAME + ("." + ext);
        for (size_t at; (at = why.find(magic)) != std::string::npos;) why.replace(at, magic.size(), "the model");
        return Fail(err, path, why == "std::bad_alloc" ? "out of memory" : why.empty() ? "cannot be read" : why);
    }
    // A model held in memory reads no texture file and writes none.
    ImportOptions used = options;
    if (memory) used.textureFiles = false;
    return Convert(path, scene, isObj ? &check : nullptr, used, out, err);
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

namespace {

int ImportCaught(const std::string& path, const std::string* memory, const ImportOptions& options, std::FILE* out,
                 std::FILE* err) {
    try {
        return Import(path, memory, options, out, err);
    } catch (const std::bad_alloc&) {
        return Fail(err, path, "out of memory");
    } catch (const std::exception& e) {
        return Fail(err, path, OneLine(e.what()));
    }
}

}  // namespace

int ImportModel(const std::string& path, const ImportOptions& options, std::FILE* out, std::FILE* err) {
    return RunInChild(KxEscape(path, false), DefaultChildLimits(), err,
                      [&](std::FILE* childErr) { return ImportCaught(path, nullptr, options, out, childErr); });
}

int ImportBuffer(const std::string& name, const std::string& bytes, const ImportOptions& options, std::FILE* out,
                 std::FILE* err, bool inChild, const ChildLimits* limits) {
    if (!inChild)
        return RunOnLargeStack(DefaultChildLimits().stackBytes,
                               [&] { return ImportCaught(name, &bytes, options, out, err); });
    return RunInChild(KxEscape(name, false), limits ? *limits : DefaultChildLimits(), err,
                      [&](std::FILE* childErr) { return ImportCaught(name, &bytes, options, out, childErr); });
}

}  // namespace kx
