#include "chat/channel_images.h"

#include <gtest/gtest.h>

#include <QPainter>

#include "support/dense_image.h"
#include "support/test_window.h"

namespace {

// The icon painted straight into a device of density `dpr`, as an item view draws it.
QPixmap PaintedAt(const QIcon& icon, const QSize& logical, qreal dpr) {
    QPixmap pm(logical * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    icon.paint(&p, QRect(QPoint(), logical));
    return pm;
}

}  // namespace

// The window's code-drawn images (speakers of the channel list, window and tray icon, Send
// arrow) stay sharp on dense screens, whether asked for as a pixmap or painted in place.
TEST(ChannelImages, WindowImagesAreDrawnAtTheScreensDensity) {
    TestWindow t;
    t.w().SetUp();
    ASSERT_EQ(t.w().m_channelImagesSmall.size(), 2);
    const struct {
        const char* name;
        QIcon icon;
        int size;
    } images[] = {{"no audio", t.w().m_channelImagesSmall[0], 17},
                  {"audio", t.w().m_channelImagesSmall[1], 17},
                  {"window", t.w().m_hIcon, 32},
                  {"send", t.w().m_hSendIcon, 16}};
    for (const auto& image : images) {
        SCOPED_TRACE(image.name);
        const QSize logical(image.size, image.size);
        const QPixmap plain = image.icon.pixmap(logical, 1.0);
        EXPECT_TRUE(DrawnAtDensity(image.icon.pixmap(logical, 2.0), plain, 2.0));
        EXPECT_TRUE(DrawnAtDensity(PaintedAt(image.icon, logical, 2.0), plain, 2.0));
        EXPECT_EQ(image.icon.pixmap(logical, 1.5).size(), logical * 1.5);
    }
    // The two speakers remain tellable apart at any density.
    EXPECT_NE(images[0].icon.pixmap(QSize(17, 17), 2.0).toImage(),
              images[1].icon.pixmap(QSize(17, 17), 2.0).toImage());
}

// A disabled list still gets its images at full density, in the style's disabled look.
TEST(ChannelImages, DisabledLookKeepsTheDensity) {
    const QIcon speaker = channel_images::Speaker(false);
    const QPixmap normal = speaker.pixmap(QSize(17, 17), 2.0, QIcon::Normal);
    const QPixmap disabled = speaker.pixmap(QSize(17, 17), 2.0, QIcon::Disabled);
    EXPECT_EQ(disabled.devicePixelRatio(), 2.0);
    EXPECT_EQ(disabled.size(), QSize(34, 34));
    EXPECT_NE(disabled.toImage(), normal.toImage());
}
