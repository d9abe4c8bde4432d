#include "support/dense_image.h"

#include <QImage>
#include <cstdlib>

namespace {

// The largest difference of any colour channel (alpha included) between two images.
int LargestDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q),
                                qAlpha(p) - qAlpha(q)})
                largest = std::max(largest, std::abs(d));
        }
    }
    return largest;
}

}  // namespace

::testing::AssertionResult DrawnAtDensity(const QPixmap& dense, const QPixmap& plain, qreal dpr) {
    if (plain.isNull() || dense.isNull()) return ::testing::AssertionFailure() << "no image";
    if (plain.devicePixelRatio() != 1.0)
        return ::testing::AssertionFailure()
               << "the plain image has density " << plain.devicePixelRatio();
    if (dense.devicePixelRatio() != dpr)
        return ::testing::AssertionFailure() << "density " << dense.devicePixelRatio();
    const QSize expected = plain.size() * dpr;
    if (dense.size() != expected)
        return ::testing::AssertionFailure()
               << dense.width() << "x" << dense.height() << " pixels, expected " << expected.width()
               << "x" << expected.height();
    const QImage image = dense.toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage source = plain.toImage().convertToFormat(QImage::Format_ARGB32);
    // An antialiased edge drawn at the higher density is crisper than any enlargement of
    // the plain image; a difference of a fifth of the range rules out rounding noise.
    constexpr int kEdge = 51;
    for (const auto mode : {Qt::FastTransformation, Qt::SmoothTransformation}) {
        const QImage enlarged = source.scaled(expected, Qt::IgnoreAspectRatio, mode);
        if (LargestDifference(image, enlarged) < kEdge)
            return ::testing::AssertionFailure()
                   << "the image is an enlargement of the plain one ("
                   << (mode == Qt::FastTransformation ? "doubled pixels" : "smoothed") << ")";
    }
    return ::testing::AssertionSuccess();
}
