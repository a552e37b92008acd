#include "directory/TfrmAddressList.h"

#include "tests/directory/BoxAnswerer.h"

#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vocalyn::directory {
namespace {

const QRgb kCream = qRgb(255, 245, 221);
const QRgb kAmber = qRgb(255, 210, 94);
const QRgb kWhite = qRgb(255, 255, 255);

bool HasDarkPixel(const QImage& image, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 64)
                return true;
    return false;
}

TEST(AddressRowPaintTest, SelectedRowShadesCreamToAmberInsideItsOutline) {
    test::BoxAnswerer boxes;
    QTemporaryDir dir;
    QFile file(dir.path() + QStringLiteral("/IPAddress.dat"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Ann <198.18.0.1>\r\nBea <198.18.0.2>\r\n");
    file.close();
    QLineEdit host;
    TfrmAddressList window(dir.path() + QStringLiteral("/"), host);
    window.show();
    ASSERT_EQ(window.SelectedRow(), 0);

    QWidget* viewport = window.ListBox1->viewport();
    QImage image(viewport->size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    viewport->render(&image);

    const int x = image.width() - 12; // right of the text
    for (int y = 1; y <= 18; ++y)
        EXPECT_EQ(image.pixel(x, y), kCream) << "line " << y;
    EXPECT_EQ(image.pixel(x, 26), qRgb(255, 227, 157)); // halfway: 245 - 17.5, 221 - 63.5
    EXPECT_EQ(image.pixel(x, 34), kAmber);
    EXPECT_EQ(image.pixel(x, 0), qRgb(197, 197, 197));  // the outline's top
    EXPECT_EQ(image.pixel(x, 33), qRgb(197, 197, 197)); // and its bottom
    EXPECT_EQ(image.pixel(0, 0), kWhite);               // a corner cut by the rounding
    EXPECT_EQ(image.pixel(x, 35), kWhite);              // the next row is not selected
    EXPECT_EQ(image.pixel(x, 69), kWhite);

    // The icon at (6, 1): its white lets the gradient through, its screen does not.
    EXPECT_EQ(image.pixel(6 + 30, 1 + 3), kCream);
    EXPECT_EQ(image.pixel(6 + 12, 1 + 9), qRgb(0x2f, 0x7f, 0xd8));
    EXPECT_EQ(image.pixel(6 + 12, 35 + 1 + 9), qRgb(0x2f, 0x7f, 0xd8));

    // The text starts at (45, 8) in both rows, and nothing dark lies between icon and text.
    EXPECT_TRUE(HasDarkPixel(image, QRect(45, 8, 60, 18)));
    EXPECT_TRUE(HasDarkPixel(image, QRect(45, 35 + 8, 60, 18)));
    EXPECT_FALSE(HasDarkPixel(image, QRect(39, 1, 5, 33)));
    EXPECT_FALSE(HasDarkPixel(image, QRect(45, 1, 60, 6)));
}

} // namespace
} // namespace vocalyn::directory
