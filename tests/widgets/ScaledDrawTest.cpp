#include "widgets/ScaledDraw.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <gtest/gtest.h>

namespace vocalyn {
namespace {

// A picture of the size a peer sends, with detail in every row and column.
QImage Picture() {
    QImage picture(384, 288, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 7) & 255, (y * 5) & 255, (x * y) & 255));
    return picture;
}

QImage Canvas() {
    QImage canvas(640, 480, QImage::Format_RGB32);
    canvas.fill(Qt::magenta);
    return canvas;
}

void TurnOver(QPainter& painter, int height) {
    painter.translate(0, height);
    painter.scale(1, -1);
}

int ThreadCount() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/task"))
                                .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                                .size());
}

TEST(ScaledDraw, GivesThePixelsOfOneSmoothDrawInsideTheAreaAndNothingOutside) {
    const QImage picture = Picture();
    const QRect target(0, 0, 640, 480);
    const QRect area(100, 50, 300, 333); // a partial repaint, not a whole number of bands
    for (const bool turned : {false, true}) {
        SCOPED_TRACE(turned ? "turned over" : "upright");
        QImage expected = Canvas();
        {
            QPainter painter(&expected);
            painter.setClipRect(area);
            if (turned)
                TurnOver(painter, 480);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(target, picture);
        }
        QImage fromImage = Canvas();
        QImage fromPixmap = Canvas();
        {
            QPainter painter(&fromImage);
            // The area is in the painter's own coordinates, like a paint event's rectangle.
            if (turned)
                TurnOver(painter, 480);
            DrawScaled(painter, target, picture, turned ? QRect(100, 480 - 383, 300, 333) : area);
            EXPECT_FALSE(painter.hasClipping());
        }
        {
            QPainter painter(&fromPixmap);
            if (turned)
                TurnOver(painter, 480);
            DrawScaled(painter, target, QPixmap::fromImage(picture),
                       turned ? QRect(100, 480 - 383, 300, 333) : area);
        }
        EXPECT_EQ(fromImage, expected);
        EXPECT_EQ(fromPixmap, expected);
    }
}

TEST(ScaledDraw, LeavesQtsThreadPoolAsleep) {
    const QImage picture = Picture();
    QImage canvas = Canvas();
    const int before = ThreadCount();
    {
        QPainter painter(&canvas);
        for (int frame = 0; frame < 10; ++frame)
            DrawScaled(painter, canvas.rect(), picture, canvas.rect());
    }
    EXPECT_EQ(ThreadCount(), before);
    // The same draw in one piece: where Qt starts no threads for it, there is nothing to show.
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(canvas.rect(), picture);
    }
    if (ThreadCount() == before)
        GTEST_SKIP() << "this Qt draws a scaled picture on the calling thread anyway";
}

} // namespace
} // namespace vocalyn
