// JPEG texture files (baseline and progressive) through libjpeg.
#include <csetjmp>
#include <cstdio>
#include <new>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "core/errors.h"
#include "core/limits.h"
#include "surface/texture_formats.h"
#include "surface/texture_rows.h"

namespace kx {

namespace {

// libjpeg's own working memory (a progressive image keeps every
// coefficient): beyond this it stops with an error.
constexpr long kMaxDecoderMemory = 1L << 30;

struct JpegErrors {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

[[noreturn]] void jpegFail(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

// Warnings are about corrupt or missing data (libjpeg fills the rest in
// grey): such a file is refused like any other broken one. Notes on parts
// that play no part in the pixels are let through.
void jpegMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace messages
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JFIF_MAJOR || code == JWRN_BOGUS_ICC) return;
    jpegFail(cinfo);
}

// Counts the blocks each scan covers as it starts (libjpeg calls the
// monitor before each row of blocks it reads), and stops the decoder when
// they pass the budget (kMaxJpegScanPasses passes over every block).
struct ScanBudget {
    jpeg_progress_mgr mgr;  // first, so that libjpeg's pointer is ours
    int lastScan = 0;
    uint64_t blocks = 0, budget = 0;
};

void jpegProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto* scans = reinterpret_cast<ScanBudget*>(cinfo->progress);
    if (d->input_scan_number == scans->lastScan) return;
    scans->lastScan = d->input_scan_number;
    if (scans->budget == 0) {
        for (int c = 0; c < d->num_components; ++c)
            scans->budget += uint64_t{d->comp_info[c].width_in_blocks} * d->comp_info[c].height_in_blocks;
        scans->budget *= kMaxJpegScanPasses;
    }
    for (int c = 0; c < d->comps_in_scan; ++c)
        scans->blocks += uint64_t{d->cur_comp_info[c]->width_in_blocks} * d->cur_comp_info[c]->height_in_blocks;
    if (scans->blocks > scans->budget) jpegFail(cinfo);
}

// Owns libjpeg's state for the decoder, also when libjpeg jumps out.
struct JpegReader {
    jpeg_decompress_struct cinfo{};
    JpegErrors errors{};
    ScanBudget progress{};
    volatile bool created = false;  // set after the jump target
    ~JpegReader() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

}  // namespace

int DecodeJpeg(const uint8_t* data, size_t size, uint64_t maxPixels, TextureLevel& out) {
    if (SniffImageFile(data, size) != ImageFileKind::Jpeg) return kErrMapFormat;
    JpegReader r;
    std::vector<uint8_t> row;
    r.cinfo.err = jpeg_std_error(&r.errors.mgr);
    r.errors.mgr.error_exit = jpegFail;
    r.errors.mgr.emit_message = jpegMessage;
    // Memory refused to libjpeg itself (a progressive file keeps every
    // coefficient of the picture) is no fault of the file.
    if (setjmp(r.errors.jump)) return r.errors.mgr.msg_code == JERR_OUT_OF_MEMORY ? kErrDisplayMemory : kErrMapFormat;
    jpeg_create_decompress(&r.cinfo);
    r.created = true;
    r.cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    r.progress.mgr.progress_monitor = jpegProgress;
    r.cinfo.progress = &r.progress.mgr;
    jpeg_mem_src(&r.cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&r.cinfo, TRUE) != JPEG_HEADER_OK) return kErrMapFormat;

    const JDIMENSION width = r.cinfo.image_width, height = r.cinfo.image_height;
    if (width == 0 || height == 0 || uint64_t{width} * height > maxPixels) return kErrMapFormat;
    // Grey, YCbCr and RGB files become RGB; CMYK has no such conversion.
    if (r.cinfo.jpeg_color_space != JCS_GRAYSCALE && r.cinfo.jpeg_color_space != JCS_YCbCr &&
        r.cinfo.jpeg_color_space != JCS_RGB)
        return kErrMapFormat;
    r.cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&r.cinfo);
    if (r.cinfo.output_components != 3 || r.cinfo.output_width != width || r.cinfo.output_height != height)
        return kErrMapFormat;

    // The planes grow with the rows decoded, top row first, so that a file
    // that claims a large picture but ends early costs only what it held;
    // they are turned upside down at the end.
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    row.resize(size_t{width} * 3);
    while (r.cinfo.output_scanline < height) {
        JSAMPROW rows[1] = {row.data()};
        if (jpeg_read_scanlines(&r.cinfo, rows, 1) != 1) return kErrMapFormat;
        AppendRgbRow(out, row.data());  // may throw bad_alloc; r cleans up
    }
    FlipRows(out);
    jpeg_finish_decompress(&r.cinfo);  // the file must be whole
    return kOk;
}

}  // namespace kx
