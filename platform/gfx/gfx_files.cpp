// Graphics objects from files: meshes through our .x reader, textures through the image decoders.
#include "gfx.h"

#include "image.h"

GfxMesh* CreateMeshFromX(GfxDevice* device, std::string_view ansiPath, std::vector<XMaterial>& materials,
                         XLoadError& error) {
    materials.clear();
    if (!device) {
        error = XLoadError{0, 0, "no graphics device"};
        return nullptr;
    }
    XMesh mesh;
    if (!LoadXFile(ansiPath, mesh, error)) return nullptr;
    GfxMesh* m = CreateMesh(device, mesh);
    if (!m) {
        error = XLoadError{0, 0, "the mesh cannot be put on the graphics device"};
        return nullptr;
    }
    materials = std::move(mesh.materials);
    return m;
}

GfxTexture* CreateTextureFromFile(GfxDevice* device, std::string_view ansiPath, std::string& error) {
    if (!device) {
        error = "no graphics device";
        return nullptr;
    }
    Image image;
    if (!LoadImageFile(ansiPath, image, error)) return nullptr;
    GfxTexture* t = CreateTexture(device, image.width, image.height, image.rgba.data());
    if (!t) error = "the texture cannot be put on the graphics device";
    return t;
}
