// The viewer's device and overlay font.
#include "viewer.h"

#include "sys.h"

GfxDevice* g_pDX9Device = nullptr; // the render device; see viewer.h
GfxFont* g_pFont = nullptr;        // the overlay font; see viewer.h
GfxWindow* g_pRenderWindow = nullptr; // the render area devices are made for; see viewer.h

int InitialiseDX9(GfxWindow* hWnd) {
    if (g_pDX9Device) {
        ReleaseDevice(g_pDX9Device);
        g_pDX9Device = nullptr;
    }
    if (!hWnd) return kViewerFail; // nothing to draw into: no runtime to speak of, no message
    // CreateDevice asks for the system's GL driver first and for Mesa's software rasterizer second.
    g_pDX9Device = CreateDevice(*hWnd);
    if (!g_pDX9Device) {
        ShowMessage(kNoDeviceText, kNoDeviceCaption, MsgIcon::Stop);
        return kViewerFail;
    }
    SetRenderState(g_pDX9Device, GfxState::Ambient, 0xFFFFFFFFu);
    return 1;
}

void InitialiseFont() {
    if (g_pFont) {
        ReleaseFont(g_pFont);
        g_pFont = nullptr;
    }
    g_pFont = CreateFont(g_pDX9Device, 20, 600, "Arial");
}

void ReleaseViewer() {
    ReleaseDX9Objects();
    ReleaseDevice(g_pDX9Device);
    g_pDX9Device = nullptr;
    ReleaseFont(g_pFont);
    g_pFont = nullptr;
}
