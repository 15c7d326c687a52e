// The graphics device of the viewer on OpenGL 3.3 core: a context with its render target (a window's default
// framebuffer, or an offscreen framebuffer on a surfaceless EGL context), the fixed-function states the viewer
// uses, transforms in row-vector form, materials, textures on stage 0, meshes with their subsets, the overlay font,
// and the millisecond clock.
//
// A device on a window's context (shared with the UI toolkit) saves the GL state it changes at the first call of
// a frame and restores it at EndScene and after Present.
//
// All functions run on the thread that owns the context. Objects made on a device (mesh, texture, font) remember
// the GL context they live in; releasing them after their device is gone only frees their memory, since the GL
// names went away with the context.
#pragma once

#include "xfile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------------------------------------------
// Plain records

// A 4x4 matrix for row vectors (v' = v * M), stored row by row: m[4 * row + col].
struct GfxMatrix {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

// Red, green, blue, alpha in [0, 1] (values outside are clamped when used).
struct GfxColor {
    float r = 0, g = 0, b = 0, a = 0;
};

// The colours of a subset under the fixed-function lighting model.
struct GfxMaterial {
    GfxColor diffuse;
    GfxColor ambient;
    GfxColor specular;
    GfxColor emissive;
    float power = 0;
};

// Pixel rectangle of the render target: x to the right, y downwards, (0, 0) the top left corner.
struct GfxRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The render states the viewer sets, with the numbers and values of the original platform's state table.
enum class GfxState : std::uint32_t {
    ZEnable = 7,           // 0 off, 1 depth test (less-or-equal) and depth writes
    SrcBlend = 19,         // GfxBlend
    DestBlend = 20,        // GfxBlend
    CullMode = 22,         // 1 none, 2 clockwise, 3 counter-clockwise (as seen on screen)
    AlphaRef = 24,         // 0..255
    AlphaFunc = 25,        // GfxCompare
    AlphaTestEnable = 15,  // 0 / 1
    AlphaBlendEnable = 27, // 0 / 1
    Lighting = 137,        // 0 / 1; 1 at creation
    Ambient = 139,         // global ambient colour, 0xAARRGGBB
};

enum GfxBlend : std::uint32_t {
    kBlendZero = 1, kBlendOne = 2, kBlendSrcColor = 3, kBlendInvSrcColor = 4, kBlendSrcAlpha = 5,
    kBlendInvSrcAlpha = 6, kBlendDestAlpha = 7, kBlendInvDestAlpha = 8, kBlendDestColor = 9, kBlendInvDestColor = 10,
};

enum GfxCompare : std::uint32_t {
    kCmpNever = 1, kCmpLess = 2, kCmpEqual = 3, kCmpLessEqual = 4, kCmpGreater = 5, kCmpNotEqual = 6,
    kCmpGreaterEqual = 7, kCmpAlways = 8,
};

// A window's GL context, supplied by the UI layer. A device made on it draws into a back buffer of the window's
// client size at the device's creation; Present stretches that buffer over the window's framebuffer at the
// window's current size, then lets the UI layer show it.
struct GfxWindowContext {
    std::function<bool()> makeCurrent;            // makes the window's context current; false when it cannot
    std::function<void()> present;                // shows the finished frame (swaps buffers)
    std::function<std::uint32_t()> framebuffer;   // the GL framebuffer that stands for the window (empty: 0)
    std::function<void(int& width, int& height)> size; // the window's current client size in pixels
    std::uintptr_t contextKey = 0; // identifies the context (for example the address of the toolkit's object)
};

// What a device draws into: a window (context given) or, without one, an offscreen framebuffer of the size.
struct GfxWindow {
    int clientWidth = 640;
    int clientHeight = 480;
    GfxWindowContext* context = nullptr; // null: offscreen (EGL surfaceless context + framebuffer object)
};

enum class GfxDeviceKind { Hardware, Software, Window };

// The device: one GL context and its target, the programs the viewer draws with, and the states set through it.
// Owned by the caller of CreateDevice; given up with ReleaseDevice.
struct GfxDevice;
// A mesh in GPU buffers with its subsets and counts; the material list stays with the caller.
struct GfxMesh;
// A 2D texture (RGBA8, one level).
struct GfxTexture;
// A font with its glyph atlas.
struct GfxFont;

// ---------------------------------------------------------------------------------------------------------------
// device.cpp

// Creates a device for the window: on its context when it has one, else offscreen on a surfaceless EGL context of
// the system's driver, else of Mesa's software rasterizer. Null when no context can be had; `why` then says why.
GfxDevice* CreateDevice(const GfxWindow& window, std::string* why = nullptr);
void ReleaseDevice(GfxDevice* device);
// Tests of the fallback: while set, the system's driver is not asked, only the software rasterizer.
void SetHardwareDeviceDisabled(bool disabled);
GfxDeviceKind GetDeviceKind(const GfxDevice* device);
std::string GetDeviceRenderer(const GfxDevice* device); // the GL renderer string
int GetTargetWidth(const GfxDevice* device);
int GetTargetHeight(const GfxDevice* device);

void ClearTarget(GfxDevice* device, std::uint32_t argb, float depth); // whole target and depth buffer
void BeginScene(GfxDevice* device);
void EndScene(GfxDevice* device);
void Present(GfxDevice* device); // window: stretches the frame over it and shows it; offscreen: waits for it
void SetRenderState(GfxDevice* device, GfxState state, std::uint32_t value);
std::uint32_t GetRenderState(const GfxDevice* device, GfxState state);
void SetWorldTransform(GfxDevice* device, const GfxMatrix& m);
void SetViewTransform(GfxDevice* device, const GfxMatrix& m);
void SetProjectionTransform(GfxDevice* device, const GfxMatrix& m);
void SetMaterial(GfxDevice* device, const GfxMaterial& material);
void SetTexture(GfxDevice* device, const GfxTexture* texture); // stage 0; null for none

// Reads the back buffer: width * height * 4 bytes, rows top to bottom, RGBA.
std::vector<std::uint8_t> ReadTargetPixels(GfxDevice* device);

// Meshes: uploads the vertices and indices of `mesh` (in system memory it stays with the caller). Null when an
// index or a subset lies outside the mesh's arrays, or the GL has no memory for it.
GfxMesh* CreateMesh(GfxDevice* device, const XMesh& mesh);
void DrawSubset(GfxDevice* device, const GfxMesh* mesh, std::uint32_t subset);
std::uint32_t GetMeshFaceCount(const GfxMesh* mesh);
std::uint32_t GetMeshVertexCount(const GfxMesh* mesh);
std::uint32_t GetMeshSubsetCount(const GfxMesh* mesh);
void ReleaseMesh(GfxMesh* mesh);

// Textures from decoded RGBA rows (top row first: texture coordinate (0, 0) is the first texel of the first row).
// Sampling as the original platform's default: nearest texel, no mip levels, wrapping.
GfxTexture* CreateTexture(GfxDevice* device, std::uint32_t width, std::uint32_t height,
                          const std::uint8_t* rgba);
void ReleaseTexture(GfxTexture* texture);

// The draw of a subset without any state of the device (benchmarks compare against it): binds the mesh's vertex
// array and issues the one draw call.
void DrawSubsetBare(const GfxMesh* mesh, std::uint32_t subset);

// ---------------------------------------------------------------------------------------------------------------
// gfx_files.cpp: objects from files (paths are ANSI and pass through the case-insensitive resolver)

// Loads an .x file into a mesh with its material list. Null on failure, with `error` filled.
GfxMesh* CreateMeshFromX(GfxDevice* device, std::string_view ansiPath, std::vector<XMaterial>& materials,
                         XLoadError& error);
// Loads a DDS or bitmap file into a texture. Null on failure, with `error` set to one sentence.
GfxTexture* CreateTextureFromFile(GfxDevice* device, std::string_view ansiPath, std::string& error);

// ---------------------------------------------------------------------------------------------------------------
// font.cpp

// A font of the family (matched by the system's font configuration) with the cell height in pixels (ascent plus
// descent, as the original platform's font height) and the weight (400 normal, 700 bold). Antialiased. Null when
// no font file can be found or read.
GfxFont* CreateFont(GfxDevice* device, int height, int weight, std::string_view faceName);
// Draws the 8-bit (Windows-1252) text from the rectangle's top left corner in the colour (0xAARRGGBB), not
// clipped to the rectangle, over what is drawn. Leaves the device's states as they were.
void DrawText(GfxDevice* device, GfxFont* font, std::string_view ansiText, const GfxRect& rect, std::uint32_t argb);
// The width in pixels that DrawText advances over the text.
int GetTextWidth(const GfxFont* font, std::string_view ansiText);
std::string GetFontFile(const GfxFont* font); // the file the font was read from
void ReleaseFont(GfxFont* font);

// ---------------------------------------------------------------------------------------------------------------
// gfx_matrix.cpp: the matrix helpers, with the original platform's right-handed definitions (row vectors)

GfxMatrix MatrixMultiply(const GfxMatrix& a, const GfxMatrix& b); // a then b
GfxMatrix MatrixRotationZ(float angle);                           // +X turns towards +Y
GfxMatrix MatrixScaling(float sx, float sy, float sz);
GfxMatrix MatrixLookAtRH(const float eye[3], const float at[3], const float up[3]);
// Depth maps to [0, 1] between the near and the far plane, as on the original platform; the device maps it to
// GL's range when it draws.
GfxMatrix MatrixPerspectiveFovRH(float fovY, float aspect, float zNear, float zFar);
// A point through a matrix (with the division by w).
void TransformCoord(const GfxMatrix& m, const float in[3], float out[3]);

// ---------------------------------------------------------------------------------------------------------------
// gfx_clock.cpp

// The millisecond clock of the frames: milliseconds since the system started, wrapping at 2^32; or, while a fixed
// value is set, that value (headless renders of a given moment).
std::uint32_t GetClockMs();
void SetFixedClock(std::optional<std::uint32_t> ms);
