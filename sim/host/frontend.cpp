#include "frontend.h"

#include "jpeg.h"
#include "pngFile.h"

namespace sim
{

void attachDrawing(Osd &osd, const Typesetter &typesetter)
{
    osd.setTextRenderer(typesetter.renderer());
    osd.setJpegDecoder(decodeJpegFitted);
}

void attachPictures(ScenarioOptions &options, const GoldenSettings &golden)
{
    options.writePng = [](const Surface &frame, const std::filesystem::path &file) {
        std::filesystem::path out = file;
        if (!out.has_extension())
            out += ".png";
        return writePng(frame, out);
    };
    options.compareGolden = [golden](const Surface &frame, const std::string &name) {
        return compareWithGolden(frame, name, golden);
    };
}

} // namespace sim
