#pragma once

// JPEG files that no copy of the program writes, made with libjpeg itself: progressive with many
// scans, arithmetic-coded, sequential with a scan per component, extended (16-bit tables), four
// components, and baseline frames larger than any a copy sends. The content is flat, so that
// each one fits a datagram however large its picture. For the decoder's tests and the floods.

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio> // before jpeglib.h, which needs FILE
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace vocalyn::test {

enum class CraftedKind {
    Progressive = 1, // grey: one DC scan, then one for every two AC coefficients, 33 in all
    Arithmetic,      // sequential, arithmetic-coded
    MultiScan,       // sequential, Huffman, each of three components in its own scan
    Extended,        // SOF1: quality 1 without baseline tables, so the tables have 16-bit entries
    Cmyk,            // a baseline frame of four components
    Baseline,        // a plain baseline frame, the writer's kind; only its size may be wrong
};

struct CraftedRecipe {
    CraftedKind kind = CraftedKind::Baseline;
    int width = 64;
    int height = 64;
    int components = 3; // 1 or 3; Cmyk always has 4, MultiScan 3
    int level = 128;    // the flat picture's sample value
};

namespace crafted_detail {

struct Errors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] inline void Exit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<Errors*>(cinfo->err)->jump, 1);
}

inline void Quiet(j_common_ptr) {} // the extended kind's tables are too coarse on purpose

} // namespace crafted_detail

// The file, or empty when libjpeg refuses the request.
inline QByteArray CraftJpeg(const CraftedRecipe& recipe) {
    jpeg_compress_struct cinfo{};
    crafted_detail::Errors errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = crafted_detail::Exit;
    errors.pub.output_message = crafted_detail::Quiet;
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int components = recipe.kind == CraftedKind::Cmyk        ? 4
                           : recipe.kind == CraftedKind::MultiScan ? 3
                                                                   : recipe.components;
    std::vector<JSAMPLE> row(std::size_t(recipe.width) * components, JSAMPLE(recipe.level));
    jpeg_scan_info scans[40]{};
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(out);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(recipe.width);
    cinfo.image_height = JDIMENSION(recipe.height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, recipe.kind == CraftedKind::Extended ? 1 : 75,
                     recipe.kind != CraftedKind::Extended);
    cinfo.optimize_coding = TRUE; // the fewest bytes for the largest picture
    switch (recipe.kind) {
    case CraftedKind::Progressive: {
        if (components != 1) {
            jpeg_simple_progression(&cinfo); // ten scans
            break;
        }
        int count = 0;
        for (int first = 0; first < 64; first = first == 0 ? 1 : first + 2) {
            jpeg_scan_info& scan = scans[count++];
            scan = {};
            scan.comps_in_scan = first == 0 ? components : 1;
            for (int c = 0; c < scan.comps_in_scan; ++c)
                scan.component_index[c] = c;
            scan.Ss = first;
            scan.Se = first == 0 ? 0 : std::min(first + 1, 63);
        }
        cinfo.scan_info = scans;
        cinfo.num_scans = count;
        break;
    }
    case CraftedKind::Arithmetic:
        cinfo.arith_code = TRUE;
        cinfo.optimize_coding = FALSE;
        break;
    case CraftedKind::MultiScan:
        for (int c = 0; c < 3; ++c) {
            scans[c] = {};
            scans[c].comps_in_scan = 1;
            scans[c].component_index[0] = c;
            scans[c].Se = 63;
        }
        cinfo.scan_info = scans;
        cinfo.num_scans = 3;
        break;
    default:
        break;
    }
    jpeg_start_compress(&cinfo, TRUE);
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.next_scanline < cinfo.image_height)
        jpeg_write_scanlines(&cinfo, rows, 1);
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray file(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    return file;
}

// A baseline file turned into one of 12-bit samples, which libjpeg here cannot write: the frame
// header's precision byte set to 12, and with `extended` its marker to SOF1 as the standard asks.
inline QByteArray TwelveBit(QByteArray baseline, bool extended) {
    const qsizetype sof = baseline.indexOf(QByteArray("\xFF\xC0", 2));
    if (sof < 0)
        return {};
    baseline[sof + 4] = 12;
    if (extended)
        baseline[sof + 1] = char(0xC1);
    return baseline;
}

// A file of the kind named as the floods name it, as large as fits one datagram: from 4096 x 4096
// down; empty for an unknown name. "oversized" is a baseline grey frame of 4096 x 4080,
// "oversized colour" one like the writer's of 2560 x 1600, "twelvebit" an extended grey one.
inline QByteArray ExpensiveJpeg(const QString& kind) {
    using K = CraftedKind;
    if (kind == QLatin1String("oversized"))
        return CraftJpeg({K::Baseline, 4096, 4080, 1});
    if (kind == QLatin1String("oversized colour"))
        return CraftJpeg({K::Baseline, 2560, 1600, 3});
    CraftedRecipe recipe;
    if (kind == QLatin1String("progressive"))
        recipe = {K::Progressive, 0, 0, 1};
    else if (kind == QLatin1String("arithmetic"))
        recipe = {K::Arithmetic, 0, 0, 1};
    else if (kind == QLatin1String("multiscan"))
        recipe = {K::MultiScan, 0, 0, 3};
    else if (kind == QLatin1String("extended"))
        recipe = {K::Extended, 0, 0, 3};
    else if (kind == QLatin1String("cmyk"))
        recipe = {K::Cmyk, 0, 0, 4};
    else if (kind == QLatin1String("twelvebit"))
        recipe = {K::Baseline, 0, 0, 1};
    else
        return {};
    for (int side : {4096, 3584, 3072, 2560, 2048, 1536, 1024}) {
        recipe.width = recipe.height = side;
        const QByteArray file = CraftJpeg(recipe);
        if (file.size() <= 65507)
            return kind == QLatin1String("twelvebit") ? TwelveBit(file, true) : file;
    }
    return {};
}

} // namespace vocalyn::test
