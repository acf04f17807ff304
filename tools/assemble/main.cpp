// kxrender-assemble: joins the region files that runs of kxrender --region
// wrote into the whole image, after checking that they are regions of one
// image and tile it exactly.
//
//   kxrender-assemble [-o IMAGE] REGION_FILE...
//
// The image is written under IMAGE, in the format its name ends in (".ppm"
// or ".png", in any case; another name is refused before anything is read),
// by default under the first region file's name without its ".region-..."
// ending, in the format the regions were rendered for, so
// frame0007.ppm.region-0-0-640-120 and its companions give frame0007.ppm.
// Nothing is written when the regions do not fit together.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/printable.h"
#include "core/version.h"
#include "display/region_file.h"

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "kxrender-assemble: %s\n", message.c_str());
    return 1;
}

// The format that a file name says: "ppm", "png", or "" for neither.
std::string FormatOf(const std::string& name) {
    const size_t slash = name.rfind('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    for (const char* format : {"ppm", "png"})
        if (base.size() > 4 && base[base.size() - 4] == '.' && strcasecmp(base.c_str() + base.size() - 3, format) == 0)
            return format;
    return "";
}

int Usage() {
    std::fprintf(stderr, "Usage: kxrender-assemble [-o image] region_file...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string output;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") == 0) {
            if (i + 1 >= argc || !output.empty()) return Usage();
            output = argv[++i];
        } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            Usage();
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kxrender-assemble %s\n", kx::Version());
            return 0;
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.empty()) return Usage();
    std::string format;
    if (!output.empty()) {
        format = FormatOf(output);
        if (format.empty()) {
            Fail("cannot write " + kx::PrintableName(output) + ": only .ppm and .png images are written");
            return 2;
        }
    }

    std::vector<kx::RegionFile> regions(paths.size());
    std::string error;
    for (size_t i = 0; i < paths.size(); ++i)
        if (!kx::ReadRegionFile(paths[i], regions[i], error)) return Fail(error);
    kx::FrameBuffer image;
    if (!kx::AssembleRegions(regions, image, error)) return Fail(error);
    if (output.empty()) {
        // The first file's name is "<image>.region-X0-Y0-X1-Y1".
        const std::string& first = paths.front();
        size_t cut = first.rfind(".region-");
        size_t slash = first.rfind('/');
        if (cut == std::string::npos || (slash != std::string::npos && cut < slash))
            return Fail(first + " is not named <image>.region-X0-Y0-X1-Y1: name the image with -o");
        output = first.substr(0, cut);
    }
    if (format.empty()) format = regions.front().format;
    // WriteWholeFile has said why on the error stream.
    return kx::WriteAssembledImage(output, format, image) == 0 ? 0 : 1;
}
