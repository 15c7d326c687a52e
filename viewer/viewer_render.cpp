// The viewer's frame: the turning model and the overlay.
#include "viewer.h"

#include "gamedir.h"
#include "sys.h"

#include <clocale>
#include <cstdlib>
#include <locale.h>

double GetScaleValue(std::string_view text) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string s(text); // up to the first zero, as the C string the conversion reads
    return strtod_l(s.c_str(), nullptr, cLocale);
}

void InitialiseWorldMatrix() {
    const float angle = static_cast<float>(GetClockMs()) / 2500.0f;
    const GfxMatrix rotation = MatrixRotationZ(angle);
    const float factor = static_cast<float>(GetScaleValue(gsvScale)) * 2.0f;
    const GfxMatrix scaling = MatrixScaling(factor, factor, factor);
    SetWorldTransform(g_pDX9Device, MatrixMultiply(scaling, rotation));
}

void WriteXFileName() {
    if (!g_pDX9Device || !g_pFont) return;
    const int width = g_pRenderWindow ? g_pRenderWindow->clientWidth : GetTargetWidth(g_pDX9Device);
    const int height = g_pRenderWindow ? g_pRenderWindow->clientHeight : GetTargetHeight(g_pDX9Device);
    auto line = [&](int n, const std::string& text, std::uint32_t color) {
        DrawText(g_pDX9Device, g_pFont, text, GfxRect{10, height - n, width, height}, color);
    };
    line(100, std::to_string(static_cast<int>(g_dwNumMaterials)) + " " + LoadStringA(40019), kOverlayTextColor);
    line(80, std::to_string(static_cast<int>(GetMeshFaceCount(g_pMesh))) + " " + LoadStringA(40012),
         kOverlayTextColor);
    line(60, std::to_string(static_cast<int>(GetMeshVertexCount(g_pMesh))) + " " + LoadStringA(40018),
         kOverlayTextColor);
    if (isVekDir) line(40, VekDir, kOverlayTextColor);
    else line(40, LoadStringA(40001), kWarningTextColor);
    line(20, szFileName, kOverlayTextColor);
}

void RenderDX9() {
    GfxDevice* d = g_pDX9Device;
    if (!d) return;
    ClearTarget(d, kBackgroundColor, 1.0f);
    BeginScene(d);
    SetRenderState(d, GfxState::ZEnable, 1);
    SetRenderState(d, GfxState::CullMode, 1);
    SetRenderState(d, GfxState::AlphaTestEnable, 1);
    SetRenderState(d, GfxState::AlphaBlendEnable, 1);
    SetRenderState(d, GfxState::AlphaRef, 1);
    SetRenderState(d, GfxState::AlphaFunc, kCmpGreaterEqual);
    SetRenderState(d, GfxState::SrcBlend, kBlendSrcAlpha);
    SetRenderState(d, GfxState::DestBlend, kBlendInvSrcAlpha);
    InitialiseWorldMatrix();
    const float eye[3] = {ZoomFactor, 0.0f, 0.0f}, at[3] = {0.0f, 0.0f, 0.0f}, up[3] = {0.0f, 0.0f, 1.0f};
    SetViewTransform(d, MatrixLookAtRH(eye, at, up));
    SetProjectionTransform(d, MatrixPerspectiveFovRH(0.7853982f, 1.0f, 1.0f, 5000.0f));
    // With the eye on the target there is no direction to look in: the model is left out of this frame.
    if (ZoomFactor != 0.0f) {
        const std::size_t count = std::min<std::size_t>({g_dwNumMaterials, g_pMeshMaterials.size(),
                                                          g_pMeshTextures.size()});
        for (std::size_t i = 0; i < count; ++i) {
            SetMaterial(d, g_pMeshMaterials[i]);
            SetTexture(d, g_pMeshTextures[i]);
            DrawSubset(d, g_pMesh, static_cast<std::uint32_t>(i));
        }
    }
    WriteXFileName();
    EndScene(d);
    SetRenderState(d, GfxState::AlphaBlendEnable, 0);
    SetRenderState(d, GfxState::AlphaTestEnable, 0);
    Present(d);
}
