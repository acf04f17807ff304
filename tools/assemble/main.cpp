// kxrender-assemble: joins the region files that runs of kxrender --region
// wrote into the whole image, after checking that they are regions of one
// image and tile it exactly.
//
//   kxrender-assemble [-o IMAGE] REGION_FILE...
//
// The image is written under IMAGE, by default under the first region file's
// name without its ".region-..." ending, so frame0007.ppm.region-0-0-640-120
// and its companions give frame0007.ppm. Nothing is written when the regions
// do not fit together.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "display/region_file.h"

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "kxrender-assemble: %s\n", message.c_str());
    return 1;
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
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.empty()) return Usage();

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
    // WriteWholeFile has said why on the error stream.
    return kx::WriteAssembledImage(output, regions.front().format, image) == 0 ? 0 : 1;
}
