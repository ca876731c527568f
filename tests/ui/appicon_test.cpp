#include <gtest/gtest.h>

#include <QIcon>

#include "app/appicon.h"

namespace kalvora {
namespace {

// A run from the build folder has no theme icon: the painted one must stand in at
// every size, with the page in the middle and nothing painted in the corners.
TEST(AppIcon, IsPaintedAtEverySizeWithoutATheme)
{
    for (int size : AppIconSizes) {
        const QImage image = paintAppIcon(size);
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size - size / 5)), 255) << size;
    }
    QIcon::setThemeName(QStringLiteral("no-such-theme"));
    const QIcon icon = appIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixmap(48, 48).size(), QSize(48, 48));
}

} // namespace
} // namespace kalvora
