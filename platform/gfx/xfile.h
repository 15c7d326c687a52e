// Our reader of DirectX .x mesh files (text, binary, MSZIP-compressed text and binary; 32- and 64-bit floats).
//
// It yields what the game's mesh loader yields: every Mesh of the file in one mesh (frame transforms applied),
// one subset per material, triangle and vertex counts, and per material its colours and texture name as written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct XMaterial {
    float diffuse[4] = {0.5f, 0.5f, 0.5f, 0.0f}; // face colour RGBA
    float power = 0.0f;
    float specular[3] = {0.5f, 0.5f, 0.5f};
    float emissive[3] = {0.0f, 0.0f, 0.0f};
    std::string textureFilename; // 8-bit, exactly as written in the file (last TextureFilename wins); may be empty
};

struct XVertex {
    float position[3] = {0, 0, 0};
    float normal[3] = {0, 0, 0}; // normalised; zero when the mesh has no normals
    float uv[2] = {0, 0};
};

// Invariants: indices.size() == 3 * faceCount; every index < vertices.size(); subsets.size() == materials.size();
// subset i covers indices [firstIndex, firstIndex + 3 * faceCount) and holds exactly material i's triangles;
// the subsets are contiguous and in material order.
struct XSubset {
    std::uint32_t firstIndex = 0;
    std::uint32_t faceCount = 0;
};

struct XMesh {
    std::vector<XVertex> vertices;
    std::vector<std::uint32_t> indices;
    std::vector<XSubset> subsets;
    std::vector<XMaterial> materials;
    std::uint32_t faceCount() const { return static_cast<std::uint32_t>(indices.size() / 3); }
    std::uint32_t vertexCount() const { return static_cast<std::uint32_t>(vertices.size()); }
};

// Why a file did not load: one sentence, and where (byte offset into the decoded data; line for text files, 0
// when not known).
struct XLoadError {
    std::size_t offset = 0;
    int line = 0;
    std::string reason;
    std::string describe() const; // "line 12: reason" / "byte 345: reason"
};

// Parses a whole .x file held in memory. On failure returns false, fills `error` and leaves `mesh` empty.
bool LoadXFileFromMemory(const std::uint8_t* data, std::size_t size, XMesh& mesh, XLoadError& error);
// Reads the file (an ANSI path, resolved like every path of the program) and parses it.
bool LoadXFile(std::string_view ansiPath, XMesh& mesh, XLoadError& error);
