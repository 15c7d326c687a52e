// The matrix helpers. Matrices are for row vectors and stored row by row; glm's matrices are for column vectors
// and stored column by column, so a glm matrix and its transpose in our form share the same 16 floats.
#include "gfx.h"

#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <cmath>
#include <cstring>

namespace {

GfxMatrix FromGlm(const glm::mat4& g) {
    GfxMatrix m;
    std::memcpy(m.m, glm::value_ptr(g), sizeof m.m);
    return m;
}

} // namespace

GfxMatrix MatrixMultiply(const GfxMatrix& a, const GfxMatrix& b) {
    GfxMatrix r;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a.m[4 * row + k] * b.m[4 * k + col];
            r.m[4 * row + col] = sum;
        }
    }
    return r;
}

GfxMatrix MatrixRotationZ(float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    GfxMatrix r;
    r.m[0] = c;
    r.m[1] = s;
    r.m[4] = -s;
    r.m[5] = c;
    return r;
}

GfxMatrix MatrixScaling(float sx, float sy, float sz) {
    GfxMatrix r;
    r.m[0] = sx;
    r.m[5] = sy;
    r.m[10] = sz;
    return r;
}

// Camera axes: z from the target to the eye, x = up x z, y = z x x; the rows of the rotation are the axes'
// components, the last row moves the eye to the origin.
GfxMatrix MatrixLookAtRH(const float eye[3], const float at[3], const float up[3]) {
    return FromGlm(glm::lookAtRH(glm::vec3(eye[0], eye[1], eye[2]), glm::vec3(at[0], at[1], at[2]),
                                 glm::vec3(up[0], up[1], up[2])));
}

// x and y scaled by cot(fovY / 2) (x divided by the aspect), z' = z * f / (n - f) + n * f / (n - f), w' = -z.
GfxMatrix MatrixPerspectiveFovRH(float fovY, float aspect, float zNear, float zFar) {
    return FromGlm(glm::perspectiveRH_ZO(fovY, aspect, zNear, zFar));
}

void TransformCoord(const GfxMatrix& m, const float in[3], float out[3]) {
    float v[4];
    for (int col = 0; col < 4; ++col)
        v[col] = in[0] * m.m[col] + in[1] * m.m[4 + col] + in[2] * m.m[8 + col] + m.m[12 + col];
    const float w = v[3] != 0 ? v[3] : 1.0f;
    out[0] = v[0] / w;
    out[1] = v[1] / w;
    out[2] = v[2] / w;
}
