// The .x reader: header, the parser of the templates that make the mesh (one template for the text and the binary
// token readers), and the assembly of all meshes of the file into one mesh with one subset per material.
#include "xfile_internal.h"

#include "sys.h"

#include <algorithm>
#include <cstddef>
#include <cmath>
#include <map>
#include <new>
#include <unordered_map>

namespace xfile_detail {

void Fail(std::size_t offset, std::string reason) { throw XFail{offset, std::move(reason)}; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

namespace {

// Row-major 4x4 matrix for row vectors: p' = p × M.
struct Mat4 {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    bool identity = true;
};

Mat4 Multiply(const Mat4& a, const Mat4& b) {
    if (a.identity)
        return b;
    if (b.identity)
        return a;
    Mat4 r;
    r.identity = false;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += a.m[i * 4 + k] * b.m[k * 4 + j];
            r.m[i * 4 + j] = s;
        }
    return r;
}

void Normalize(float* n) {
    const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (len > 0 && std::isfinite(len)) {
        n[0] /= len;
        n[1] /= len;
        n[2] /= len;
    }
}

std::uint32_t LoadU32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool SameBits(const float* a, const float* b) {
    std::uint32_t x[3], y[3];
    std::memcpy(x, a, sizeof x);
    std::memcpy(y, b, sizeof y);
    return x[0] == y[0] && x[1] == y[1] && x[2] == y[2];
}

// A copy of a mesh vertex for a normal value other than the one it took first.
struct CopyKey {
    std::uint32_t vertex;
    std::uint32_t normal[3]; // the normal's bits
    bool operator==(const CopyKey& o) const {
        return vertex == o.vertex && normal[0] == o.normal[0] && normal[1] == o.normal[1] && normal[2] == o.normal[2];
    }
};
struct CopyKeyHash {
    std::size_t operator()(const CopyKey& k) const {
        std::uint64_t h = k.vertex * 0x9e3779b97f4a7c15u;
        for (std::uint32_t x : k.normal)
            h = (h ^ x) * 0xff51afd7ed558ccdu;
        return static_cast<std::size_t>(h ^ (h >> 32));
    }
};

struct NamedMaterial {
    std::string name;
    bool hasGuid = false;
    Guid guid{};
    XMaterial material;
};

// Everything gathered while parsing, turned into an XMesh at the end.
struct Build {
    std::vector<XVertex> vertices;
    std::vector<std::uint32_t> triangles;     // 3 vertex indices per triangle
    std::vector<std::uint32_t> triangleMaterial; // index into `materials`
    std::vector<XMaterial> materials;
    bool anyMaterialList = false;
    std::unordered_map<std::string, std::size_t> byName; // into `named`
    std::map<Guid, std::size_t> byGuid;
    std::vector<NamedMaterial> named;
};

// One Mesh object as read. Its vertices go straight into Build::vertices (from `base` on: the mesh's own, then
// the copies that its normals call for); faces and materials wait until the whole object is read.
struct RawMesh {
    std::size_t base = 0;
    std::uint32_t vertexCount = 0;
    std::uint32_t faceCount = 0;
    bool allTriangles = true;
    std::vector<std::uint32_t> faceSizes;   // filled only once a face is not a triangle
    std::vector<std::uint32_t> faceIndices; // all faces' indices in a row (after MeshNormals: the split vertices)
    std::uint64_t triangleCount = 0;
    bool hasNormals = false;
    std::vector<std::uint32_t> copySources; // the mesh vertex each copy was made from
    bool hasMaterialList = false;
    std::vector<std::uint32_t> faceMaterials;
    std::vector<XMaterial> materials;
    std::uint32_t sizeOf(std::uint32_t face) const { return allTriangles ? 3 : faceSizes[face]; }
};

template <class Reader>
class Parser {
  public:
    Parser(Reader& reader, Build& build) : r_(reader), b_(build) {}

    void parseFile() {
        ItemHeader h;
        for (;;) {
            switch (r_.nextItem(h)) {
            case Item::End:
                return;
            case Item::Close:
                Fail(h.offset, "'}' without an open object");
            case Item::Reference:
                break;
            case Item::Object:
                parseObject(h, Mat4{}, 0);
                break;
            }
        }
    }

  private:
    // An object at file level or in a frame: meshes, frames and named materials matter; the rest is skipped.
    void parseObject(const ItemHeader& h, const Mat4& world, int depth) {
        if (EqualsNoCase(h.type, "Mesh")) {
            parseMesh(world);
        } else if (EqualsNoCase(h.type, "Frame")) {
            parseFrame(world, depth + 1, h.offset);
        } else if (EqualsNoCase(h.type, "Material")) {
            XMaterial m;
            parseMaterial(m);
            remember(h, m);
        } else {
            r_.skipBody();
        }
    }

    void parseFrame(const Mat4& parent, int depth, std::size_t offset) {
        if (depth > kMaxFrameDepth)
            Fail(offset, "frames are nested deeper than " + std::to_string(kMaxFrameDepth) + " levels");
        Mat4 world = parent; // a transform moves only what follows it in this frame
        ItemHeader h;
        for (;;) {
            switch (r_.nextItem(h)) {
            case Item::End:
                Fail(h.offset, "unexpected end of file inside a Frame");
            case Item::Close:
                return;
            case Item::Reference:
                break;
            case Item::Object:
                if (EqualsNoCase(h.type, "FrameTransformMatrix")) {
                    Mat4 local;
                    r_.readFloats(local.m, 16);
                    local.identity = std::memcmp(local.m, Mat4{}.m, sizeof local.m) == 0;
                    world = Multiply(local, world);
                    skipChildren("FrameTransformMatrix");
                } else {
                    parseObject(h, world, depth);
                }
                break;
            }
        }
    }

    // Reads to the end of an object whose members are read, skipping any child objects.
    void skipChildren(const char* what) {
        ItemHeader h;
        for (;;) {
            switch (r_.nextItem(h)) {
            case Item::End:
                Fail(h.offset, std::string("unexpected end of file inside a ") + what);
            case Item::Close:
                return;
            case Item::Reference:
                break;
            case Item::Object:
                r_.skipBody();
                break;
            }
        }
    }

    void remember(const ItemHeader& h, const XMaterial& m) {
        if (h.name.empty() && !h.hasGuid)
            return;
        NamedMaterial entry{std::string(h.name), h.hasGuid, h.guid, m};
        const std::size_t index = b_.named.size();
        b_.named.push_back(std::move(entry));
        if (!h.name.empty())
            b_.byName[b_.named.back().name] = index;
        if (h.hasGuid)
            b_.byGuid[h.guid] = index;
    }

    const XMaterial* lookUp(const ItemHeader& h) const {
        if (!h.name.empty()) {
            const auto it = b_.byName.find(std::string(h.name));
            if (it != b_.byName.end())
                return &b_.named[it->second].material;
        }
        if (h.hasGuid) {
            const auto it = b_.byGuid.find(h.guid);
            if (it != b_.byGuid.end())
                return &b_.named[it->second].material;
        }
        return nullptr;
    }

    std::uint32_t readCount(std::uint64_t limit, std::uint64_t valuesEach, bool floats, const char* what) {
        const std::uint32_t n = r_.readUInt();
        if (n > limit)
            Fail(r_.tokenOffset(), std::string("the ") + what + " count " + std::to_string(n) + " exceeds the limit of " +
                                       std::to_string(limit));
        const std::uint64_t room = floats ? r_.maxFloats() : r_.maxInts();
        if (static_cast<std::uint64_t>(n) * valuesEach > room)
            Fail(r_.tokenOffset(), std::string("the ") + what + " count " + std::to_string(n) +
                                       " is larger than the rest of the file can hold");
        return n;
    }

    std::uint8_t* VertexBytes(std::size_t index) { return reinterpret_cast<std::uint8_t*>(b_.vertices.data() + index); }

    void parseMesh(const Mat4& world) {
        RawMesh m;
        m.vertexCount = readCount(kMaxVertices, 3, true, "vertex");
        m.base = b_.vertices.size();
        if (m.base + m.vertexCount > kMaxVertices)
            Fail(r_.tokenOffset(), "the file has more than " + std::to_string(kMaxVertices) + " vertices");
        b_.vertices.resize(m.base + m.vertexCount);
        r_.readFloatGroups(VertexBytes(m.base) + offsetof(XVertex, position), m.vertexCount, 3, sizeof(XVertex));
        readFaces(m);

        ItemHeader h;
        for (;;) {
            const Item item = r_.nextItem(h);
            if (item == Item::End)
                Fail(h.offset, "unexpected end of file inside a Mesh");
            if (item == Item::Close)
                break;
            if (item == Item::Reference)
                continue;
            if (EqualsNoCase(h.type, "MeshNormals") && !m.hasNormals) // a second one is skipped
                parseNormals(m);
            else if (EqualsNoCase(h.type, "MeshTextureCoords"))
                parseUvs(m);
            else if (EqualsNoCase(h.type, "MeshVertexColors"))
                parseColours(m);
            else if (EqualsNoCase(h.type, "MeshMaterialList"))
                parseMaterialList(m);
            else
                r_.skipBody();
        }
        addMesh(m, world);
    }

    void readFaces(RawMesh& m) {
        m.faceCount = readCount(kMaxFaces, 4, false, "face");
        m.faceIndices.resize(static_cast<std::size_t>(m.faceCount) * 3);
        std::size_t used = 0;
        std::uint32_t f = 0;
        // Binary triangles straight from the list: 3, a, b, c.
        while (m.allTriangles && f < m.faceCount && used + 3 <= m.faceIndices.size()) {
            const std::uint8_t* q = r_.contiguousInts(4);
            if (!q)
                break;
            const std::uint32_t n = LoadU32(q), a = LoadU32(q + 4), b = LoadU32(q + 8), c = LoadU32(q + 12);
            if (n != 3 || a >= m.vertexCount || b >= m.vertexCount || c >= m.vertexCount)
                break;
            m.faceIndices[used] = a;
            m.faceIndices[used + 1] = b;
            m.faceIndices[used + 2] = c;
            r_.skipInts(4);
            used += 3;
            m.triangleCount += 1;
            ++f;
        }
        for (; f < m.faceCount; ++f) {
            const std::uint32_t n = r_.readUInt();
            if (n != 3) {
                if (n < 3)
                    Fail(r_.tokenOffset(), "face " + std::to_string(f) + " has " + std::to_string(n) +
                                               " indices (at least 3 needed)");
                if (n > r_.maxInts())
                    Fail(r_.tokenOffset(), "face " + std::to_string(f) + " has " + std::to_string(n) +
                                               " indices, more than the rest of the file can hold");
                if (m.allTriangles) {
                    m.allTriangles = false;
                    m.faceSizes.reserve(m.faceCount);
                    m.faceSizes.assign(f, 3);
                }
            }
            if (!m.allTriangles)
                m.faceSizes.push_back(n);
            m.triangleCount += n - 2;
            if (used + n > m.faceIndices.size())
                m.faceIndices.resize(std::max<std::size_t>(m.faceIndices.size() * 2, used + n));
            const std::size_t k = r_.readUIntsBelow(&m.faceIndices[used], n, m.vertexCount);
            if (k != n)
                Fail(r_.tokenOffset(), "face " + std::to_string(f) + " uses vertex " +
                                           std::to_string(m.faceIndices[used + k]) + " of " +
                                           std::to_string(m.vertexCount));
            used += n;
        }
        m.faceIndices.resize(used);
        if (m.triangleCount + b_.triangleMaterial.size() > kMaxFaces)
            Fail(r_.tokenOffset(), "the file has more than " + std::to_string(kMaxFaces) + " triangles");
    }

    // Reads the normals and gives each face corner a vertex with its normal as it goes: the first normal a
    // vertex meets stays with it; another value (exact comparison) gets a copy of the vertex, one per value,
    // appended after the mesh's vertices and reused by later corners.
    void parseNormals(RawMesh& m) {
        const std::uint32_t count = readCount(kMaxVertices, 3, true, "normal");
        std::vector<float> normals(static_cast<std::size_t>(count) * 3);
        r_.readFloats(normals.data(), normals.size());
        for (std::size_t i = 0; i < normals.size(); i += 3)
            Normalize(&normals[i]);
        const std::uint32_t faces = r_.readUInt();
        if (faces != m.faceCount)
            Fail(r_.tokenOffset(), "MeshNormals has " + std::to_string(faces) + " faces for the mesh's " +
                                       std::to_string(m.faceCount));
        constexpr std::uint32_t kNone = 0xffffffffu;
        std::vector<std::uint32_t> first(m.vertexCount, kNone); // the normal index each vertex took first
        std::unordered_map<CopyKey, std::uint32_t, CopyKeyHash> copies;
        std::uint32_t* corner = m.faceIndices.data();
        std::uint32_t few[16];
        std::vector<std::uint32_t> many;
        for (std::uint32_t f = 0; f < faces; ++f) {
            std::uint32_t n;
            std::uint32_t* ids;
            const std::uint8_t* q = r_.contiguousInts(4);
            if (q && LoadU32(q) == 3 && m.sizeOf(f) == 3 && (few[0] = LoadU32(q + 4)) < count &&
                (few[1] = LoadU32(q + 8)) < count && (few[2] = LoadU32(q + 12)) < count) {
                r_.skipInts(4); // binary triangles straight from the list
                n = 3;
                ids = few;
            } else {
                n = r_.readUInt();
                if (n != m.sizeOf(f))
                    Fail(r_.tokenOffset(), "normal face " + std::to_string(f) + " has " + std::to_string(n) +
                                               " indices for the face's " + std::to_string(m.sizeOf(f)));
                ids = n <= 16 ? few : (many.resize(n), many.data());
                const std::size_t bad = r_.readUIntsBelow(ids, n, count);
                if (bad != n)
                    Fail(r_.tokenOffset(), "normal face " + std::to_string(f) + " uses normal " +
                                               std::to_string(ids[bad]) + " of " + std::to_string(count));
            }
            for (std::uint32_t k = 0; k < n; ++k, ++corner) {
                const std::uint32_t ni = ids[k];
                const std::uint32_t v = *corner;
                const std::uint32_t taken = first[v];
                if (taken == ni)
                    continue;
                if (taken == kNone) {
                    first[v] = ni;
                    continue;
                }
                const float* value = &normals[std::size_t{ni} * 3];
                if (SameBits(&normals[std::size_t{taken} * 3], value))
                    continue;
                CopyKey key{v, {}};
                std::memcpy(key.normal, value, sizeof key.normal);
                const auto [it, added] = copies.try_emplace(key, 0u);
                if (added) {
                    if (b_.vertices.size() + 1 > kMaxVertices)
                        Fail(r_.tokenOffset(), "the file has more than " + std::to_string(kMaxVertices) + " vertices");
                    it->second = static_cast<std::uint32_t>(b_.vertices.size() - m.base);
                    XVertex copy = b_.vertices[m.base + v];
                    std::memcpy(copy.normal, value, sizeof copy.normal);
                    b_.vertices.push_back(copy);
                    m.copySources.push_back(v);
                }
                *corner = it->second;
            }
        }
        for (std::uint32_t v = 0; v < m.vertexCount; ++v)
            if (first[v] != kNone)
                std::memcpy(b_.vertices[m.base + v].normal, &normals[std::size_t{first[v]} * 3], 3 * sizeof(float));
        m.hasNormals = true;
        skipChildren("MeshNormals");
    }

    void parseUvs(RawMesh& m) {
        const std::uint32_t count = r_.readUInt();
        if (count != m.vertexCount)
            Fail(r_.tokenOffset(), "MeshTextureCoords has " + std::to_string(count) + " coordinates for " +
                                       std::to_string(m.vertexCount) + " vertices");
        r_.readFloatGroups(VertexBytes(m.base) + offsetof(XVertex, uv), count, 2, sizeof(XVertex));
        skipChildren("MeshTextureCoords");
    }

    // Colours are checked but not kept: the viewer colours by material.
    void parseColours(const RawMesh& m) {
        const std::uint32_t count = readCount(kMaxVertices, 5, false, "vertex colour");
        for (std::uint32_t c = 0; c < count; ++c) {
            const std::uint32_t v = r_.readUInt();
            if (v >= m.vertexCount)
                Fail(r_.tokenOffset(), "vertex colour " + std::to_string(c) + " uses vertex " + std::to_string(v) +
                                           " of " + std::to_string(m.vertexCount));
            float rgba[4];
            r_.readFloats(rgba, 4);
        }
        skipChildren("MeshVertexColors");
    }

    void parseMaterialList(RawMesh& m) {
        const std::uint32_t count = r_.readUInt();
        const std::size_t countOffset = r_.tokenOffset();
        const std::uint32_t indices = r_.readUInt();
        // Fewer indices than faces: the last one holds for the remaining faces (the DirectX SDK's own tiger.x
        // gives one index for 599 faces). More indices than faces, or none for a mesh with faces, fail.
        const std::size_t faces = m.faceCount;
        if (indices > faces || (indices == 0 && faces > 0))
            Fail(r_.tokenOffset(), "MeshMaterialList has " + std::to_string(indices) + " face indices for " +
                                       std::to_string(faces) + " faces");
        m.faceMaterials.resize(faces);
        for (std::uint32_t f = 0; f < indices; ++f) {
            const std::uint32_t i = r_.readUInt();
            if (i >= count)
                Fail(r_.tokenOffset(), "face " + std::to_string(f) + " uses material " + std::to_string(i) + " of " +
                                           std::to_string(count));
            m.faceMaterials[f] = i;
        }
        std::fill(m.faceMaterials.begin() + indices, m.faceMaterials.end(), indices ? m.faceMaterials[indices - 1] : 0);
        m.materials.clear();
        ItemHeader h;
        for (;;) {
            const Item item = r_.nextItem(h);
            if (item == Item::End)
                Fail(h.offset, "unexpected end of file inside a MeshMaterialList");
            if (item == Item::Close)
                break;
            if (item == Item::Reference) {
                const XMaterial* found = lookUp(h);
                if (!found)
                    Fail(h.offset, "the material reference {" +
                                       (h.name.empty() ? std::string("<GUID>") : std::string(h.name)) +
                                       "} names no earlier material");
                m.materials.push_back(*found);
            } else if (EqualsNoCase(h.type, "Material")) {
                XMaterial mat;
                parseMaterial(mat);
                remember(h, mat);
                m.materials.push_back(std::move(mat));
            } else {
                r_.skipBody();
                continue;
            }
            if (m.materials.size() > count)
                Fail(h.offset, "MeshMaterialList declares " + std::to_string(count) + " materials but holds more");
        }
        if (m.materials.size() != count)
            Fail(countOffset, "MeshMaterialList declares " + std::to_string(count) + " materials but holds " +
                                  std::to_string(m.materials.size()));
        m.hasMaterialList = true;
    }

    void parseMaterial(XMaterial& mat) {
        r_.readFloats(mat.diffuse, 4);
        mat.power = r_.readFloat();
        r_.readFloats(mat.specular, 3);
        r_.readFloats(mat.emissive, 3);
        ItemHeader h;
        for (;;) {
            const Item item = r_.nextItem(h);
            if (item == Item::End)
                Fail(h.offset, "unexpected end of file inside a Material");
            if (item == Item::Close)
                return;
            if (item == Item::Object) {
                if (EqualsNoCase(h.type, "TextureFilename")) {
                    mat.textureFilename = r_.readString();
                    skipChildren("TextureFilename");
                } else {
                    r_.skipBody();
                }
            }
        }
    }

    // Appends a parsed mesh: positions moved by the frames, faces fanned into triangles, materials appended.
    void addMesh(RawMesh& m, const Mat4& world) {
        if (m.vertexCount == 0)
            return;
        const std::size_t base = m.base;
        for (std::size_t i = 0; i < m.copySources.size(); ++i) // copies made before the texture coordinates came
            std::memcpy(b_.vertices[base + m.vertexCount + i].uv, b_.vertices[base + m.copySources[i]].uv,
                        sizeof(XVertex::uv));
        if (!world.identity)
            transform(base, world, m.hasNormals);

        const auto materialBase = static_cast<std::uint32_t>(b_.materials.size());
        if (m.hasMaterialList) {
            b_.anyMaterialList = true;
            for (XMaterial& mat : m.materials)
                b_.materials.push_back(std::move(mat));
        } else {
            b_.materials.emplace_back(); // the default material, for this mesh's faces alone
            m.faceMaterials.assign(m.faceCount, 0);
        }
        const auto offsetIndex = static_cast<std::uint32_t>(base);
        if (b_.triangleMaterial.empty() && m.allTriangles) {
            // The usual case: the faces are the triangles; take them over.
            b_.triangles = std::move(m.faceIndices);
            b_.triangleMaterial = std::move(m.faceMaterials);
            if (offsetIndex)
                for (std::uint32_t& i : b_.triangles)
                    i += offsetIndex;
            if (materialBase)
                for (std::uint32_t& i : b_.triangleMaterial)
                    i += materialBase;
            return;
        }
        const std::size_t firstTriangle = b_.triangleMaterial.size();
        b_.triangles.resize((firstTriangle + m.triangleCount) * 3);
        b_.triangleMaterial.resize(firstTriangle + m.triangleCount);
        std::uint32_t* tri = b_.triangles.data() + firstTriangle * 3;
        std::uint32_t* mat = b_.triangleMaterial.data() + firstTriangle;
        const std::uint32_t* corner = m.faceIndices.data();
        for (std::uint32_t f = 0; f < m.faceCount; ++f) {
            const std::uint32_t n = m.sizeOf(f);
            const std::uint32_t material = materialBase + m.faceMaterials[f];
            const std::uint32_t v0 = corner[0] + offsetIndex;
            for (std::uint32_t k = 1; k + 1 < n; ++k) {
                *tri++ = v0;
                *tri++ = corner[k] + offsetIndex;
                *tri++ = corner[k + 1] + offsetIndex;
                *mat++ = material;
            }
            corner += n;
        }
    }

    void transform(std::size_t base, const Mat4& w, bool normals) {
        const float* a = w.m;
        // Normals go through the inverse transpose of the 3x3 part: its cofactor matrix, signed by the determinant.
        float cof[9] = {a[5] * a[10] - a[6] * a[9], a[6] * a[8] - a[4] * a[10], a[4] * a[9] - a[5] * a[8],
                        a[2] * a[9] - a[1] * a[10], a[0] * a[10] - a[2] * a[8], a[1] * a[8] - a[0] * a[9],
                        a[1] * a[6] - a[2] * a[5], a[2] * a[4] - a[0] * a[6], a[0] * a[5] - a[1] * a[4]};
        const float det = a[0] * cof[0] + a[1] * cof[1] + a[2] * cof[2];
        if (det < 0)
            for (float& x : cof)
                x = -x;
        for (std::size_t i = base; i < b_.vertices.size(); ++i) {
            float* p = b_.vertices[i].position;
            const float x = p[0], y = p[1], z = p[2];
            p[0] = x * a[0] + y * a[4] + z * a[8] + a[12];
            p[1] = x * a[1] + y * a[5] + z * a[9] + a[13];
            p[2] = x * a[2] + y * a[6] + z * a[10] + a[14];
            if (normals) {
                float* n = b_.vertices[i].normal;
                const float nx = n[0], ny = n[1], nz = n[2];
                n[0] = nx * cof[0] + ny * cof[3] + nz * cof[6];
                n[1] = nx * cof[1] + ny * cof[4] + nz * cof[7];
                n[2] = nx * cof[2] + ny * cof[5] + nz * cof[8];
                Normalize(n);
            }
        }
    }

    Reader& r_;
    Build& b_;
};

// Groups the triangles by material (stable), one subset per material.
void Finish(Build& b, XMesh& mesh, std::size_t endOffset) {
    if (b.vertices.empty())
        Fail(endOffset, "the file holds no mesh with vertices");
    if (!b.anyMaterialList) {
        b.materials.assign(1, XMaterial{});
        std::fill(b.triangleMaterial.begin(), b.triangleMaterial.end(), 0u);
    }
    const std::size_t materialCount = b.materials.size();
    const bool sorted = std::is_sorted(b.triangleMaterial.begin(), b.triangleMaterial.end());
    std::vector<std::uint32_t> counts(materialCount, 0);
    for (std::uint32_t m : b.triangleMaterial)
        ++counts[m];
    mesh.subsets.resize(materialCount);
    std::vector<std::uint32_t> cursor(materialCount);
    std::uint32_t first = 0;
    for (std::size_t m = 0; m < materialCount; ++m) {
        mesh.subsets[m] = XSubset{first * 3, counts[m]};
        cursor[m] = first;
        first += counts[m];
    }
    if (sorted) { // one material, or faces already grouped
        mesh.indices = std::move(b.triangles);
    } else {
        mesh.indices.resize(b.triangles.size());
        for (std::size_t t = 0; t < b.triangleMaterial.size(); ++t) {
            const std::uint32_t slot = cursor[b.triangleMaterial[t]]++;
            std::memcpy(&mesh.indices[std::size_t{slot} * 3], &b.triangles[t * 3], 3 * sizeof(std::uint32_t));
        }
    }
    mesh.vertices = std::move(b.vertices);
    mesh.materials = std::move(b.materials);
}

int LineAt(const std::uint8_t* begin, std::size_t offset, std::size_t size) {
    offset = std::min(offset, size);
    return 1 + static_cast<int>(std::count(begin, begin + offset, '\n'));
}

} // namespace
} // namespace xfile_detail

std::string XLoadError::describe() const {
    return (line > 0 ? "line " + std::to_string(line) : "byte " + std::to_string(offset)) + ": " + reason;
}

bool LoadXFileFromMemory(const std::uint8_t* data, std::size_t size, XMesh& mesh, XLoadError& error) {
    using namespace xfile_detail;
    mesh = XMesh{};
    error = XLoadError{};
    std::vector<std::uint8_t> inflated;
    const std::uint8_t* begin = data;
    std::size_t length = size;
    bool text = false;
    bool decoded = false;
    try {
        if (size < 16)
            Fail(0, "the file is shorter than the 16-byte .x header");
        const std::string_view header(reinterpret_cast<const char*>(data), 16);
        if (header.substr(0, 4) != "xof ")
            Fail(0, "the file does not start with \"xof \"");
        if (header.substr(4, 4) != "0302" && header.substr(4, 4) != "0303")
            Fail(4, "unsupported version \"" + std::string(header.substr(4, 4)) + "\"");
        const std::string_view format = header.substr(8, 4);
        const bool compressed = format == "tzip" || format == "bzip";
        text = format == "txt " || format == "tzip";
        if (!text && format != "bin " && format != "bzip")
            Fail(8, "unknown format \"" + std::string(format) + "\"");
        const std::string_view floatSize = header.substr(12, 4);
        if (floatSize != "0032" && floatSize != "0064")
            Fail(12, "unsupported float size \"" + std::string(floatSize) + "\"");
        if (compressed) {
            InflateMsZip(data, size, inflated);
            begin = inflated.data();
            length = inflated.size();
        }
        decoded = true;
        Build build;
        if (text) {
            TextReader reader(begin, begin + 16, begin + length);
            Parser<TextReader>(reader, build).parseFile();
        } else {
            BinaryReader reader(begin, begin + 16, begin + length, floatSize == "0064");
            Parser<BinaryReader>(reader, build).parseFile();
        }
        Finish(build, mesh, length);
        return true;
    } catch (const XFail& f) {
        error.offset = f.offset;
        error.line = text && decoded ? LineAt(begin, f.offset, length) : 0;
        error.reason = f.reason;
    } catch (const std::bad_alloc&) {
        error.reason = "not enough memory to load the file";
    }
    mesh = XMesh{};
    return false;
}

bool LoadXFile(std::string_view ansiPath, XMesh& mesh, XLoadError& error) {
    ReadResult file = ReadWholeFile(ansiPath);
    if (file.failure != ReadFailure::None) {
        mesh = XMesh{};
        error = XLoadError{};
        error.reason = "the file cannot be read: " + file.reason;
        return false;
    }
    return LoadXFileFromMemory(file.bytes.data(), file.bytes.size(), mesh, error);
}
