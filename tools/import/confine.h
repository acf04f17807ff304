// The files a model may read: the library opens every file through this
// file system, which lets a model read only regular files in or below its
// own folder (after `..`, `\` and symbolic links are resolved), and a model
// read from standard input or memory no other file at all. A refused file
// is remembered; the import then ends with that refusal, whatever the
// library made of the missing file.
#pragma once

#include <assimp/IOSystem.hpp>
#include <string>

namespace kx {

class ConfinedFiles : public Assimp::IOSystem {
public:
    // model: the model's path as given to the library; it is the one file
    // whose own location is not checked (the user named it). Empty for a
    // model read from memory: then every file is refused; fromStandardInput
    // says which kind of memory the refusal names.
    explicit ConfinedFiles(const std::string& model, bool fromStandardInput = false);

    bool Exists(const char* file) const override;
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* file, const char* mode = "rb") override;
    void Close(Assimp::IOStream* stream) override;

    // The first refusal as a message ("" when none): what was asked for,
    // relative to the model's folder when it was asked for that way.
    const std::string& refusal() const { return refusal_; }

private:
    enum class Verdict { Allowed, Missing, Refused };
    // Whether file may be read; the path to open when allowed (resolved).
    Verdict Judge(const std::string& file, std::string& resolved) const;
    void Refuse(const std::string& file, const std::string& why) const;

    std::string model_;       // as given
    std::string shownFrom_;   // the model's folder as given, left off names
    std::string folderLex_;   // the folder as an absolute path, `..` resolved by name
    std::string folderReal_;  // the same with symbolic links resolved
    bool memory_;
    bool standardInput_;
    mutable std::string refusal_;
};

}  // namespace kx
