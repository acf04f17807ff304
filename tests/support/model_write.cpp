#include "support/model_write.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace kxtest {

namespace {

float Q(double v) { return static_cast<float>(std::round(v * 64) / 64); }

std::string Num(float v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

template <typename T>
void Put(std::string& out, T v) {
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    out.append(b, sizeof(T));
}

}  // namespace

std::string Base64(const std::string& in) {
    static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        uint32_t n = uint8_t(in[i]) << 16 | uint8_t(in[i + 1]) << 8 | uint8_t(in[i + 2]);
        out += {k[n >> 18], k[(n >> 12) & 63], k[(n >> 6) & 63], k[n & 63]};
    }
    if (i + 1 == in.size()) {
        uint32_t n = uint8_t(in[i]) << 16;
        out += {k[n >> 18], k[(n >> 12) & 63], '=', '='};
    } else if (i + 2 == in.size()) {
        uint32_t n = uint8_t(in[i]) << 16 | uint8_t(in[i + 1]) << 8;
        out += {k[n >> 18], k[(n >> 12) & 63], k[(n >> 6) & 63], '='};
    }
    return out;
}

TestMesh CubeMesh(bool triangles) {
    // Each side: its normal, and two axes spanning it counter-clockwise.
    const int sides[6][9] = {{0, 0, 1, 1, 0, 0, 0, 1, 0},   {0, 0, -1, 0, 1, 0, 1, 0, 0},
                             {1, 0, 0, 0, 1, 0, 0, 0, 1},   {-1, 0, 0, 0, 0, 1, 0, 1, 0},
                             {0, 1, 0, 0, 0, 1, 1, 0, 0},   {0, -1, 0, 1, 0, 0, 0, 0, 1}};
    const int corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    TestMesh m;
    for (const auto& s : sides) {
        const int base = static_cast<int>(m.positions.size());
        for (const auto& c : corners) {
            std::array<float, 3> p;
            for (int k = 0; k < 3; ++k) p[k] = static_cast<float>(s[k] + c[0] * s[3 + k] + c[1] * s[6 + k]);
            m.positions.push_back(p);
            m.normals.push_back({float(s[0]), float(s[1]), float(s[2])});
            m.texcoords.push_back({c[0] > 0 ? 1.0f : 0.0f, c[1] > 0 ? 1.0f : 0.0f});
        }
        if (triangles) {
            m.faces.push_back({base, base + 1, base + 2});
            m.faces.push_back({base, base + 2, base + 3});
        } else {
            m.faces.push_back({base, base + 1, base + 2, base + 3});
        }
    }
    return m;
}

TestMesh SphereMesh(bool texcoords) {
    const int rows = 8, cols = 16;
    TestMesh m;
    // Vertices numbered in the order the faces first use them. Without
    // texture coordinates the poles and the seam are one vertex each.
    std::vector<std::vector<int>> id(rows + 1, std::vector<int>(cols + 1, -1));
    auto vertex = [&](int i, int j) {
        int& slot = texcoords ? id[i][j] : id[i][i == 0 || i == rows ? 0 : j % cols];
        if (slot >= 0) return slot;
        const double theta = M_PI * i / rows, phi = 2 * M_PI * j / cols;
        const double x = std::sin(theta) * std::cos(phi), y = std::sin(theta) * std::sin(phi), z = std::cos(theta);
        slot = static_cast<int>(m.positions.size());
        m.positions.push_back({Q(x), Q(y), Q(z)});
        m.normals.push_back({Q(x), Q(y), Q(z)});
        if (texcoords) m.texcoords.push_back({static_cast<float>(j) / cols, 1 - static_cast<float>(i) / rows});
        return slot;
    };
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) {
            if (i > 0) {
                const int a = vertex(i, j), b = vertex(i + 1, j), d = vertex(i, j + 1);
                m.faces.push_back({a, b, d});
            }
            if (i < rows - 1) {
                const int b = vertex(i + 1, j), c = vertex(i + 1, j + 1), d = vertex(i, j + 1);
                m.faces.push_back({b, c, d});
            }
        }
    return m;
}

TestMesh Faceted(const TestMesh& mesh) {
    TestMesh out;
    for (const std::vector<int>& f : mesh.faces) {
        const auto &a = mesh.positions[f[0]], &b = mesh.positions[f[1]], &c = mesh.positions[f[2]];
        double u[3], v[3], n[3];
        for (int k = 0; k < 3; ++k) {
            u[k] = b[k] - a[k];
            v[k] = c[k] - a[k];
        }
        n[0] = u[1] * v[2] - u[2] * v[1];
        n[1] = u[2] * v[0] - u[0] * v[2];
        n[2] = u[0] * v[1] - u[1] * v[0];
        const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        const std::array<float, 3> normal = {Q(n[0] / len), Q(n[1] / len), Q(n[2] / len)};
        // Corners already there with the same position and normal are
        // shared: two triangles of one side of a cube have four vertices.
        std::vector<int> face;
        for (int corner : f) {
            int found = -1;
            for (size_t i = 0; i < out.positions.size() && found < 0; ++i)
                if (out.positions[i] == mesh.positions[corner] && out.normals[i] == normal) found = static_cast<int>(i);
            if (found < 0) {
                found = static_cast<int>(out.positions.size());
                out.positions.push_back(mesh.positions[corner]);
                out.normals.push_back(normal);
            }
            face.push_back(found);
        }
        out.faces.push_back(face);
    }
    return out;
}

std::string TexturedMeshScene(const std::string& mesh) {
    return "Display \"img\" \"PNM\" \"rgb\"\nFormat 96 96\nCameraEye 3 4 5\nCameraAt 0 0 0\nCameraFOV 40\n"
           "MapLoad \"" KX_SOURCE_DIR "/examples/textures/checker.ppm\" \"checker\"\n"
           "WorldBegin\nAmbientLight 1 1 1 0.2\nFarLight -1 -2 -1.5 1 1 1 1\n"
           "Surface \"painted plastic\"\nMap \"texture\" \"checker\"\nKs 0.6\nSpecular 1 1 1 12\n"
           "Rotate \"Y\" 20\n" + mesh + "WorldEnd\n";
}

std::string PolySetText(const TestMesh& m) {
    std::string type = "P";
    if (!m.normals.empty()) type += "N";
    if (!m.texcoords.empty()) type += "T";
    std::string out = "PolySet \"" + type + "\" " + std::to_string(m.positions.size()) + " " +
                      std::to_string(m.faces.size()) + "\n";
    for (size_t i = 0; i < m.positions.size(); ++i) {
        for (float v : m.positions[i]) out += Num(v) + " ";
        if (!m.normals.empty())
            for (float v : m.normals[i]) out += Num(v) + " ";
        if (!m.texcoords.empty())
            for (float v : m.texcoords[i]) out += Num(v) + " ";
        out += "\n";
    }
    for (const auto& f : m.faces) {
        for (int i : f) out += std::to_string(i) + " ";
        out += "-1\n";
    }
    return out;
}

std::string ObjText(const TestMesh& m, const std::string& preamble) {
    std::string out = preamble;
    for (const auto& p : m.positions) out += "v " + Num(p[0]) + " " + Num(p[1]) + " " + Num(p[2]) + "\n";
    for (const auto& t : m.texcoords) out += "vt " + Num(t[0]) + " " + Num(t[1]) + "\n";
    for (const auto& n : m.normals) out += "vn " + Num(n[0]) + " " + Num(n[1]) + " " + Num(n[2]) + "\n";
    for (const auto& f : m.faces) {
        out += "f";
        for (int i : f) {
            const std::string k = std::to_string(i + 1);
            out += " " + k;
            if (!m.texcoords.empty() || !m.normals.empty()) out += "/" + (m.texcoords.empty() ? "" : k);
            if (!m.normals.empty()) out += "/" + k;
        }
        out += "\n";
    }
    return out;
}

std::string PlyBytes(const TestMesh& m, bool binary) {
    std::string out = std::string("ply\nformat ") + (binary ? "binary_little_endian" : "ascii") +
                      " 1.0\ncomment written by the tests\nelement vertex " + std::to_string(m.positions.size()) +
                      "\nproperty float x\nproperty float y\nproperty float z\n";
    if (!m.normals.empty()) out += "property float nx\nproperty float ny\nproperty float nz\n";
    out += "element face " + std::to_string(m.faces.size()) + "\nproperty list uchar int vertex_indices\nend_header\n";
    for (size_t i = 0; i < m.positions.size(); ++i) {
        std::vector<float> values(m.positions[i].begin(), m.positions[i].end());
        if (!m.normals.empty()) values.insert(values.end(), m.normals[i].begin(), m.normals[i].end());
        for (size_t k = 0; k < values.size(); ++k) {
            if (binary) {
                Put(out, values[k]);
            } else {
                if (k) out += ' ';
                out += Num(values[k]);
            }
        }
        if (!binary) out += "\n";
    }
    for (const auto& f : m.faces) {
        if (binary) {
            Put(out, static_cast<uint8_t>(f.size()));
            for (int i : f) Put(out, static_cast<int32_t>(i));
        } else {
            out += std::to_string(f.size());
            for (int i : f) {
                out += ' ';
                out += std::to_string(i);
            }
            out += "\n";
        }
    }
    return out;
}

std::string StlBytes(const TestMesh& m, bool binary) {
    std::string out;
    if (binary) {
        out = std::string(80, ' ');
        out.replace(0, 20, "binary, by the tests");
        Put(out, static_cast<uint32_t>(m.faces.size()));
    } else {
        out = "solid test\n";
    }
    for (const auto& f : m.faces) {
        const auto& n = m.normals[f[0]];
        if (binary) {
            for (float v : n) Put(out, v);
            for (int i : f)
                for (float v : m.positions[i]) Put(out, v);
            Put(out, static_cast<uint16_t>(0));
        } else {
            out += " facet normal " + Num(n[0]) + " " + Num(n[1]) + " " + Num(n[2]) + "\n  outer loop\n";
            for (int i : f)
                out += "   vertex " + Num(m.positions[i][0]) + " " + Num(m.positions[i][1]) + " " +
                       Num(m.positions[i][2]) + "\n";
            out += "  endloop\n endfacet\n";
        }
    }
    if (!binary) out += "endsolid test\n";
    return out;
}

std::string GltfBytes(const TestMesh& m, bool glb, const std::string& materialJson, const std::string& extraJson) {
    // Buffer: indices, positions, normals, texture coordinates (glTF's v
    // runs down the image).
    std::string bin;
    size_t indexCount = 0;
    for (const auto& f : m.faces) {
        for (int i : f) Put(bin, static_cast<uint32_t>(i));
        indexCount += f.size();
    }
    const size_t positionsAt = bin.size();
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    for (const auto& p : m.positions)
        for (int k = 0; k < 3; ++k) {
            Put(bin, p[k]);
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    const size_t normalsAt = bin.size();
    for (const auto& n : m.normals)
        for (float v : n) Put(bin, v);
    const size_t texAt = bin.size();
    for (const auto& t : m.texcoords) {
        Put(bin, t[0]);
        Put(bin, 1 - t[1]);
    }
    const size_t n = m.positions.size();
    auto view = [&](size_t at, size_t length) {
        return "{\"buffer\":0,\"byteOffset\":" + std::to_string(at) + ",\"byteLength\":" + std::to_string(length) + "}";
    };
    std::string views = view(0, positionsAt) + "," + view(positionsAt, normalsAt - positionsAt);
    std::string accessors = "{\"bufferView\":0,\"componentType\":5125,\"count\":" + std::to_string(indexCount) +
                            ",\"type\":\"SCALAR\"},{\"bufferView\":1,\"componentType\":5126,\"count\":" +
                            std::to_string(n) + ",\"type\":\"VEC3\",\"min\":[" + Num(lo[0]) + "," + Num(lo[1]) + "," +
                            Num(lo[2]) + "],\"max\":[" + Num(hi[0]) + "," + Num(hi[1]) + "," + Num(hi[2]) + "]}";
    std::string attributes = "\"POSITION\":1";
    int next = 2;
    if (!m.normals.empty()) {
        views += "," + view(normalsAt, texAt - normalsAt);
        accessors += ",{\"bufferView\":" + std::to_string(next) + ",\"componentType\":5126,\"count\":" +
                     std::to_string(n) + ",\"type\":\"VEC3\"}";
        attributes += ",\"NORMAL\":" + std::to_string(next++);
    }
    if (!m.texcoords.empty()) {
        views += "," + view(texAt, bin.size() - texAt);
        accessors += ",{\"bufferView\":" + std::to_string(next) + ",\"componentType\":5126,\"count\":" +
                     std::to_string(n) + ",\"type\":\"VEC2\"}";
        attributes += ",\"TEXCOORD_0\":" + std::to_string(next++);
    }
    std::string buffer = "{\"byteLength\":" + std::to_string(bin.size()) +
                         (glb ? "}" : ",\"uri\":\"data:application/octet-stream;base64," + Base64(bin) + "\"}");
    std::string json = "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],"
                       "\"nodes\":[{\"mesh\":0}],\"meshes\":[{\"primitives\":[{\"attributes\":{" +
                       attributes + "},\"indices\":0" + (materialJson.empty() ? "" : ",\"material\":0") +
                       "}]}],\"accessors\":[" + accessors + "],\"bufferViews\":[" + views + "],\"buffers\":[" +
                       buffer + "]" + (materialJson.empty() ? "" : ",\"materials\":" + materialJson) + extraJson +
                       "}";
    if (!glb) return json;
    while (json.size() % 4) json += ' ';
    while (bin.size() % 4) bin += '\0';
    std::string out = "glTF";
    Put(out, static_cast<uint32_t>(2));
    Put(out, static_cast<uint32_t>(12 + 8 + json.size() + 8 + bin.size()));
    Put(out, static_cast<uint32_t>(json.size()));
    out += "JSON" + json;
    Put(out, static_cast<uint32_t>(bin.size()));
    out.append("BIN\0", 4);
    out += bin;
    return out;
}

}  // namespace kxtest
