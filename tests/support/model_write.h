// Meshes written for tests in the model formats the importer reads: OBJ,
// PLY (ASCII and binary), STL (ASCII and binary), glTF and GLB, and the same
// mesh as a kx PolySet written directly.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace kxtest {

struct TestMesh {
    std::vector<std::array<float, 3>> positions, normals;  // normals may be empty
    std::vector<std::array<float, 2>> texcoords;          // may be empty
    std::vector<std::vector<int>> faces;                   // vertex numbers, counter-clockwise
};

// A cube from -1 to 1: 24 vertices (4 a side, each with the side's normal
// and texture coordinates 0 or 1), 6 quadrilaterals, or 12 triangles.
TestMesh CubeMesh(bool triangles);
// A sphere of radius 1 in 8 rows of 16 triangle pairs, shared vertices
// with normals (and texture coordinates when asked); every value a multiple
// of 1/64, so that every format's text holds it exactly.
TestMesh SphereMesh(bool texcoords);
// The same triangles with one vertex per corner and the face's normal, as
// STL has them (the mesh must be all triangles).
TestMesh Faceted(const TestMesh& mesh);

// A textured, lit scene of one 96 x 96 PPM image "img0000.ppm" around mesh
// (scene text drawing a mesh); the texture shows where the mesh has texture
// coordinates.
std::string TexturedMeshScene(const std::string& mesh);

// The mesh as a PolySet ("P", "PN", "PT" or "PNT" as it has them).
std::string PolySetText(const TestMesh& mesh);

std::string ObjText(const TestMesh& mesh, const std::string& preamble = "");
std::string PlyBytes(const TestMesh& mesh, bool binary);       // positions and normals
std::string StlBytes(const TestMesh& mesh, bool binary);       // triangles with facet normals
// glTF 2.0, buffer embedded as a data URI, or a GLB; materialJson is the
// text of the "materials" array ("" for none; the mesh uses material 0).
std::string GltfBytes(const TestMesh& mesh, bool glb, const std::string& materialJson = "",
                      const std::string& extraJson = "");

// Base64 text of bytes, for data URIs.
std::string Base64(const std::string& in);

}  // namespace kxtest
