// kxrender-assemble: joins the region files that runs of kxrender --region
// wrote into the whole image, after checking that they are regions of one
// image and tile it exactly.
//
//   kxrender-assemble [-o IMAGE] REGION_FILE...
//
// The image is written under IMAGE, by default under the first region
// file's name without its ".region-..." ending, in the format the regions
// were rendered for, so frame0007.ppm.region-0-0-640-120 and its companions
// give frame0007.ppm. Each file must be named after what its header says
// (the image's file name and the region's bounds), and IMAGE must end in
// that file name (or that name with the other ending, .ppm or .png, to
// write the other format): a file renamed, or an image assembled under
// another image's name, would put pixels where they do not belong. Nothing is
// written when the names or the regions do not fit together; the image is
// written into a temporary file beside it and renamed when complete.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/paths.h"
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
    const std::string base = kx::BaseName(name);
    for (const char* format : {"ppm", "png"})
        if (base.size() > 4 && base[base.size() - 4] == '.' && strcasecmp(base.c_str() + base.size() - 3, format) == 0)
            return format;
    return "";
}

// Whether an output path names the image the regions are of: its last
// component is the image's file name, or that name with its ".ppm" or ".png"
// ending changed (the other format of the same image, as -o may ask).
bool NamesImage(const std::string& output, const std::string& image) {
    const std::string base = kx::BaseName(output);
    if (base == image) return true;
    return !FormatOf(image).empty() && base.size() == image.size() &&
           base.compare(0, base.size() - 4, image, 0, image.size() - 4) == 0;
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
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!kx::ReadRegionFile(paths[i], regions[i], error)) return Fail(error);
        const kx::RegionFile& r = regions[i];
        const std::string named = kx::RegionFileName(r.image, r.region);
        if (kx::BaseName(paths[i]) != named)
            return Fail(kx::PrintableName(paths[i]) + " holds region " + std::to_string(r.region.x0) + " " +
                        std::to_string(r.region.y0) + " " + std::to_string(r.region.x1) + " " +
                        std::to_string(r.region.y1) + " of " + kx::PrintableName(r.image) + ": its name should be " +
                        kx::PrintableName(named));
    }
    kx::FrameBuffer image;
    if (!kx::AssembleRegions(regions, image, error)) return Fail(error);
    if (!output.empty() && !NamesImage(output, regions.front().image))
        return Fail("cannot write " + kx::PrintableName(output) + ": the regions are of " +
                    kx::PrintableName(regions.front().image));
    if (output.empty()) {
        // Beside the first file, which is named "<image>.region-X0-Y0-X1-Y1".
        const std::string& first = paths.front();
        output = first.substr(0, first.size() - kx::BaseName(first).size()) + regions.front().image;
    }
    if (format.empty()) format = regions.front().format;
    // WriteWholeFile has said why on the error stream.
    return kx::WriteAssembledImage(output, format, image) == 0 ? 0 : 1;
}
