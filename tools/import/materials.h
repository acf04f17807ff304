// A model's materials as kx commands: colour, reflection and surface, and
// the texture maps the renderer can read. A texture it cannot read (or
// cannot find in the model's folder) is left out with one warning, and its
// material keeps its colour; the scene written always reads back.
#pragma once

#include <cstdio>
#include <string>
#include <unordered_map>

#include "import.h"
#include "textures.h"

struct aiScene;
struct aiTexture;

namespace kx {

struct MaterialText {
    std::string commands;  // Color ... Surface, ending in a newline
    bool named = false;    // the model's own material (not the library's default)
    std::string name;
};

// The materials of one model, written in the order asked; each texture file
// loaded once, at most as many as a scene's map list holds.
class Materials {
public:
    Materials(const aiScene* scene, const std::string& modelPath, const ImportOptions& options, std::FILE* err);
    MaterialText Text(unsigned index);

private:
    struct Texture {
        std::string file;      // as the scene names it
        std::string label;     // "" when left out
        bool loaded = false;   // its MapLoad written
    };
    // The texture a material names, found, checked and given a label; or
    // left out with a warning.
    Texture& Find(const std::string& given, const std::string& material);
    bool FromFile(const std::string& given, Texture& out, std::string& why);
    bool FromModel(const aiTexture& texture, int index, Texture& out, std::string& why);
    bool Room(std::string& why) const;
    void Label(const std::string& key, Texture& out);

    const aiScene* scene_;
    std::string modelPath_;
    std::FILE* err_;
    bool textureFiles_;
    TextureFolder folder_;
    OutputFolder output_;
    std::string labelStem_;
    std::unordered_map<std::string, Texture> textures_;  // by the name the model gives
    std::unordered_map<std::string, Texture> files_;     // by real path, or "*<index>" when stored inside
    int maps_ = 0;
    int links_ = 0;
    bool mirrorNoted_ = false;
};

}  // namespace kx
