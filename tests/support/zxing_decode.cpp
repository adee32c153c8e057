// Decodes every barcode in each image named on the command line and prints one line a symbol:
// the image's name, the format, the symbology identifier and the decoded bytes in hex, tab
// apart. Exits 2 when an image cannot be read.
#include <QGuiApplication>
#include <QImage>

#include <ZXing/ReadBarcode.h>

#include <cstdio>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        QImage image(QString::fromLocal8Bit(argv[i]));
        if (image.isNull()) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 2;
        }
        image = image.convertToFormat(QImage::Format_Grayscale8);
        const ZXing::ImageView view(image.constBits(), image.width(), image.height(),
                                    ZXing::ImageFormat::Lum, int(image.bytesPerLine()));
        ZXing::DecodeHints hints;
        hints.setTryHarder(true);
        hints.setTryRotate(false);
        // One symbol a picture: the packaged build asserts when it merges the rows of a tall 1D
        // symbol found more than once.
        hints.setMaxNumberOfSymbols(1);
        for (const ZXing::Result& result : ZXing::ReadBarcodes(view, hints)) {
            if (!result.isValid())
                continue;
            std::string hex;
            for (const std::uint8_t byte : result.bytes()) {
                char two[3];
                std::snprintf(two, sizeof two, "%02x", byte);
                hex += two;
            }
            std::printf("%s\t%s\t%s\t%s\n", argv[i], ZXing::ToString(result.format()),
                        result.symbologyIdentifier().c_str(), hex.c_str());
        }
    }
    return 0;
}
