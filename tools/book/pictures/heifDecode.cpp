// HEIC photos, as iPhones take them, through libheif. libheif turns the picture upright itself
// (HEIF keeps the turn in the file's own boxes, not in EXIF).
#include <libheif/heif.h>

#include <algorithm>
#include <memory>

#include "pictures/pictureDecode.h"

namespace book
{

namespace
{

constexpr const char *damaged = "the file is damaged, or a kind of HEIC picture that cannot be read";
constexpr int sideMax = 32767;

} // namespace

bool isHeif(const std::string &bytes)
{
    return bytes.size() >= 12 && heif_check_filetype(reinterpret_cast<const uint8_t *>(bytes.data()),
                                                     static_cast<int>(std::min<std::size_t>(bytes.size(), 64))) ==
                                     heif_filetype_yes_supported;
}

DecodedPicture decodeHeif(const std::string &bytes, SourceFacts &facts)
{
    facts.kind = "HEIC";
    std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(), heif_context_free);
    heif_image_handle *rawHandle = nullptr;
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr).code !=
            heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
        throw PictureError(damaged);
    std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(rawHandle,
                                                                                    heif_image_handle_release);
    facts.width = heif_image_handle_get_width(handle.get());
    facts.height = heif_image_handle_get_height(handle.get());
    if (facts.width > sideMax || facts.height > sideMax)
        throw PictureError("too large to read (" + std::to_string(facts.width) + " x " + std::to_string(facts.height) +
                           ")");
    heif_image *rawImage = nullptr;
    if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code !=
        heif_error_Ok)
        throw PictureError(damaged);
    std::unique_ptr<heif_image, decltype(&heif_image_release)> image(rawImage, heif_image_release);
    int stride = 0;
    const uint8_t *rgb = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    DecodedPicture out;
    out.width = heif_image_get_width(image.get(), heif_channel_interleaved);
    out.height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (rgb == nullptr || out.width <= 0 || out.height <= 0)
        throw PictureError(damaged);
    // pixman's three-byte pixels are B, G, R in memory.
    out.fourBytes = false;
    out.stride = (out.width * 3 + 3) / 4 * 4;
    out.bytes.resize(static_cast<std::size_t>(out.stride) * out.height);
    for (int y = 0; y < out.height; ++y) {
        const uint8_t *from = rgb + static_cast<std::ptrdiff_t>(y) * stride;
        unsigned char *to = out.bytes.data() + static_cast<std::ptrdiff_t>(y) * out.stride;
        for (int x = 0; x < out.width; ++x) {
            to[3 * x] = from[3 * x + 2];
            to[3 * x + 1] = from[3 * x + 1];
            to[3 * x + 2] = from[3 * x];
        }
    }
    return out;
}

} // namespace book
