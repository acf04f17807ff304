// Texture files named by a model, found where a user would expect them but
// only in or below the model's own folder; and the files the importer writes
// beside its scene (embedded textures as PNG, short links to long paths),
// named after the model, never over a file it did not write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kx {

// The model's folder as the texture search sees it.
class TextureFolder {
public:
    // modelPath as given ("-" for standard input: the current folder).
    explicit TextureFolder(const std::string& modelPath);

    struct Found {
        std::string real;   // symbolic links resolved; in or below the model's folder; "" when not found
        std::string shown;  // the model's folder as given and the parts found: "models/Wall.jpg"
    };
    // Finds the file a material names: as written, relative to the model's
    // folder; `\` taken as '/'; each part of the name matched without regard
    // to case where the exact one is missing; then the name's last parts, the
    // base name last, in the model's folder (which finds Windows paths such as
    // `D:/art/wall.jpg` and names that lead outside the folder). A file
    // outside the folder (also through a link) is never taken; when none is
    // found, why says so, with the folders looked in and the system's reason
    // ("not found (looked in models: No such file or directory)", ...).
    Found Find(const std::string& given, std::string& why) const;

private:
    bool Inside(const std::string& path, std::string& real) const;
    bool Usable(const std::string& path, std::string& real, std::string& refusal, int& error) const;
    bool Walk(const std::vector<std::string>& parts, size_t from, Found& found, std::string& refusal,
              int& error) const;

    std::string shown_;   // the model's folder as given, ending in '/'; "" for the current one
    std::string folder_;  // the same, "./" for the current one
    std::string real_;    // the same with links resolved, no final '/'; "" when it cannot be resolved
};

// Where the files written beside the scene go, and how the scene names
// files so that the renderer finds them.
class OutputFolder {
public:
    // output: the scene file ("" for standard output: the current folder);
    // stem: the model's name without its extension, for the files' names.
    OutputFolder(const std::string& output, const std::string& stem);

    // The name under which the scene gives a file found as `shown` (from
    // the current folder) with real path `real`. For standard output, shown
    // itself; for an output file, the path from the output's folder when the
    // file lies in or below it, else an absolute path (from the current
    // folder, "." and ".." taken by name), so that the renderer finds it from
    // any folder.
    std::string SceneName(const std::string& real, const std::string& shown) const;

    // Writes bytes as "<stem>_<tag>.<ext>" in the output's folder (a
    // temporary file renamed), or takes an existing file of that name with
    // exactly these bytes; a name held by another file is left alone and
    // "<stem>_<tag>-2.<ext>" and so on tried. Returns the file's scene name,
    // or "" with why set.
    std::string WriteFile(const std::string& tag, const std::string& ext, const std::string& bytes,
                          std::string& why) const;
    // A symbolic link "<stem>_<tag>.<ext>" to target (an absolute path), or
    // an existing one to the same target; names as for WriteFile.
    std::string Link(const std::string& tag, const std::string& ext, const std::string& target,
                     std::string& why) const;

private:
    bool given_ = false;  // an output file (not standard output)
    std::string folder_;  // "" or ending in '/'
    std::string real_;    // resolved, no final '/'
    std::string stem_;
};

// The bytes of an 8-bit RGB PNG of width x height pixels, rows top
// first (rgb holds width * height * 3 bytes); "" when libpng fails.
std::string EncodePng(int width, int height, const uint8_t* rgb);

}  // namespace kx
