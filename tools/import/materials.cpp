#include "materials.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/errors.h"
#include "core/limits.h"
#include "import_text.h"
#include "surface/map_list.h"
#include "surface/texture_load.h"

namespace kx {

namespace {

// A kx string holds at most this many characters, as written (escapes
// counted), the closing quote included.
constexpr size_t kKxStringLimit = 300;
// Names from the model in labels and file names are cut to this length.
constexpr size_t kNameCut = 100;

const char* BorderName(aiTextureMapMode mode) {
    switch (mode) {
        case aiTextureMapMode_Clamp: return "clamp";
        case aiTextureMapMode_Decal: return "none";
        default: return "repeat";  // wrap, and mirror as near as kx maps come
    }
}

// A name from the model for a label or a file name: cut short, and with
// '_' for what a scene string would have to escape, so that it stays short
// in the scene.
std::string Plain(const std::string& name) {
    std::string out = name.substr(0, kNameCut);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '"' || c == '\\') c = '_';
    return out;
}

// The model's name without its folder and extension, for the names of the
// files written beside the scene.
std::string Stem(const std::string& modelPath) {
    if (modelPath == "-") return "model";
    std::string base = BaseName(modelPath);
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    if (base.empty() || base == "." || base == "..") base = "model";
    return Plain(base);
}

// A file's extension for a link to it: letters and digits only.
std::string LinkExtension(const std::string& file) {
    std::string ext = Extension(file);
    if (ext.empty() || ext.size() > 8 ||
        !std::all_of(ext.begin(), ext.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }))
        return "map";
    return ext;
}

std::string WhyNotMap(int rc) {
    if (rc == kErrMapFileNotFound) return "cannot be opened";
    if (rc == kErrMapFormat) return "not readable as a map: a format kxrender does not read, or a damaged file";
    return "not readable as a map: out of memory";
}

}  // namespace

Materials::Materials(const aiScene* scene, const std::string& modelPath, const ImportOptions& options,
                     std::FILE* err)
    : scene_(scene),
      modelPath_(modelPath),
      err_(err),
      textureFiles_(options.textureFiles),
      folder_(modelPath),
      output_(options.output, Stem(modelPath)),
      labelStem_(modelPath == "-" ? std::string("-") : Plain(BaseName(modelPath))) {}

bool Materials::Room(std::string& why) const {
    if (maps_ < MapList::kMaxMaps) return true;
    why = "more than " + std::to_string(MapList::kMaxMaps) + " texture files, the most a scene holds";
    return false;
}

// The next label, for the file known by key.
void Materials::Label(const std::string& key, Texture& out) {
    out.label = labelStem_ + "#" + std::to_string(++maps_);
    files_[key] = out;
}

// A texture file in the model's folder that the renderer reads, under a name
// the scene can hold.
bool Materials::FromFile(const std::string& given, Texture& out, std::string& why) {
    const TextureFolder::Found found = folder_.Find(given, why);
    const std::string& real = found.real;
    if (real.empty()) return false;
    if (const auto it = files_.find(real); it != files_.end()) {
        out = it->second;
        return true;
    }
    if (!Room(why)) return false;
    TextureMap map;
    int error = 0;
    const int rc = LoadTextureFile(real, "", map, &error);
    if (rc != kOk) {
        why = WhyNotMap(rc) + " (" + real + (error != 0 ? std::string(": ") + std::strerror(error) : "") + ")";
        return false;
    }
    out.file = output_.SceneName(real, found.shown);
    if (KxEscape(out.file).size() >= kKxStringLimit) {
        out.file = output_.Link("file" + std::to_string(++links_), LinkExtension(real), real, why);
        if (out.file.empty()) return false;
    }
    Label(real, out);
    return true;
}

// A texture stored in the model, written beside the scene as a PNG file.
bool Materials::FromModel(const aiTexture& texture, int index, Texture& out, std::string& why) {
    const std::string key = '*' + std::to_string(index);
    if (const auto it = files_.find(key); it != files_.end()) {
        out = it->second;
        return true;
    }
    if (!Room(why)) return false;
    std::vector<uint8_t> rgb;
    int width = 0, height = 0;
    if (texture.mHeight == 0) {
        // A whole image file in memory: read as the renderer reads its maps.
        if (!texture.pcData || texture.mWidth > kMaxMapFileBytes) {
            why = "stored inside the model, larger than a map file may be";
            return false;
        }
        TextureMap map;
        const int rc = ParseTextureData(reinterpret_cast<const uint8_t*>(texture.pcData), texture.mWidth, "", map);
        if (rc != kOk || map.levels.empty()) {
            std::string hint(texture.achFormatHint, strnlen(texture.achFormatHint, HINTMAXTEXTURELEN));
            why = "stored inside the model";
            if (!hint.empty()) why += " as \"" + hint + "\"";
            why += ", " + WhyNotMap(rc == kOk ? kErrMapFormat : rc);
            return false;
        }
        const TextureLevel& level = map.levels[0];
        width = level.width;
        height = level.height;
        rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
        // The map's rows run from the bottom up; the file's from the top.
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const size_t from = static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) + x;
                uint8_t* p = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 3];
                p[0] = level.red[from];
                p[1] = level.green[from];
                p[2] = level.blue[from];
            }
    } else {
        // Texels, blue, green, red and alpha, rows from the top.
        const uint64_t pixels = uint64_t{texture.mWidth} * texture.mHeight;
        if (!texture.pcData || texture.mWidth > (1u << 30) || texture.mHeight > (1u << 30) ||
            pixels > kMaxMapPixels) {
            why = "stored inside the model, larger than a map may be";
            return false;
        }
        width = static_cast<int>(texture.mWidth);
        height = static_cast<int>(texture.mHeight);
        rgb.resize(pixels * 3);
        for (uint64_t i = 0; i < pixels; ++i) {
            rgb[i * 3] = texture.pcData[i].r;
            rgb[i * 3 + 1] = texture.pcData[i].g;
            rgb[i * 3 + 2] = texture.pcData[i].b;
        }
    }
    const std::string png = EncodePng(width, height, rgb.data());
    if (png.empty()) {
        why = "stored inside the model, and cannot be written as PNG";
        return false;
    }
    out.file = output_.WriteFile(std::to_string(index), "png", png, why);
    if (out.file.empty()) return false;
    Label(key, out);
    return true;
}

Materials::Texture& Materials::Find(const std::string& given, const std::string& material) {
    const auto [it, added] = textures_.try_emplace(given);
    if (!added) return it->second;
    std::string why = "not found";
    const auto [stored, index] = scene_->GetEmbeddedTextureAndIndex(given.c_str());
    bool found = false;
    if (!textureFiles_)
        why = "no texture files for a model held in memory";
    else if (stored)
        found = FromModel(*stored, index, it->second, why);
    else if (given[0] == '*')
        why = "not found inside the model";
    else
        found = FromFile(given, it->second, why);
    if (!found) {
        it->second = Texture{};
        Warn(err_, modelPath_, "material \"" + material + "\": texture \"" + given + "\" left out: " + why);
    }
    return it->second;
}

MaterialText Materials::Text(unsigned index) {
    MaterialText t;
    if (index >= scene_->mNumMaterials) return t;
    const aiMaterial* m = scene_->mMaterials[index];
    aiString name;
    if (m->Get(AI_MATKEY_NAME, name) == AI_SUCCESS) t.name = name.C_Str();
    aiColor3D diffuse(1, 1, 1), specular(0, 0, 0);
    m->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
    aiString texture;
    aiTextureMapMode modes[3] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
    const bool hasTexture =
        m->GetTexture(aiTextureType_DIFFUSE, 0, &texture, nullptr, nullptr, nullptr, nullptr, modes) == AI_SUCCESS ||
        m->GetTexture(aiTextureType_BASE_COLOR, 0, &texture, nullptr, nullptr, nullptr, nullptr, modes) == AI_SUCCESS;
    // Files without materials (PLY, STL, OBJ without MTL) get the library's
    // default one, with no name or its own: nothing to say. An unnamed
    // material of the file's own still has a colour or a texture.
    t.named = t.name.empty() ? hasTexture || diffuse != aiColor3D(1, 1, 1)
                             : t.name != AI_DEFAULT_MATERIAL_NAME && t.name != "%%%DEFAULT";  // 3DS's own
    if (!t.named) return t;

    m->Get(AI_MATKEY_COLOR_SPECULAR, specular);
    // No exponent (or 0, which formats use for none): kxrender's own 10.
    float shininess = 0;
    m->Get(AI_MATKEY_SHININESS, shininess);
    if (!(shininess > 0)) shininess = 10;
    const float ks = std::max({specular.r, specular.g, specular.b, 0.0f});
    const int exponent = static_cast<int>(std::clamp(std::lround(std::min(shininess, 1e6f)), 1L, 10000L));

    std::string line = "Color";
    WriteNumber(line, diffuse.r);
    WriteNumber(line, diffuse.g);
    WriteNumber(line, diffuse.b);
    t.commands += line + "\nKd 1\nKs";
    line.clear();
    WriteNumber(line, ks);
    t.commands += line + "\nSpecular";
    line.clear();
    for (float c : {specular.r, specular.g, specular.b}) WriteNumber(line, ks > 0 ? c / ks : 1.0f);
    t.commands += line + " " + std::to_string(exponent) + "\n";

    const std::string given = hasTexture ? texture.C_Str() : "";
    Texture* map = given.empty() ? nullptr : &Find(given, t.name);
    if (map && !map->label.empty()) {
        if (!map->loaded) t.commands += "MapLoad \"" + KxEscape(map->file) + "\" \"" + KxEscape(map->label) + "\"\n";
        map->loaded = true;
        t.commands += "Map \"texture\" \"" + KxEscape(map->label) + "\"\n";
        t.commands += std::string("MapBorder \"texture\" \"") + BorderName(modes[0]) + "\" \"" +
                      BorderName(modes[1]) + "\"\n";
        if ((modes[0] == aiTextureMapMode_Mirror || modes[1] == aiTextureMapMode_Mirror) && !mirrorNoted_) {
            Warn(err_, modelPath_, "material \"" + t.name + "\": texture \"" + given +
                                       "\" mirrored at its edges, repeated instead (a map has no mirrored border)");
            mirrorNoted_ = true;
        }
    }
    t.commands += std::string("Surface \"") + (map && !map->label.empty() ? "painted plastic"
                                               : ks > 0                   ? "plastic"
                                                                          : "matte") +
                  "\"\n";
    return t;
}

}  // namespace kx
