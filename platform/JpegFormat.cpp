// JPEG through libjpeg's version 62 interface. The library reports errors
// by longjmp, so the part that calls it holds no object with a destructor.

#include "platform/ImageMemory.h"
#include "platform/PictureFormats.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <jerror.h>
#include <jpeglib.h>

namespace platform {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void onMessage(j_common_ptr, int) {}

// Output into a growing malloc'd block that the caller frees, whatever happens.
struct Destination {
    jpeg_destination_mgr base;
    unsigned char* data;
    size_t capacity;
};

constexpr size_t kChunk = 16384;

void initDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    dest->base.next_output_byte = dest->data;
    dest->base.free_in_buffer = dest->capacity;
}

boolean emptyDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    auto* grown = static_cast<unsigned char*>(std::realloc(dest->data, dest->capacity * 2));
    if (!grown)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    dest->data = grown;
    dest->base.next_output_byte = grown + dest->capacity;
    dest->base.free_in_buffer = dest->capacity;
    dest->capacity *= 2;
    return TRUE;
}

void termDestination(j_compress_ptr) {}

// Encodes packed RGB rows; on failure returns false with the library's message.
bool compress(const unsigned char* rgb, int width, int height, qsizetype stride, Destination* dest,
              char* message)
{
    jpeg_compress_struct cinfo {};
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    errors.message[0] = '\0';
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.message);
        return false;
    }
    jpeg_create_compress(&cinfo);
    dest->base.init_destination = initDestination;
    dest->base.empty_output_buffer = emptyDestination;
    dest->base.term_destination = termDestination;
    cinfo.dest = &dest->base;
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);  // YCbCr file, baseline, Huffman tables of the standard
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + stride * qsizetype(cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

QByteArray encodeJpeg(const Bitmap& bitmap)
{
    if (bitmap.isEmpty())
        throw std::runtime_error("Cannot write an empty picture as JPEG");
    // Always from a 24-bit picture.
    const QImage rgb = converted(bitmap.image(), QImage::Format_RGB888);
    Destination dest {};
    dest.capacity = kChunk;
    dest.data = static_cast<unsigned char*>(std::malloc(kChunk));
    if (!dest.data)
        throw std::bad_alloc();
    char message[JMSG_LENGTH_MAX] = {};
    const bool ok = compress(rgb.constBits(), rgb.width(), rgb.height(), rgb.bytesPerLine(), &dest, message);
    QByteArray out;
    if (ok)
        out = QByteArray(reinterpret_cast<const char*>(dest.data),
                         qsizetype(dest.capacity - dest.base.free_in_buffer));
    std::free(dest.data);
    if (!ok)
        throw std::runtime_error(std::string("JPEG error: ") + message);
    return out;
}

}  // namespace platform
