// The 3D model viewer: the device and the overlay font, the mesh with its materials and textures and the model
// switch, and the frame with its overlay. One viewer per process: its state is the globals below, all used on
// the user-interface thread only.
#pragma once

#include "gfx.h"
#include "xfile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The failure result of the viewer's operations.
constexpr int kViewerFail = static_cast<int>(0x80004005u);

// Colours of the frame (0xAARRGGBB).
constexpr std::uint32_t kBackgroundColor = 0xFFD4D0C8u;  // the grey of the window background
constexpr std::uint32_t kOverlayTextColor = 0xFF007E4Eu; // dark green
constexpr std::uint32_t kWarningTextColor = 0xFFFF0000u; // the request to choose a game directory

// The message shown when no device at all can be created (fixed, not from the string table).
constexpr const char* kNoDeviceText = "Es konnte kein DirectX Device erstellt werden!\nFailed to create even the reference device!";
constexpr const char* kNoDeviceCaption = "Initialise DirectX 9";

// The default model, in "scenes/xfiles" of the program directory gVoxaDir.
constexpr const char* kDefaultModelName = "VekVoxa.x";

// ---------------------------------------------------------------------------------------------------------------
// viewer_device.cpp: device and font

// The render device of the main window; null until the first creation. Written by InitialiseDX9 and the model
// switch, released at the end of the main loop; read by everything that draws or loads.
extern GfxDevice* g_pDX9Device;
// The overlay font, made on the device current at its creation. Written by InitialiseFont and the model switch.
extern GfxFont* g_pFont;
// The main window's render area that devices are made for: its client size, and its GL context (none: an
// offscreen target of that size). Set by start-up (or the CLI) before the first device; read by InitialiseDX9
// through the model switch and by the overlay for its placement.
extern GfxWindow* g_pRenderWindow;

// Creates g_pDX9Device for the window (a device left from before is released first) and sets the white global
// ambient. Returns 1, or kViewerFail (after the fixed two-line message when no device can be had at all).
int InitialiseDX9(GfxWindow* hWnd);
// Creates g_pFont on g_pDX9Device: 20 pixels high, semi-bold, "Arial" (or the face the system substitutes).
void InitialiseFont();
// Releases what the viewer holds when the program ends: the model, then the device, then the font (all null
// afterwards).
void ReleaseViewer();

// ---------------------------------------------------------------------------------------------------------------
// viewer_mesh.cpp: mesh and materials, the model switch

// The loaded mesh (null when none). Written by LoadMeshFromX and ReleaseDX9Objects; read by RenderDX9.
extern GfxMesh* g_pMesh;
// Number of materials = number of subsets drawn (0 when no mesh). Written by LoadMeshFromX; read by the loaders
// and RenderDX9.
extern std::uint32_t g_dwNumMaterials;
// The material list of the last load, pending until LoadMaterialFromBuffer takes it over (then empty).
extern std::vector<XMaterial> g_DX9MtrlBuffer;
// Per-subset materials (ambient made equal to diffuse) and textures (null: untextured), g_dwNumMaterials each.
// Written by LoadMaterialFromBuffer, emptied by ReleaseDX9Objects; read by RenderDX9.
extern std::vector<GfxMaterial> g_pMeshMaterials;
extern std::vector<GfxTexture*> g_pMeshTextures;
// The most recently resolved texture path (a file path). Written by LoadMaterialFromBuffer.
extern std::string XTextureDir;
// The model's scale as decimal text ("0.5" at start). Written by the model switch; read by InitialiseWorldMatrix.
extern std::string gsvScale;
// The file name that the overlay shows ("VekVoxa.x" at start). Written by the model switch and the chooser.
extern std::string szFileName;
// The path of the X-file that the load command shows ("*.X" at start); the fallback writes the default name.
extern std::string szFile;
// The camera's X coordinate (-10 at start and after every model switch). Written by the switch and the zoom keys.
extern float ZoomFactor;

// Loads the .x file (relative to the current directory or absolute) into g_pMesh, g_DX9MtrlBuffer and
// g_dwNumMaterials. Returns 1, or kViewerFail after message 40017 (also without a device).
int LoadMeshFromX(std::string_view szXFile);
// Builds g_pMeshMaterials and g_pMeshTextures from g_DX9MtrlBuffer while the current directory is the X-file's:
// each texture name is resolved (GetTexturePath) and loaded; a missing one is reported (40015), and the materials
// without texture name are counted in one message (40016). Empties g_DX9MtrlBuffer.
void LoadMaterialFromBuffer();
// Gives up the textures, both arrays and the mesh. The device and the font stay.
void ReleaseDX9Objects();
// The texture file that a texture name of an .x file stands for: upper-cased, everything before "SCENES\" dropped
// and ".." put in front (relative to the X-file's directory, normally the game's "scenes\xfiles"), white space at
// both ends stripped, and every ".BMP" replaced by ".DDS". A name without "SCENES\" is taken as written,
// upper-cased and with ".BMP" replaced, relative to the X-file's directory.
std::string GetTexturePath(std::string_view textureName);
// The model switch: shows the X-file `xFileName` (relative to `xDir`, or absolute) at the scale text `scale`.
// Releases the model and the device, makes a new device for g_pRenderWindow, makes `xDir` current, loads the
// mesh (falling back to the default model when it cannot be loaded or `xDir` cannot be made current), its
// materials and textures, resets the zoom and makes the font anew.
void LoadModel(std::string_view xFileName, std::string_view scale, std::string_view xDir);

// ---------------------------------------------------------------------------------------------------------------
// viewer_render.cpp: the frame

// Draws and presents one frame: the model turning about Z, then the five-line overlay. Does nothing without a
// device; without a mesh only the overlay is drawn; with ZoomFactor exactly 0 (no camera direction) the model is
// left out of the frame.
void RenderDX9();
// Sets the world transform of the moment: scaling by twice the scale text's value, then the turn about Z by the
// clock's milliseconds / 2500 radians.
void InitialiseWorldMatrix();
// Draws the overlay lines (counts, game directory or the request for one, file name) in the lower left corner.
void WriteXFileName();
// The value of a decimal text as the C library's atof reads it in the C locale (leading white space skipped, the
// conversion stops at the first character that does not fit, 0 without a number), whatever the process locale.
double GetScaleValue(std::string_view text);
