// JPEG pictures through libjpeg, with its fatal errors turned into a return code instead of an exit.
#include "dibcontrols/PictureLoader.h"

#include "dibcontrols/cDIBCompressor.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace ql {

namespace {

struct JpegContext {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    unsigned char* pixels; // malloc'd; owned by the C++ side once Decode returns
    unsigned char* line;
    int width, height;
};

extern "C" void JpegErrorExit(j_common_ptr cinfo) {
    auto* ctx = reinterpret_cast<JpegContext*>(cinfo->client_data);
    (*cinfo->err->format_message)(cinfo, ctx->message);
    std::longjmp(ctx->jump, 1);
}

extern "C" void JpegSilence(j_common_ptr, int) {}

// Holds only plain C objects, so the long jump out of libjpeg skips no destructor.
int DecodeJpeg(JpegContext* ctx, const unsigned char* data, unsigned long size, unsigned long maxSide,
               unsigned long maxPixels) {
    ctx->pixels = nullptr;
    ctx->line = nullptr;
    ctx->cinfo.err = jpeg_std_error(&ctx->err);
    ctx->err.error_exit = JpegErrorExit;
    ctx->err.emit_message = JpegSilence;
    ctx->cinfo.client_data = ctx;
    if (setjmp(ctx->jump)) {
        jpeg_destroy_decompress(&ctx->cinfo);
        std::free(ctx->line);
        std::free(ctx->pixels);
        ctx->line = ctx->pixels = nullptr;
        return -1;
    }
    jpeg_create_decompress(&ctx->cinfo);
    // Bounds the decoder's own working memory as well.
    ctx->cinfo.mem->max_memory_to_use = 64L << 20;
    jpeg_mem_src(&ctx->cinfo, data, size);
    jpeg_read_header(&ctx->cinfo, TRUE);
    ctx->cinfo.out_color_space = JCS_RGB;
    const unsigned long w = ctx->cinfo.image_width, h = ctx->cinfo.image_height;
    // Sides first: the product of two sides within 16 bits fits even a 32-bit unsigned long.
    if (w == 0 || h == 0 || w > maxSide || h > maxSide || w * h > maxPixels) {
        std::snprintf(ctx->message, sizeof ctx->message, "a picture of %lu x %lu pixels cannot be loaded", w,
                      h);
        jpeg_destroy_decompress(&ctx->cinfo);
        return -1;
    }
    jpeg_start_decompress(&ctx->cinfo);
    if (ctx->cinfo.output_components != 3) {
        std::snprintf(ctx->message, sizeof ctx->message, "unexpected colour layout");
        jpeg_destroy_decompress(&ctx->cinfo);
        return -1;
    }
    ctx->width = static_cast<int>(ctx->cinfo.output_width);
    ctx->height = static_cast<int>(ctx->cinfo.output_height);
    const std::size_t rowBytes = std::size_t(ctx->width) * 4;
    ctx->pixels = static_cast<unsigned char*>(std::calloc(std::size_t(ctx->height), rowBytes));
    ctx->line = static_cast<unsigned char*>(std::malloc(std::size_t(ctx->width) * 3));
    if (!ctx->pixels || !ctx->line) {
        std::snprintf(ctx->message, sizeof ctx->message, "out of memory");
        std::longjmp(ctx->jump, 1);
    }
    unsigned char* const line = ctx->line;
    // Scan lines come top-down; ours are stored bottom-up.
    while (ctx->cinfo.output_scanline < ctx->cinfo.output_height) {
        const JDIMENSION y = ctx->cinfo.output_scanline;
        JSAMPROW row = line;
        jpeg_read_scanlines(&ctx->cinfo, &row, 1);
        unsigned char* dst = ctx->pixels + std::size_t(ctx->height - 1 - static_cast<int>(y)) * rowBytes;
        for (int x = 0; x < ctx->width; ++x) {
            dst[x * 4 + 0] = line[x * 3 + 2];
            dst[x * 4 + 1] = line[x * 3 + 1];
            dst[x * 4 + 2] = line[x * 3 + 0];
            dst[x * 4 + 3] = 255;
        }
    }
    jpeg_finish_decompress(&ctx->cinfo);
    jpeg_destroy_decompress(&ctx->cinfo);
    std::free(ctx->line);
    ctx->line = nullptr;
    return 0;
}

} // namespace

TLoadedPicture LoadJpegPicture(std::span<const std::uint8_t> Data) {
    JpegContext* ctx = static_cast<JpegContext*>(std::calloc(1, sizeof(JpegContext)));
    if (!ctx) throw EDIBFormatError("JPEG file: out of memory.");
    const int rc = DecodeJpeg(ctx, Data.data(), static_cast<unsigned long>(Data.size()), kMaxDIBDimension,
                              static_cast<unsigned long>(kMaxDIBPixelBytes / 4));
    if (rc != 0) {
        std::string msg = std::string("JPEG file: ") + ctx->message + ".";
        std::free(ctx);
        throw EDIBFormatError(msg);
    }
    TLoadedPicture pic;
    pic.Width = ctx->width;
    pic.Height = ctx->height;
    pic.Pixels.assign(ctx->pixels, ctx->pixels + std::size_t(ctx->width) * ctx->height * 4);
    std::free(ctx->pixels);
    std::free(ctx);
    return pic;
}

} // namespace ql
