// Build-time tool: writes the smaller icon-theme sizes from the one large icon, so that
// only assets/vocalyn.png is kept in the tree.
//
//   vocalyn_scale_icon SOURCE.png OUTDIR SIZE...   writes OUTDIR/SIZExSIZE/vocalyn.png
#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SOURCE.png OUTDIR SIZE...\n", argv[0]);
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    QImage image(source);
    if (image.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    // Scaling premultiplied pixels keeps the transparent corners from bleeding dark edges.
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size > image.width() || size > image.height()) {
            std::fprintf(stderr, "bad size %s\n", argv[i]);
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2").arg(outDir, QString::number(size));
        const QString target = dir + QStringLiteral("/vocalyn.png");
        const QImage scaled =
            image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_ARGB32);
        if (!QDir().mkpath(dir) || !scaled.save(target, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(target));
            return 1;
        }
    }
    return 0;
}
